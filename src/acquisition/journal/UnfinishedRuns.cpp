#include "UnfinishedRuns.h"

#include "MessageBoxes.h"
#include "RunJournal.h"
#include "RunSummary.h"

namespace {
const QString kStamp = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString kTitle = QStringLiteral("Halvern");
} // namespace

QList<RunCatalog::Run> UnfinishedRuns::find(const QString &journalFolder)
{
    QList<RunCatalog::Run> runs = RunCatalog::unfinished(RunCatalog::scan(journalFolder));
    for (RunCatalog::Run &run : runs) {
        run.lines = RunCatalog::countLines(run.rawPath);
        run.ended = RunCatalog::lastArrival(run.rawPath);
    }
    return runs;
}

UnfinishedRuns::Answer UnfinishedRuns::offer(MessageBoxes &boxes, const QList<RunCatalog::Run> &runs)
{
    if (runs.isEmpty())
        return Answer::None;
    QString text;
    if (runs.size() == 1) {
        const RunCatalog::Run &run = runs[0];
        text = QStringLiteral("A run ended without Stop: Halvern or the computer stopped during it. Everything it "
                              "received is kept.\n\nStarted: %1\nPort: COM%2\nLines received: %3\n\n"
                              "Make its workbook now?")
                   .arg(run.started.toString(kStamp))
                   .arg(run.comNumber)
                   .arg(run.lines);
    } else {
        text = QStringLiteral("%1 runs ended without Stop: Halvern or the computer stopped during them. Everything "
                              "they received is kept.\n\nShow them in the Runs window to make their workbooks?")
                   .arg(runs.size());
    }
    if (boxes.show(text, kTitle, MessageBoxes::Buttons::OkCancel) != MessageBoxes::Answer::Ok)
        return Answer::Declined;
    return runs.size() == 1 ? Answer::MakeOne : Answer::ShowAll;
}

QString UnfinishedRuns::summary(const RunCatalog::Run &run, const QString &rebuilt, const QString &savedAs,
                                const QString &alsoSavedAs, const QString &officeVersion)
{
    RunSummary summary;
    summary.started = run.started;
    summary.stopped = run.ended.isValid() ? run.ended : RunCatalog::lastArrival(run.rawPath);
    summary.comNumber = run.comNumber;
    summary.bytes = run.bytes;
    summary.lines = run.lines >= 0 ? run.lines : RunCatalog::countLines(run.rawPath);
    summary.rebuilt = rebuilt;
    summary.savedAs = savedAs;
    summary.alsoSavedAs = alsoSavedAs;
    summary.rawPath = run.rawPath;
    summary.endedWithoutStop = true;
    summary.provenance = RunProvenance::gather(run.rawPath);
    summary.provenance.officeVersion = officeVersion;
    summary.provenance.addSaved(savedAs);
    summary.provenance.addSaved(alsoSavedAs);
    return summary.text();
}

bool UnfinishedRuns::markNotSaved(const RunCatalog::Run &run)
{
    return RunJournal::writeSummaryFile(RunJournal::summaryPathFor(run.rawPath), summary(run));
}
