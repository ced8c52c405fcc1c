#include "VerifyCommand.h"

#include "ArchiveCommands.h"
#include "CalcSpreadsheetFactory.h"
#include "LogCategories.h"
#include "ManifestStampCheck.h"
#include "PlainFile.h"
#include "RunCatalog.h"
#include "RunCheck.h"
#include "RunFiles.h"
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
        out << RunCatalog::printable(line) << '\n';
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
    // A run's times, summary or manifest stand for their run.
    QString rawPath = QFileInfo(file).absoluteFilePath();
    for (const QString &suffix :
         {QStringLiteral(".times"), QStringLiteral(".summary.txt"), QStringLiteral(".manifest")})
        if (rawPath.endsWith(suffix)
            && RunFiles::parseRawName(QFileInfo(rawPath.chopped(suffix.size()) + ".raw").fileName()))
            rawPath = rawPath.chopped(suffix.size()) + QStringLiteral(".raw");
    if (rawPath.endsWith(QStringLiteral(".raw"))) {
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
