#include "ManifestStampCheck.h"

#include "RunManifest.h"
#include "RunManifestWriter.h"

StampCheck::Outcome ManifestStampCheck::check(const QString &rawPath, const RunManifest &manifest,
                                              const QString &caFile)
{
    QList<StampCheck::Entry> entries;
    for (qsizetype i = 0; i < manifest.entries.size(); ++i) {
        const ManifestEntry &entry = manifest.entries[i];
        // The run's start, a Stop; else (a recovery, a save, a rebuild) the
        // time the entry was written.
        QDateTime event = entry.time(QStringLiteral("started"));
        if (!event.isValid() && entry.value(QStringLiteral("ended-without-stop")) != QLatin1String("yes"))
            event = entry.time(QStringLiteral("stopped"));
        if (!event.isValid())
            event = entry.time(RunManifestWriter::kAtField);
        entries.append({QByteArray::fromHex(entry.hash().toLatin1()), event,
                        QStringLiteral("entry %1 (%2)").arg(i + 1).arg(entry.kind())});
    }
    const bool expected =
        !manifest.entries.isEmpty() && manifest.entries.constFirst().has(QStringLiteral("timestamp.url"));
    return StampCheck::check(rawPath, entries, caFile, expected);
}
