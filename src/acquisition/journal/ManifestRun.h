#pragma once

#include "ManifestEntry.h"
#include "Result.h"

#include <QDateTime>
#include <QString>

// The first entry of a run's manifest, kind "run", written once when the run
// starts: who ran what where, and the link to the run before it. Its fields:
//   started (UTC, ISO 8601), port, device, raw (the raw file's name), login,
//   full-name, host, halvern-version, adapter, starting-workbook.sha256,
//   previous.run, previous.entries, previous.sha256 (the hash of that many
//   entries of the run before's manifest, as they were when this run
//   started: the chain between runs).
// What the run received follows in its end entry (ManifestEnd), the saved
// files in save entries (ManifestSave).
struct ManifestRun {
    static const QString kKind;

    QDateTime started;
    int comNumber = 0;
    QString device;
    QString rawName;
    QString login;
    QString fullName;
    QString host;
    QString halvernVersion;
    QString adapter;
    QString startingWorkbookSha256; // empty: not recorded
    QString previousRun;            // the raw file name of the run before; empty for the first
    qint64 previousEntries = 0;     // how many of its entries the link covers; 0: it had no manifest
    QString previousSha256;         // ManifestEntry::hash() of the last of them

    // This user, computer and program, and the link to the run before
    // `rawPath` in its folder.
    static ManifestRun gather(const QString &rawPath, const QDateTime &started, int comNumber);

    ManifestEntry toEntry() const;
    // A Failure when `entry` is not a run entry or lacks its start, port or
    // raw file.
    static Result<ManifestRun> fromEntry(const ManifestEntry &entry);
};
