#include "RunWorkbook.h"

#include "LogCategories.h"
#include "ProvenanceGatherer.h"
#include "RunCatalog.h"
#include "RunFiles.h"
#include "RunSummary.h"
#include "JournalWorkbookMaker.h"
#include "UnfinishedRuns.h"

#include <QFile>
#include <QFileInfo>

namespace {
constexpr qint64 kMaxSummary = 64 * 1024;

// A summary written at Stop names the new workbook instead of the old one.
void nameNewWorkbook(const QString &summaryPath, const SavedWorkbook &made)
{
    QFile file(summaryPath);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcWorkbook) << "cannot read the summary" << summaryPath << ":" << file.errorString();
        return;
    }
    std::optional<RunSummary> summary = RunSummary::parse(QString::fromUtf8(file.read(kMaxSummary)));
    if (!summary) {
        qCWarning(lcWorkbook) << "not a run's summary, left as it is:" << summaryPath;
        return;
    }
    summary->rebuilt = made.rebuilt;
    summary->savedAs = made.savedAs;
    summary->alsoSavedAs = made.alsoSavedAs;
    if (!made.rebuildMacro.isEmpty())
        summary->macro = made.rebuildMacro;
    // The journal's hashes stay those of the run's end; the new files are
    // recorded with theirs.
    summary->provenance.saved.clear();
    ProvenanceGatherer::addSaved(summary->provenance, made.savedAs);
    ProvenanceGatherer::addSaved(summary->provenance, made.alsoSavedAs);
    RunFiles::writeSummaryFile(summaryPath, summary->text());
}
} // namespace

bool RunWorkbook::make(JournalWorkbookMaker &maker, const QString &rawPath)
{
    RunCatalog::Run run;
    for (const RunCatalog::Run &listed : RunCatalog::scan(QFileInfo(rawPath).absolutePath()))
        if (listed.rawPath == QFileInfo(rawPath).absoluteFilePath())
            run = listed;
    SavedWorkbook made;
    if (!maker.make(rawPath, made))
        return false;
    const QString summaryPath = RunFiles::summaryPathFor(rawPath);
    if (run.state == RunCatalog::State::Unfinished) {
        run.lines = RunCatalog::countLines(rawPath);
        run.ended = RunCatalog::lastArrival(rawPath);
        RunFiles::writeSummaryFile(summaryPath,
                                   UnfinishedRuns::summary(run, made.rebuilt + made.rebuildMacro, made.savedAs,
                                                           made.alsoSavedAs, made.officeVersion));
    } else if (!made.savedAs.isEmpty()) {
        nameNewWorkbook(summaryPath, made);
    }
    return true;
}
