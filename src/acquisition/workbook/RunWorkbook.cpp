#include "RunWorkbook.h"

#include "RunCatalog.h"
#include "RunJournal.h"
#include "StopSave.h"
#include "UnfinishedRuns.h"

#include <QFile>
#include <QFileInfo>

namespace {
const QString kSavedAs = QStringLiteral("Workbook saved as: ");
const QString kAlsoSavedAs = QStringLiteral("Whole workbook also saved as: ");
const QString kRebuilt = QStringLiteral("Workbook rebuilt from the journal: ");
const QString kMacro = QStringLiteral("User macro: ");
constexpr qint64 kMaxSummary = 64 * 1024;

// A summary written at Stop names the new workbook instead of the old one.
QString withNewWorkbook(const QString &summary, const StopSave &made)
{
    QStringList lines = summary.split('\n');
    const QString macro = made.rebuildMacro().trimmed();
    lines.removeIf([&macro](const QString &line) {
        return line.startsWith(kAlsoSavedAs) || line.startsWith(kRebuilt)
               || (!macro.isEmpty() && line.startsWith(kMacro));
    });
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].startsWith(kSavedAs)) {
            lines[i] = kSavedAs + made.savedAs();
            if (!made.alsoSavedAs().isEmpty())
                lines.insert(i + 1, kAlsoSavedAs + made.alsoSavedAs());
            if (!macro.isEmpty())
                lines.insert(i, macro);
            lines.insert(i, made.rebuilt().trimmed());
            break;
        }
    }
    return lines.join('\n');
}
} // namespace

bool RunWorkbook::make(StopSave &stopSave, const QString &rawPath)
{
    RunCatalog::Run run;
    for (const RunCatalog::Run &listed : RunCatalog::scan(QFileInfo(rawPath).absolutePath()))
        if (listed.rawPath == QFileInfo(rawPath).absoluteFilePath())
            run = listed;
    stopSave.clear();
    if (!stopSave.rebuild(rawPath))
        return false;
    const QString summaryPath = RunJournal::summaryPathFor(rawPath);
    if (run.state == RunCatalog::State::Unfinished) {
        run.lines = RunCatalog::countLines(rawPath);
        run.ended = RunCatalog::lastArrival(rawPath);
        RunJournal::writeSummaryFile(summaryPath,
                                     UnfinishedRuns::summary(run, stopSave.rebuilt() + stopSave.rebuildMacro(),
                                                             stopSave.savedAs(), stopSave.alsoSavedAs()));
    } else if (!stopSave.savedAs().isEmpty()) {
        QFile file(summaryPath);
        if (file.open(QIODevice::ReadOnly))
            RunJournal::writeSummaryFile(summaryPath,
                                         withNewWorkbook(QString::fromUtf8(file.read(kMaxSummary)), stopSave));
    }
    return true;
}
