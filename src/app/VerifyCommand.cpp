#include "VerifyCommand.h"

#include "CalcSpreadsheetFactory.h"
#include "PlainFile.h"
#include "RunCatalog.h"
#include "RunCheck.h"
#include "RunFiles.h"
#include "WorkbookCheck.h"

#include <QFileInfo>
#include <QTextStream>

namespace {
int print(const RunCheck::Result &result)
{
    QTextStream out(stdout);
    for (const QString &line : result.lines)
        out << RunCatalog::printable(line) << '\n';
    return RunCheck::exitStatus(result.verdict);
}
} // namespace

int verifyCommand(const QString &file, const QString &runsFolder, const QString &programFolder)
{
    if (!QFileInfo::exists(file) && !QFileInfo(file).isSymLink()) {
        QTextStream(stdout) << "No such file: " << RunCatalog::printable(file) << '\n';
        return 2;
    }
    // Looked at before anything waits on it or hands it to the office.
    if (const std::optional<Failure> failure = PlainFile::check(file)) {
        RunCheck::Result result;
        result.add(RunCheck::Verdict::Unchecked, QStringLiteral("Cannot be checked: ") + failure->reason);
        return print(result);
    }
    // A run's times or summary stand for their run.
    const QString path = QFileInfo(file).absoluteFilePath();
    for (const QString &suffix : {QStringLiteral(".times"), QStringLiteral(".summary.txt")})
        if (path.endsWith(suffix) && RunFiles::parseRawName(QFileInfo(path.chopped(suffix.size()) + ".raw").fileName()))
            return print(RunCheck::run(path.chopped(suffix.size()) + QStringLiteral(".raw")));
    if (path.endsWith(QStringLiteral(".raw")))
        return print(RunCheck::run(path));
    CalcSpreadsheetFactory factory;
    return print(WorkbookCheck(factory, programFolder, runsFolder).check(file));
}

int verifyRunsCommand(const QString &runsFolder) { return print(RunCheck::folder(runsFolder)); }
