#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

// Where a run's record came from, as lines of its summary: the hashes of its
// journal as it was when the run ended, who ran it where with which versions,
// the adapter of its port, each workbook file with its hash as written, and
// the link to the summary of the run before it in the runs folder (a chain in
// start order, so that a run removed or changed in between is seen). Written
// at Stop and whenever a summary is first written for a run; parsed back by
// the checks. A summary without these lines is "not recorded".
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
    QString previousSummary; // SHA-256 of its summary (see chainDigest); empty when it had none

    bool recorded() const { return !rawSha256.isEmpty(); }

    // The hashes of the journal at `rawPath` (read from its files unless
    // given, as a live journal keeps them), this user, computer and program,
    // and the link to the run before it in its folder.
    static RunProvenance gather(const QString &rawPath, const QString &rawSha256 = {}, const QString &timesSha256 = {});
    // Adds a workbook file as it is on the disk now; nothing for an empty path.
    void addSaved(const QString &path);

    // The summary lines, each ending in a line feed.
    QString text() const;
    // What the lines of `summary` record; recorded() is false without them.
    static RunProvenance parse(const QString &summary);
    // `summary` with its workbook file lines replaced by those of `files`.
    static QString withSavedFiles(const QString &summary, const QList<SavedFile> &files);

    // The hash a later run keeps of this summary. The workbook lines are
    // left out: making the workbook again rewrites them, and each file has
    // its own hash.
    static QString chainDigest(const QString &summary);

    // The custom document properties every saved workbook of the run
    // carries: the raw file's name and hash, the start and the version.
    static QList<std::pair<QString, QString>> documentProperties(const QString &rawPath, const QString &rawSha256);
    static const QString kRawFileProperty;
    static const QString kRawHashProperty;

    // The raw files of the runs in `folder`, oldest first (the catalogue's
    // order, without reading a summary): the order of the chain.
    static QStringList runsInStartOrder(const QString &folder);

    // This program's version.
    static QString programVersion();
};
