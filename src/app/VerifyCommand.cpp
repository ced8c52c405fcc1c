#include "VerifyCommand.h"

#include "ArchiveCommands.h"
#include "CalcSpreadsheetFactory.h"
#include "LogCategories.h"
#include "ManifestStampCheck.h"
#include "RunCheck.h"
#include "RunManifest.h"
#include "RunManifestReader.h"
#include "TimestampSettings.h"
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

// The run's time stamps held against its manifest, offline, with the CA
// file of the settings.
void addStamps(RunCheck::Result &result, const QString &rawPath)
{
    const QString path = RunManifest::pathFor(rawPath);
    if (!QFileInfo::exists(path))
        return;
    const Result<RunManifest> manifest = RunManifestReader::read(path);
    if (!manifest) {
        qCWarning(lcApp).noquote() << "The time stamps are not checked: the manifest cannot be read:"
                                   << manifest.failure().reason;
        return;
    }
    const StampCheck::Outcome stamps = ManifestStampCheck::check(rawPath, *manifest, TimestampSettings::load().caFile);
    for (qsizetype i = 0; i < stamps.lines.size(); ++i)
        result.add(stamps.lineFailed[i] ? RunCheck::Verdict::Changed : RunCheck::Verdict::Matches, stamps.lines[i]);
}
} // namespace

int verifyCommand(const QString &file, const QString &runsFolder, const QString &programFolder)
{
    if (!QFileInfo::exists(file)) {
        QTextStream(stdout) << "No such file: " << file << '\n';
        return 2;
    }
    if (file.endsWith(QStringLiteral(".raw"))) {
        const QString rawPath = QFileInfo(file).absoluteFilePath();
        RunCheck::Result result = RunCheck::run(rawPath);
        addStamps(result, rawPath);
        ArchiveCommands::checkRun(rawPath, result);
        return print(result);
    }
    CalcSpreadsheetFactory factory;
    WorkbookCheck check(factory, programFolder, runsFolder);
    RunCheck::Result result = check.check(file);
    if (!check.run().isEmpty())
        addStamps(result, check.run());
    ArchiveCommands::checkWorkbook(factory, file, runsFolder, result);
    return print(result);
}

int verifyRunsCommand(const QString &runsFolder)
{
    RunCheck::Result result = RunCheck::folder(runsFolder);
    ArchiveCommands::checkFolder(runsFolder, result);
    return print(result);
}
