#include "SaveRecord.h"

#include "ManifestSave.h"
#include "RunManifest.h"
#include "RunManifestWriter.h"
#include "SavedValues.h"

const QString SaveRecord::kKind = QStringLiteral("values");
const QString SaveRecord::kValuesField = QStringLiteral("values.sha256");
const QString SaveRecord::kAtField = QStringLiteral("at");

Result<ManifestEntry> SaveRecord::append(const QString &rawPath, const QString &path, const QString &role,
                                         const QList<Workbook::SheetValues> &values, const QDateTime &at)
{
    const Result<QString> kept = SavedValues::keep(rawPath, values);
    if (!kept)
        return Failure{QStringLiteral("the values as saved are not kept: ") + kept.failure().reason};
    ManifestEntry entry(kKind);
    const ManifestSave file = ManifestSave::of(path, role);
    entry.set(QStringLiteral("path"), file.path);
    entry.setUnlessEmpty(QStringLiteral("sha256"), file.sha256);
    entry.set(QStringLiteral("role"), file.role);
    entry.set(kValuesField, *kept);
    entry.setTime(kAtField, at);
    return RunManifestWriter::append(RunManifest::pathFor(rawPath), entry);
}

const ManifestEntry *SaveRecord::valuesFor(const RunManifest &manifest, const QString &path)
{
    const ManifestEntry *any = nullptr;
    for (auto it = manifest.entries.crbegin(); it != manifest.entries.crend(); ++it) {
        if (it->kind() != kKind || !it->has(kValuesField))
            continue;
        if (it->value(QStringLiteral("path")) == path)
            return &*it;
        if (!any)
            any = &*it;
    }
    return any;
}
