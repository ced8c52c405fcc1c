#include "WorkbookRunFinder.h"

#include "RunCatalog.h"
#include "RunCheck.h"

QString WorkbookRunFinder::findRun(const QString &runsFolder, const QString &path, const QString &sha256, bool *same)
{
    QString byPath;
    *same = false;
    for (const RunCatalog::Run &run : RunCatalog::scan(runsFolder)) {
        for (const RunProvenance::SavedFile &file : RunCheck::recorded(run.rawPath).saved) {
            if (file.sha256 == sha256) {
                *same = true;
                return run.rawPath;
            }
            if (file.path == path && byPath.isEmpty())
                byPath = run.rawPath;
        }
    }
    return byPath;
}
