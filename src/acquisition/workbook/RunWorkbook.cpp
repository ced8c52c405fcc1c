#include "RunWorkbook.h"

#include "RunCatalog.h"
#include "RunRecordKeeper.h"
#include "StopSave.h"
#include "UnfinishedRuns.h"

#include <QFileInfo>

bool RunWorkbook::make(StopSave &stopSave, const QString &rawPath)
{
    RunCatalog::Run run;
    for (const RunCatalog::Run &listed : RunCatalog::scan(QFileInfo(rawPath).absolutePath()))
        if (listed.rawPath == QFileInfo(rawPath).absoluteFilePath())
            run = listed;
    stopSave.clear();
    if (!stopSave.rebuild(rawPath))
        return false;
    if (run.state == RunCatalog::State::Unfinished) {
        run.lines = RunCatalog::countLines(rawPath);
        run.ended = RunCatalog::lastArrival(rawPath);
        UnfinishedRuns::recordEnd(run, stopSave.rebuilt() + stopSave.rebuildMacro(), stopSave.savedAs(),
                                  stopSave.alsoSavedAs(), stopSave.officeVersion());
    } else if (!stopSave.savedAs().isEmpty()) {
        // The journal's hashes stay those of the run's end; the new files are
        // recorded with theirs, after what the manifest holds.
        RunRecordKeeper::rebuilt(rawPath, stopSave.rebuilt(), stopSave.rebuildMacro(),
                                 {ManifestSave::of(stopSave.savedAs(), QStringLiteral("rebuilt")),
                                  ManifestSave::of(stopSave.alsoSavedAs(), QStringLiteral("whole"))});
    }
    return true;
}
