#pragma once

#include "ManifestEntry.h"
#include "Result.h"
#include "Workbook.h"

#include <QDateTime>
#include <QString>

class RunManifest;

// What a save leaves in its run's record: a "save" entry (ManifestSave: the
// file by path and hash, its role) with the values the workbook held then
// (SavedValues) by their hash, and when it was saved.
class SaveRecord {
public:
    static const QString kValuesField; // "values.sha256"
    static const QString kAtField;     // "at"

    // Keeps `values` beside the run at `rawPath` and appends the save entry
    // for the file at `path` to its manifest; the entry as written.
    static Result<ManifestEntry> append(const QString &rawPath, const QString &path, const QString &role,
                                        const QList<Workbook::SheetValues> &values, const QDateTime &at);

    // The save entry a workbook at `path` is held against: the last that
    // names that path with its values, else the last with values at all;
    // nullptr when none has values.
    static const ManifestEntry *valuesFor(const RunManifest &manifest, const QString &path);
};
