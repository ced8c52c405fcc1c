#include "RunManifest.h"

#include "RunFiles.h"

const QString RunManifest::kRebuildKind = QStringLiteral("rebuild");

QString RunManifest::pathFor(const QString &rawPath) { return RunFiles::manifestPathFor(rawPath); }

const ManifestEntry *RunManifest::first(const QString &kind) const
{
    for (const ManifestEntry &entry : entries)
        if (entry.kind() == kind)
            return &entry;
    return nullptr;
}

const ManifestEntry *RunManifest::last(const QString &kind) const
{
    for (auto it = entries.crbegin(); it != entries.crend(); ++it)
        if (it->kind() == kind)
            return &*it;
    return nullptr;
}

QList<ManifestEntry> RunManifest::entriesOf(const QString &kind) const
{
    QList<ManifestEntry> found;
    for (const ManifestEntry &entry : entries)
        if (entry.kind() == kind)
            found.append(entry);
    return found;
}

QString RunManifest::hash() const { return entries.isEmpty() ? QString() : entries.constLast().hash(); }
