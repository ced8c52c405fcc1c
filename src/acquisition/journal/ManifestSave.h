#pragma once

#include "ManifestEntry.h"
#include "Result.h"

#include <QString>

// A "save" entry: a workbook file as Halvern wrote it, by path and hash.
// `role` is "saved" (the file the user chose), "whole" (the whole workbook
// beside a too small .xls), or "rebuilt" (made again from the journal).
struct ManifestSave {
    static const QString kKind;

    QString path;
    QString sha256; // empty: it could not be hashed
    QString role = QStringLiteral("saved");

    // `path` as it is on the disk now; an empty path (nothing saved) is not hashed.
    static ManifestSave of(const QString &path, const QString &role);

    ManifestEntry toEntry() const;
    static Result<ManifestSave> fromEntry(const ManifestEntry &entry);
};
