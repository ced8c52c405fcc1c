#include "VerifyCommand.h"

#include "CalcSpreadsheetFactory.h"
#include "RunCheck.h"
#include "WitnessNote.h"
#include "WorkbookCheck.h"

#include <QFileInfo>
#include <QTextStream>

namespace {
int print(const RunCheck::Result &result)
{
    QTextStream out(stdout);
    for (const QString &line : result.lines)
        out << line << '\n';
    const QString witness = WitnessNote::line();
    if (!witness.isEmpty())
        out << witness << '\n';
    return RunCheck::exitStatus(result.verdict);
}
} // namespace

int verifyCommand(const QString &file, const QString &runsFolder, const QString &programFolder)
{
    if (!QFileInfo::exists(file)) {
        QTextStream(stdout) << "No such file: " << file << '\n';
        return 2;
    }
    if (file.endsWith(QStringLiteral(".raw")))
        return print(RunCheck::run(QFileInfo(file).absoluteFilePath()));
    CalcSpreadsheetFactory factory;
    return print(WorkbookCheck(factory, programFolder, runsFolder).check(file));
}

int verifyRunsCommand(const QString &runsFolder) { return print(RunCheck::folder(runsFolder)); }
