#include "RunChain.h"

#include "ManifestRun.h"
#include "RunManifest.h"
#include "RunManifestReader.h"
#include "RunOrder.h"

#include <QDir>
#include <QFileInfo>

namespace {
// The run entry of the manifest of `rawPath`; nothing when it has no
// manifest that reads.
std::optional<ManifestRun> runEntry(const QString &rawPath)
{
    const QString path = RunManifest::pathFor(rawPath);
    if (!QFileInfo::exists(path))
        return std::nullopt;
    const Result<RunManifest> manifest = RunManifestReader::read(path);
    if (!manifest)
        return std::nullopt;
    const Result<ManifestRun> run = ManifestRun::fromEntry(manifest->entries.first());
    return run ? std::optional<ManifestRun>(*run) : std::nullopt;
}
} // namespace

QString RunChain::linkBreak(const QString &name, const QString &previousRaw, qint64 entries, const QString &sha256)
{
    if (entries <= 0)
        return QString(); // the run before had no manifest when this one started
    const QString before = QFileInfo(previousRaw).fileName();
    const QString path = RunManifest::pathFor(previousRaw);
    if (!QFileInfo::exists(path))
        return QStringLiteral("Gap in the chain before %1: the manifest of %2 is missing").arg(name, before);
    const Result<RunManifest> manifest = RunManifestReader::read(path);
    if (!manifest || manifest->entries.size() < entries || manifest->entries[entries - 1].hash() != sha256)
        return QStringLiteral("Gap in the chain before %1: the manifest of %2 was changed after %1 started")
            .arg(name, before);
    return QString();
}

QStringList RunChain::gaps(const QString &folder)
{
    const QStringList runs = RunOrder::runsInStartOrder(folder);
    QStringList gaps;
    for (qsizetype i = 0; i < runs.size(); ++i) {
        const std::optional<ManifestRun> run = runEntry(runs[i]);
        if (!run)
            continue;
        const QString name = QFileInfo(runs[i]).fileName();
        const QString before = i > 0 ? QFileInfo(runs[i - 1]).fileName() : QString();
        if (run->previousRun.isEmpty()) {
            if (!before.isEmpty())
                gaps << QStringLiteral("Gap in the chain before %1: the run %2 was put in the folder after %1 started")
                            .arg(name, before);
            continue;
        }
        if (run->previousRun != before) {
            if (!QFileInfo::exists(QDir(folder).filePath(run->previousRun)))
                gaps << QStringLiteral("Gap in the chain before %1: the run before it, %2, is missing")
                            .arg(name, run->previousRun);
            else
                gaps << QStringLiteral("Gap in the chain before %1: the run %2 was put between it and %3")
                            .arg(name, before, run->previousRun);
            continue;
        }
        const QString broken = linkBreak(name, runs[i - 1], run->previousEntries, run->previousSha256);
        if (!broken.isEmpty())
            gaps << broken;
    }
    return gaps;
}

QString RunChain::successorBreak(const QString &rawPath)
{
    const QFileInfo self(rawPath);
    const QStringList runs = RunOrder::runsInStartOrder(self.absolutePath());
    const qsizetype at = runs.indexOf(self.absoluteFilePath());
    if (at < 0 || at + 1 >= runs.size())
        return QString();
    const std::optional<ManifestRun> next = runEntry(runs[at + 1]);
    if (!next || next->previousRun != self.fileName())
        return QString(); // a break of the chain itself, which the folder's check names
    return linkBreak(QFileInfo(runs[at + 1]).fileName(), rawPath, next->previousEntries, next->previousSha256);
}
