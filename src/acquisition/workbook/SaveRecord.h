#pragma once

#include "ManifestEntry.h"
#include "Result.h"
#include "Workbook.h"

#include <QDateTime>
#include <QString>

class RunManifest;

// What a save leaves in its run's record beside the file's own "save"
// entry: a "values" entry made the moment it is saved, with the file by path
// and hash (as ManifestSave has them), its role, the values the workbook held
// then (SavedValues) by their hash, and when it was saved.
class SaveRecord {
public:
    static const QString kKind;        // "values"
    static const QString kValuesField; // "values.sha256"
    static const QString kAtField;     // "at"

    // Keeps `values` beside the run at `rawPath` and appends their entry for
    // the file at `path` to its manifest; the entry as written.
    static Result<ManifestEntry> append(const QString &rawPath, const QString &path, const QString &role,
                                        const QList<Workbook::SheetValues> &values, const QDateTime &at);

    // The values entry a workbook at `path` is held against: the last that
    // names that path, else the last of all; nullptr when there is none.
    static const ManifestEntry *valuesFor(const RunManifest &manifest, const QString &path);
};
