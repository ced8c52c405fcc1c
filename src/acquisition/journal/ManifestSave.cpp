#include "ManifestSave.h"

#include "FileDigest.h"
#include "LogCategories.h"

const QString ManifestSave::kKind = QStringLiteral("save");

ManifestSave ManifestSave::of(const QString &path, const QString &role)
{
    if (path.isEmpty())
        return ManifestSave{path, QString(), role};
    QString error;
    const QString digest = FileDigest::sha256(path, &error);
    if (digest.isEmpty())
        qCWarning(lcJournal) << "cannot hash the saved workbook" << path << ":" << error;
    return ManifestSave{path, digest, role};
}

ManifestEntry ManifestSave::toEntry() const
{
    ManifestEntry entry(kKind);
    entry.set(QStringLiteral("path"), path);
    entry.setUnlessEmpty(QStringLiteral("sha256"), sha256);
    entry.set(QStringLiteral("role"), role);
    return entry;
}

Result<ManifestSave> ManifestSave::fromEntry(const ManifestEntry &entry)
{
    if (entry.kind() != kKind)
        return Failure{QStringLiteral("a \"%1\" entry is not a save").arg(entry.kind())};
    if (const auto failure = entry.require({QStringLiteral("path")}))
        return *failure;
    return ManifestSave{entry.value(QStringLiteral("path")), entry.value(QStringLiteral("sha256")),
                        entry.value(QStringLiteral("role"))};
}
