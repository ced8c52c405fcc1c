#include "VerifyCommand.h"

#include "ArchiveCommands.h"
#include "CalcSpreadsheetFactory.h"
#include "RunCheck.h"
#include "WorkbookCheck.h"

#include <QFileInfo>
#include <QTextStream>

namespace {
int print(const RunCheck::Result &result)
{
    QTextStream out(stdout);
    for (const QString &line : result.lines)
        out << line << '\n';
    return RunCheck::exitStatus(result.verdict);
}
} // namespace

int verifyCommand(const QString &file, const QString &runsFolder, const QString &programFolder)
{
    if (!QFileInfo::exists(file)) {
        QTextStream(stdout) << "No such file: " << file << '\n';
        return 2;
    }
    if (file.endsWith(QStringLiteral(".raw"))) {
        RunCheck::Result result = RunCheck::run(QFileInfo(file).absoluteFilePath());
        ArchiveCommands::checkRun(QFileInfo(file).absoluteFilePath(), result);
        return print(result);
    }
    CalcSpreadsheetFactory factory;
    RunCheck::Result result = WorkbookCheck(factory, programFolder, runsFolder).check(file);
    ArchiveCommands::checkWorkbook(factory, file, runsFolder, result);
    return print(result);
}

int verifyRunsCommand(const QString &runsFolder)
{
    RunCheck::Result result = RunCheck::folder(runsFolder);
    ArchiveCommands::checkFolder(runsFolder, result);
    return print(result);
}
