#include "RunWorkbook.h"

#include "JournalWorkbookMaker.h"
#include "LogCategories.h"
#include "ProvenanceGatherer.h"
#include "RunCatalog.h"
#include "RunFiles.h"
#include "RunManifest.h"
#include "RunRecordKeeper.h"
#include "RunSummary.h"
#include "UnfinishedRuns.h"

#include <QFileInfo>
#include <memory>

namespace {
// The summary of a run kept before manifests names the new workbook instead
// of the old one (such a run stays "not recorded").
void nameNewWorkbook(const QString &summaryPath, const SavedWorkbook &made)
{
    const Result<std::optional<QString>> text = RunFiles::readSummaryFile(summaryPath);
    if (!text || !text->has_value()) {
        qCWarning(lcWorkbook).noquote() << "cannot read the summary:"
                                        << (text ? summaryPath + QStringLiteral(" is gone") : text.failure().reason);
        return;
    }
    std::optional<RunSummary> summary = RunSummary::parse(**text);
    if (!summary) {
        qCWarning(lcWorkbook) << "not a run's summary, left as it is:" << summaryPath;
        return;
    }
    summary->rebuilt = made.rebuilt;
    summary->savedAs = made.savedAs;
    summary->alsoSavedAs = made.alsoSavedAs;
    if (!made.rebuildMacro.isEmpty())
        summary->macro = made.rebuildMacro;
    summary->provenance.saved.clear();
    ProvenanceGatherer::addSaved(summary->provenance, made.savedAs);
    ProvenanceGatherer::addSaved(summary->provenance, made.alsoSavedAs);
    RunFiles::writeSummaryFile(summaryPath, summary->text());
}

// The run's records brought up to date with the workbook made.
void noteMade(RunCatalog::Run &run, const QString &rawPath, const SavedWorkbook &made)
{
    if (run.state == RunCatalog::State::Unfinished) {
        run.lines = RunCatalog::countLines(rawPath);
        run.ended = RunCatalog::lastArrival(rawPath);
        UnfinishedRuns::recordEnd(run, made.rebuilt + made.rebuildMacro, made.savedAs, made.alsoSavedAs,
                                  made.officeVersion);
    } else if (!made.savedAs.isEmpty() && !QFileInfo::exists(RunManifest::pathFor(rawPath))) {
        nameNewWorkbook(RunFiles::summaryPathFor(rawPath), made);
    } else if (!made.savedAs.isEmpty()) {
        // The journal's hashes stay those of the run's end; the new files are
        // recorded with theirs, after what the manifest holds.
        RunRecordKeeper::rebuilt(rawPath, made.rebuilt, made.rebuildMacro,
                                 {ManifestSave::of(made.savedAs, QStringLiteral("rebuilt")),
                                  ManifestSave::of(made.alsoSavedAs, QStringLiteral("whole"))});
    }
}
} // namespace

void RunWorkbook::make(JournalWorkbookMaker &maker, const QString &rawPath, std::function<void(bool made)> done)
{
    RunCatalog::Run run;
    for (const RunCatalog::Run &listed : RunCatalog::scan(QFileInfo(rawPath).absolutePath()))
        if (listed.rawPath == QFileInfo(rawPath).absoluteFilePath())
            run = listed;
    // Kept with the continuation until the maker is done with it.
    auto made = std::make_shared<SavedWorkbook>();
    maker.make(rawPath, *made, [run, rawPath, made, done = std::move(done)](bool ok) mutable {
        if (ok)
            noteMade(run, rawPath, *made);
        if (done)
            done(ok);
    });
}
