#include "RunWorkbook.h"

#include "JournalWorkbookMaker.h"
#include "RunCatalog.h"
#include "RunRecordKeeper.h"
#include "UnfinishedRuns.h"

#include <QFileInfo>

bool RunWorkbook::make(JournalWorkbookMaker &maker, const QString &rawPath)
{
    RunCatalog::Run run;
    for (const RunCatalog::Run &listed : RunCatalog::scan(QFileInfo(rawPath).absolutePath()))
        if (listed.rawPath == QFileInfo(rawPath).absoluteFilePath())
            run = listed;
    SavedWorkbook made;
    if (!maker.make(rawPath, made))
        return false;
    if (run.state == RunCatalog::State::Unfinished) {
        run.lines = RunCatalog::countLines(rawPath);
        run.ended = RunCatalog::lastArrival(rawPath);
        UnfinishedRuns::recordEnd(run, made.rebuilt + made.rebuildMacro, made.savedAs, made.alsoSavedAs,
                                  made.officeVersion);
    } else if (!made.savedAs.isEmpty()) {
        // The journal's hashes stay those of the run's end; the new files are
        // recorded with theirs, after what the manifest holds.
        RunRecordKeeper::rebuilt(rawPath, made.rebuilt, made.rebuildMacro,
                                 {ManifestSave::of(made.savedAs, QStringLiteral("rebuilt")),
                                  ManifestSave::of(made.alsoSavedAs, QStringLiteral("whole"))});
    }
    return true;
}
