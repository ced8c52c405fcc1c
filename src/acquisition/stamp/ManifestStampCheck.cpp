#include "ManifestStampCheck.h"

#include "ManifestStamper.h"
#include "RunManifest.h"

StampCheck::Outcome ManifestStampCheck::check(const QString &rawPath, const RunManifest &manifest,
                                              const QString &caFile)
{
    QList<StampCheck::Entry> entries;
    for (qsizetype i = 0; i < manifest.entries.size(); ++i) {
        const ManifestEntry &entry = manifest.entries[i];
        QDateTime event;
        for (const QString &key : {ManifestStamper::kAtField, QStringLiteral("started"), QStringLiteral("stopped")})
            if (!event.isValid() && entry.has(key))
                event = entry.time(key);
        entries.append({QByteArray::fromHex(entry.hash().toLatin1()), event,
                        QStringLiteral("entry %1 (%2)").arg(i + 1).arg(entry.kind())});
    }
    const bool expected =
        !manifest.entries.isEmpty() && manifest.entries.constFirst().has(ManifestStamper::kAuthorityField);
    return StampCheck::check(rawPath, entries, caFile, expected);
}
