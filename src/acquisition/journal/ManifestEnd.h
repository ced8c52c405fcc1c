#pragma once

#include "ManifestEntry.h"
#include "Result.h"
#include "StreamCounts.h"

#include <QDateTime>
#include <QString>

// The entry that closes a run's own record, kind "end": what it received and
// the hashes of its journal, written at Stop, or when a run that ended
// without Stop is recovered. Its fields:
//   stopped (UTC, ISO 8601), ended-without-stop ("yes" or absent), bytes,
//   lines, rows-used, sheets, the counts of StreamCounts,
//   broken-lines-dropped, lines-missing, rebuilt, macro, journal-problem,
//   journal-incomplete, raw.sha256, times.sha256, office-version, device,
//   adapter, and for a
//   recovered run hashed-to and hashed-to.sha256 (the last checkpoint the run
//   itself wrote before it ended); its raw.sha256 and times.sha256 are then
//   those of the files as found when it was recovered.
struct ManifestEnd {
    static const QString kKind;

    QDateTime stopped;
    bool endedWithoutStop = false;
    qint64 bytes = 0;
    qint64 lines = 0;
    qint64 rowsUsed = 0;
    int sheets = 1;
    StreamCounts counts;
    qint64 brokenLinesDropped = 0;
    qint64 linesMissing = 0;
    QString rebuilt; // summary lines, each ending in a line feed
    QString macro;
    QString journalProblem;
    QString journalIncomplete;
    QString rawSha256;
    QString timesSha256; // empty: the run had no ".times"
    QString officeVersion;
    QString device; // the port's device and adapter as the run knew them at its end
    QString adapter;
    qint64 hashedTo = -1; // -1: the run wrote no checkpoint, or it ended with Stop
    QString hashedToSha256;

    ManifestEntry toEntry() const;
    // A Failure when `entry` is not an end entry or lacks its stop or the
    // raw file's hash.
    static Result<ManifestEnd> fromEntry(const ManifestEntry &entry);
};
