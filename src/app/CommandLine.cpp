#include "CommandLine.h"

#include "AppSettings.h"
#include "ArchiveCommands.h"
#include "AppVersion.h"
#include "ManifestStamper.h"
#include "PortListing.h"
#include "ReplayCommand.h"
#include "PortMap.h"
#include "RunCatalog.h"
#include "RunJournal.h"
#include "RunManifestWriter.h"
#include "TimestampSettings.h"
#include "VerifyCommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <cstdio>
#include <vector>

namespace {
// How long --replay waits, once its workbook is saved, for the stamps of
// what it recorded.
constexpr int kStampPatienceMs = 10000;

// Options QGuiApplication takes itself; accepted here and left to it.
void acceptWindowOptions(QCommandLineParser &parser)
{
    const char *withValue[] = {
        "platform", "platformpluginpath", "platformtheme", "plugin",   "qwindowgeometry", "qwindowicon", "qwindowtitle",
        "style",    "stylesheet",         "display",       "geometry", "session"};
    for (const char *name : withValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

int listPorts()
{
    const PortMap map = PortMap::withSystemAdapters(AppSettings::folder());
    AdapterRegistry::Snapshot adapters;
    const QList<PortListing::Entry> entries = PortListing::entries(map, true, &adapters);
    const QByteArray text = PortListing::table(PortListing::listed(entries)).toLocal8Bit();
    std::fwrite(text.constData(), 1, text.size(), stdout);
    const QByteArray remarks = PortListing::remarks(map, adapters).toLocal8Bit();
    if (!remarks.isEmpty())
        std::fwrite(remarks.constData(), 1, remarks.size(), stderr);
    std::fflush(stdout);
    return 0;
}
int listRuns()
{
    QList<RunCatalog::Run> runs = RunCatalog::scan(RunJournal::defaultFolder());
    QByteArray text;
    for (RunCatalog::Run &run : runs) {
        if (run.lines < 0)
            run.lines = RunCatalog::countLines(run.rawPath);
        text += RunCatalog::listingLine(run).toLocal8Bit() + '\n';
    }
    std::fwrite(text.constData(), 1, text.size(), stdout);
    std::fflush(stdout);
    return 0;
}
} // namespace

std::optional<int> CommandLine::run(int argc, char *argv[])
{
    if (argc <= 1)
        return std::nullopt;

    // A copy: the application object may take arguments out of what it is given.
    std::vector<char *> args(argv, argv + argc);
    int count = argc;
    QCoreApplication app(count, args.data());
    QCoreApplication::setApplicationName(QStringLiteral("Halvern"));
    QCoreApplication::setOrganizationName(QStringLiteral("Halvern"));
    QCoreApplication::setApplicationVersion(AppVersion::text());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Instrument text from a serial port into a live spreadsheet."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption listPortsOption(
        QStringLiteral("list-ports"),
        QStringLiteral("Lists the COM numbers with a device or a mapping: device path, adapter description, "
                       "serial number, where the mapping comes from (built-in, remembered, ports.conf) and "
                       "whether this user may open it; then exits."));
    parser.addOption(listPortsOption);
    const QCommandLineOption listRunsOption(
        QStringLiteral("list-runs"),
        QStringLiteral("Lists the runs kept in ~/.local/share/Halvern/runs, newest first, one a line, TAB-separated: "
                       "start, COM number, bytes, lines, state (running, saved, not saved or unfinished), "
                       "workbook, raw file; then exits."));
    parser.addOption(listRunsOption);
    const QCommandLineOption replayOption(
        QStringLiteral("replay"),
        QStringLiteral("Rebuilds the workbook of a run from its journal (RAWFILE in ~/.local/share/Halvern/runs, "
                       "with its .times file beside it) in a headless office; needs --save-as."),
        QStringLiteral("RAWFILE"));
    const QCommandLineOption saveAsOption(QStringLiteral("save-as"),
                                          QStringLiteral("Where --replay saves the workbook (.xls, .xlsx or .ods)."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption macroOption(QStringLiteral("macro"),
                                         QStringLiteral("A macro --replay runs before the save, as Stop does."),
                                         QStringLiteral("NAME"));
    parser.addOptions({replayOption, saveAsOption, macroOption});
    const QCommandLineOption verifyOption(
        QStringLiteral("verify"),
        QStringLiteral("Checks a saved workbook, or a run's .raw file, against what its run recorded: the journal's "
                       "bytes and times against their hashes, the workbook byte for byte, else each data cell "
                       "against the journal (rebuilt in a headless office). Exit status 0 all matches, 1 something "
                       "does not or cannot be checked (not a plain file), 2 it cannot be told."),
        QStringLiteral("FILE"));
    const QCommandLineOption verifyRunsOption(
        QStringLiteral("verify-runs"),
        QStringLiteral("Checks every run kept in ~/.local/share/Halvern/runs against its recorded hashes and the "
                       "chain of their summaries; names each run that no longer matches, each it cannot check and "
                       "why, and each gap. Exit status as --verify."));
    parser.addOptions({verifyOption, verifyRunsOption});
    const QCommandLineOption archiveSchemaOption(
        QStringLiteral("archive-schema"),
        QStringLiteral("Prints the SQL that makes the lab archive's schema halvern, its tables and the role "
                       "halvern_writer in a PostgreSQL database (for the database administrator); then exits."));
    const QCommandLineOption fetchRunOption(
        QStringLiteral("fetch-run"),
        QStringLiteral("Fetches a run's journal, times, record and start workbook from the lab archive into the "
                       "folder --to names, for --replay; NAME is the run's base name (or HOST/NAME)."),
        QStringLiteral("NAME"));
    const QCommandLineOption toOption(QStringLiteral("to"), QStringLiteral("Where --fetch-run writes the run."),
                                      QStringLiteral("FOLDER"));
    parser.addOptions({archiveSchemaOption, fetchRunOption, toOption});
    acceptWindowOptions(parser);

    // Help, version and errors end the program here, the way Qt does it.
    parser.process(app);
    if (parser.isSet(listPortsOption))
        return listPorts();
    if (parser.isSet(listRunsOption))
        return listRuns();
    if (parser.isSet(archiveSchemaOption))
        return ArchiveCommands::printSchema();
    if (parser.isSet(fetchRunOption)) {
        if (!parser.isSet(toOption)) {
            std::fputs("halvern: --fetch-run needs --to FOLDER\n", stderr);
            return 1;
        }
        return ArchiveCommands::fetchRun(parser.value(fetchRunOption), parser.value(toOption));
    }
    if (parser.isSet(verifyOption))
        return verifyCommand(parser.value(verifyOption), RunJournal::defaultFolder(),
                             QCoreApplication::applicationDirPath());
    if (parser.isSet(verifyRunsOption))
        return verifyRunsCommand(RunJournal::defaultFolder());
    if (parser.isSet(replayOption)) {
        // The entries the replay adds to its run's record are stamped as the
        // window's are; the command waits a while for the authority, then
        // leaves what is still pending (logged).
        ManifestStamper stamper(TimestampSettings::load());
        RunManifestWriter::setWitness(&stamper);
        const int status = replayCommand(parser.value(replayOption), parser.value(saveAsOption),
                                         parser.value(macroOption), QCoreApplication::applicationDirPath());
        QDeadlineTimer patience(kStampPatienceMs);
        while (stamper.client().pending() > 0 && !patience.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        RunManifestWriter::setWitness(nullptr);
        return status;
    }
    if (parser.isSet(saveAsOption) || parser.isSet(macroOption)) {
        std::fputs("halvern: --save-as and --macro go with --replay\n", stderr);
        return 1;
    }
    return std::nullopt;
}
