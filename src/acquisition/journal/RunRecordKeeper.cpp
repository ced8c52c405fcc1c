#include "RunRecordKeeper.h"

#include "DurableFile.h"
#include "LogCategories.h"
#include "ManifestSummary.h"
#include "RunFiles.h"
#include "RunManifest.h"
#include "RunManifestReader.h"
#include "RunManifestWriter.h"

#include <QFileInfo>

std::optional<Failure> RunRecordKeeper::begin(const QString &rawPath, const ManifestRun &run)
{
    const Result<ManifestEntry> written = RunManifestWriter::create(RunManifest::pathFor(rawPath), run.toEntry());
    if (!written)
        return written.failure();
    return std::nullopt;
}

std::optional<Failure> RunRecordKeeper::end(const QString &rawPath, const ManifestRun &run, const ManifestEnd &end,
                                            const QList<ManifestSave> &saves)
{
    const QString path = RunManifest::pathFor(rawPath);
    if (!QFileInfo::exists(path)) {
        if (const std::optional<Failure> failure = begin(rawPath, run))
            return failure;
    }
    return appendWithSaves(rawPath, end.toEntry(), saves);
}

std::optional<Failure> RunRecordKeeper::rebuilt(const QString &rawPath, const QString &rebuiltLine,
                                                const QString &macroLine, const QList<ManifestSave> &saves)
{
    ManifestEntry rebuild(RunManifest::kRebuildKind);
    rebuild.setUnlessEmpty(QStringLiteral("rebuilt"), rebuiltLine);
    rebuild.setUnlessEmpty(QStringLiteral("macro"), macroLine);
    return appendWithSaves(rawPath, rebuild, saves);
}

std::optional<Failure> RunRecordKeeper::appendWithSaves(const QString &rawPath, const ManifestEntry &first,
                                                        const QList<ManifestSave> &saves)
{
    const QString path = RunManifest::pathFor(rawPath);
    Result<ManifestEntry> written = RunManifestWriter::append(path, first);
    for (const ManifestSave &save : saves) {
        if (!written)
            break;
        if (!save.path.isEmpty())
            written = RunManifestWriter::append(path, save.toEntry());
    }
    const std::optional<Failure> rendered = renderSummary(rawPath);
    if (!written)
        return written.failure();
    return rendered;
}

Result<ManifestEntry> RunRecordKeeper::add(const QString &rawPath, const ManifestEntry &entry)
{
    Result<ManifestEntry> written = RunManifestWriter::append(RunManifest::pathFor(rawPath), entry);
    if (written)
        renderSummary(rawPath);
    return written;
}

std::optional<Failure> RunRecordKeeper::renderSummary(const QString &rawPath)
{
    const Result<RunManifest> manifest = RunManifestReader::read(RunManifest::pathFor(rawPath));
    if (!manifest)
        return manifest.failure();
    const Result<RunSummary> summary = ManifestSummary::of(*manifest, rawPath);
    if (!summary) {
        qCWarning(lcJournal) << "no summary made of the manifest of" << rawPath << ":" << summary.failure().reason;
        return summary.failure();
    }
    const std::optional<Failure> failure =
        DurableFile::replace(RunFiles::summaryPathFor(rawPath), summary->text().toUtf8());
    if (failure)
        qCWarning(lcJournal) << "the summary of" << rawPath << "is not written:" << failure->reason;
    return failure;
}
