#include "ManifestSave.h"

#include "FileDigest.h"
#include "LogCategories.h"

const QString ManifestSave::kKind = QStringLiteral("save");

ManifestSave ManifestSave::of(const QString &path, const QString &role)
{
    if (path.isEmpty())
        return ManifestSave{path, QString(), role};
    const Result<QString> digest = FileDigest::sha256(path);
    if (!digest)
        qCWarning(lcJournal).noquote() << "cannot hash the saved workbook" << path << ":" << digest.failure().reason;
    return ManifestSave{path, digest ? *digest : QString(), role};
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
