#pragma once

#include <QList>
#include <QString>

// Where a run's record came from, as lines of its summary: the hashes of its
// journal as it was when the run ended, who ran it where with which versions,
// the adapter of its port, each workbook file with its hash as written, and
// the link to the summary of the run before it in the runs folder (a chain in
// start order, so that a run removed or changed in between is seen). Written
// at Stop and whenever a summary is first written for a run; parsed back by
// the checks. A summary without these lines is "not recorded". The values are
// gathered by ProvenanceGatherer and linked by SummaryChain.
class RunProvenance {
public:
    struct SavedFile {
        QString path;
        QString sha256;
    };

    QString rawSha256;
    QString timesSha256; // empty: the run had no ".times"
    QString login;
    QString fullName;
    QString host;
    QString halvernVersion;
    QString officeVersion; // empty: not known (no office answered)
    QString adapter;       // the USB adapter of the port, or empty
    QList<SavedFile> saved;
    QString previousRun;     // the raw file name of the run before; empty for the first
    QString previousSummary; // SHA-256 of its summary (see SummaryChain); empty when it had none

    bool recorded() const { return !rawSha256.isEmpty(); }

    // The summary lines, each ending in a line feed.
    QString text() const;
    // What the lines of `summary` record; recorded() is false without them.
    static RunProvenance parse(const QString &summary);
    // A line a later "Make workbook" rewrites: a workbook file of the run.
    static bool isWorkbookLine(const QString &line);
    // "(none)" for an empty value, as the lines write it.
    static QString noneIfEmpty(const QString &value);
};
