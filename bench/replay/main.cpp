// Replay figures: a run's journal rebuilt into a workbook through RunReplay.
// The journals are made as a 9600-baud run leaves them: Strata-format record
// lines arriving 96 bytes a tick, a tick every 100 ms.
//  office [lines]         a journal of `lines` record lines (default 70,000)
//                         replayed into a headless office started for it,
//                         into a copy of the master, saved as ".xlsx": the time
//                         of each step and of the whole; then the same with
//                         `halvern --replay` (start to exit); the rows found
//                         in both saved files by a separate office.
//  memory [hours] [fake|office]
//                         a journal of `hours` at 9600 baud (default 10:
//                         about 35 MB) replayed into the spreadsheet test
//                         double that only counts what it gets (default), or
//                         into a headless office: time, and this process's
//                         peak memory (VmHWM) against the journal's size.
//  journal LINES|HOURSh FOLDER
//                         only makes a journal (for comparing builds) and
//                         prints its raw path
//  program HALVERN RAW SAVE_AS
//                         HALVERN --replay RAW --save-as SAVE_AS (any
//                         build's program): start to exit, office peak memory
//  tenhours [hours]       a journal of `hours` at 9600 baud (default 10)
//                         rebuilt into an .xlsx by `halvern --replay`, as a
//                         user runs it: the time from start to exit, and the
//                         office's peak memory (VmHWM of its processes,
//                         sampled every 100 ms).
// Without arguments: office, memory fake, memory office and tenhours in turn,
// each in a process of its own so that its peak memory is its own.
#include "../common/PrivateHome.h"
#include "../common/ProcessFigures.h"
#include "CalcSpreadsheetFactory.h"
#include "FakeSpreadsheet.h"
#include "JournalReader.h"
#include "RunJournal.h"
#include "RunReplay.h"
#include "SavedSheet.h"
#include "SpreadsheetApp.h"
#include "Workbook.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMultiMap>
#include <QSet>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <time.h>

namespace {

constexpr int kTickBytes = 96; // 9600 baud, 8N1, in 100 ms

QByteArray strataLine(qint64 index, const QTime &t)
{
    return QByteArray::number(index) + " " + QByteArray::number(index % 10000).rightJustified(4, '0')
           + " :: 12-07-2026 " + t.toString("HH:mm:ss").toLatin1() + " = "
           + QByteArray::number(1000 + index * 37 % 90000) + " (RAW)  " + QByteArray::number(20 + index % 7)
           + " (C)\r\n";
}

struct MadeJournal {
    QString raw;
    qint64 bytes = 0;
    qint64 lines = 0;
};

// Writes a journal of record lines, `lines` of them or `bytes` worth
// (whichever comes first; 0 means no limit), cut into ticks.
MadeJournal makeJournal(const QString &folder, qint64 lines, qint64 bytes)
{
    const QDateTime start(QDate(2026, 12, 7), QTime(8, 0));
    QDateTime clock = start;
    RunJournal journal;
    if (journal.open(folder, start, 1)) {
        std::fprintf(stderr, "cannot make the journal: %s\n", qPrintable(journal.problem()));
        std::exit(1);
    }
    QByteArray pending;
    qint64 made = 0;
    auto more = [&] {
        return (lines == 0 || made < lines) && (bytes == 0 || journal.bytes() + pending.size() < bytes);
    };
    while (more() || !pending.isEmpty()) {
        while (pending.size() < kTickBytes && more())
            pending += strataLine(made++, clock.time());
        clock = clock.addMSecs(100);
        journal.append(pending.left(kTickBytes), clock);
        pending.remove(0, std::min<qsizetype>(kTickBytes, pending.size()));
    }
    journal.close();
    if (!journal.problem().isEmpty()) {
        std::fprintf(stderr, "cannot write the journal: %s\n", qPrintable(journal.problem()));
        std::exit(1);
    }
    return {journal.rawPath(), journal.bytes(), journal.lines()};
}

bool replay(SpreadsheetApp &app, const QString &raw, qint64 &rows)
{
    JournalReader reader;
    if (const std::optional<Failure> unread = reader.open(raw)) {
        std::fprintf(stderr, "%s\n", qPrintable(unread->reason));
        return false;
    }
    RunReplay replay(app);
    const std::optional<Failure> failure = replay.replay(reader);
    rows = replay.rows();
    if (failure)
        std::fprintf(stderr, "replay failed: %s\n", qPrintable(failure->reason));
    return !failure;
}

double seconds(QElapsedTimer &t)
{
    const double s = t.nsecsElapsed() / 1e9;
    t.restart();
    return s;
}

int officeCase(qint64 lines)
{
    QTemporaryDir work;
    const MadeJournal made = makeJournal(work.path() + "/runs", lines, 0);
    std::printf("office: a journal of %lld record lines, %.2f MB, %lld ticks\n", static_cast<long long>(made.lines),
                made.bytes / 1e6, static_cast<long long>((made.bytes + kTickBytes - 1) / kTickBytes));

    const QString copy = work.path() + "/spreadsheet.xls";
    const QString saved = work.path() + "/replayed.xlsx";
    QElapsedTimer step, whole;
    step.start();
    whole.start();
    CalcSpreadsheetFactory factory;
    std::shared_ptr<SpreadsheetApp> app;
    std::shared_ptr<Workbook> book;
    double start = 0, open = 0, replayed = 0, save = 0;
    qint64 rows = 0;
    try {
        app = factory.createHeadless();
        start = seconds(step);
        if (!QFile::copy(QCoreApplication::applicationDirPath() + "/spreadsheet.xls", copy)) {
            std::fprintf(stderr, "no master workbook beside the program\n");
            return 1;
        }
        QFile::setPermissions(copy, QFile::permissions(copy) | QFile::WriteOwner);
        book = app->openToFill(copy); // as a rebuild opens it
        open = seconds(step);
        if (!replay(*app, made.raw, rows))
            return 1;
        replayed = seconds(step);
        book->saveAs(saved);
        save = seconds(step);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "office failed: %s\n", e.what());
        return 1;
    }
    const double total = whole.nsecsElapsed() / 1e9;
    book.reset();
    app->quit();
    const double quit = seconds(step);
    std::printf("  office start %.2f s, open the master's copy %.2f s, replay %.2f s, save as .xlsx %.2f s\n", start,
                open, replayed, save);
    std::printf("  total from the office start to the saved .xlsx: %.2f s (quit afterwards %.2f s)\n", total, quit);
    // The same journal through the program's own command line, as a user runs it.
    const QString program = QCoreApplication::applicationDirPath() + "/halvern";
    const QString byProgram = work.path() + "/by-program.xlsx";
    double commandLine = -1;
    if (QFileInfo::exists(program)) {
        QProcess halvern;
        halvern.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        step.restart();
        halvern.start(program, {"--replay", made.raw, "--save-as", byProgram});
        if (halvern.waitForFinished(600000) && halvern.exitStatus() == QProcess::NormalExit && halvern.exitCode() == 0)
            commandLine = seconds(step);
        else
            std::fprintf(stderr, "halvern --replay failed (status %d)\n", halvern.exitCode());
    }
    std::printf("  halvern --replay RAW --save-as FILE.xlsx, start to exit: %.2f s\n", commandLine);
    const QList<SavedSheet> sheets = SavedSheet::read({saved, byProgram});
    std::printf("  rows replayed %lld; rows in the saved .xlsx: %d; by the command line: %d\n", rows,
                sheets[0].rowCount(), sheets[1].rowCount());
    return 0;
}

int memoryCase(double hours, bool office)
{
    QTemporaryDir work;
    const qint64 bytes = static_cast<qint64>(hours * 3600 * 10 * kTickBytes);
    const MadeJournal made = makeJournal(work.path() + "/runs", 0, bytes);
    std::printf("memory (%s): a journal of %.1f hours at 9600 baud, %.2f MB, %lld record lines\n",
                office ? "office" : "test double", hours, made.bytes / 1e6, static_cast<long long>(made.lines));

    CalcSpreadsheetFactory factory;
    std::shared_ptr<SpreadsheetApp> app;
    std::shared_ptr<Workbook> book;
    QString copy = work.path() + "/spreadsheet.xls";
    try {
        QFile::copy(QCoreApplication::applicationDirPath() + "/spreadsheet.xls", copy);
        QFile::setPermissions(copy, QFile::permissions(copy) | QFile::WriteOwner);
        if (office) {
            app = factory.createHeadless();
        } else {
            auto fake = std::make_shared<FakeSpreadsheetApp>();
            fake->keepCells = false;
            app = fake;
        }
        book = app->openToFill(copy);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "cannot open the workbook: %s\n", e.what());
        return 1;
    }
    const double rssBefore = statusMiB("VmRSS:");
    const double hwmBefore = statusMiB("VmHWM:");
    const double cpuBefore = cpuSeconds();
    QElapsedTimer t;
    t.start();
    qint64 rows = 0;
    const bool ok = replay(*app, made.raw, rows);
    const double wall = t.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds() - cpuBefore;
    const double hwm = statusMiB("VmHWM:");
    const double journalMiB = made.bytes / 1048576.0;
    book.reset();
    app->quit();
    if (!ok)
        return 1;
    std::printf("  replay: %lld rows, wall %.1f s, CPU of this process %.1f s\n", rows, wall, cpu);
    std::printf("  VmRSS before the replay %.1f MiB (VmHWM %.1f); VmHWM after %.1f MiB = %.2f x the journal "
                "(%.1f MiB); growth %.1f MiB = %.2f x\n",
                rssBefore, hwmBefore, hwm, hwm / journalMiB, journalMiB, hwm - rssBefore,
                (hwm - rssBefore) / journalMiB);
    return 0;
}

// The sum of `key` (a /proc status line in kB) over every descendant of
// `root` and the office it started.
double descendantsStatusMiB(qint64 root, const char *key)
{
    QMultiMap<qint64, qint64> children;
    const QDir proc(QStringLiteral("/proc"));
    for (const QString &entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f("/proc/" + entry + "/stat");
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray stat = f.readAll();
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1)
            children.insert(fields[1].toLongLong(), entry.toLongLong());
    }
    // The office is started through a watchdog that may leave it to init;
    // its profile folder is named after the program's process id.
    QList<qint64> next = children.values(root);
    const QByteArray profile = "/office-" + QByteArray::number(root) + "-";
    for (const QString &entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f("/proc/" + entry + "/cmdline");
        if (f.open(QIODevice::ReadOnly) && f.readAll().contains(profile) && !next.contains(entry.toLongLong()))
            next.append(entry.toLongLong());
    }
    QSet<qint64> seen;
    double sum = 0;
    while (!next.isEmpty()) {
        const qint64 pid = next.takeLast();
        if (seen.contains(pid))
            continue;
        seen.insert(pid);
        next += children.values(pid);
        sum += std::max(0.0, statusMiB(key, QString::number(pid)));
    }
    return sum;
}

struct TimedReplay {
    double wall = -1;
    double officePeakMiB = 0;
};

// `program` --replay raw --save-as saved, start to exit, with the peak memory
// of the office it starts.
TimedReplay timedReplay(const QString &program, const QString &raw, const QString &saved)
{
    TimedReplay timed;
    QProcess halvern;
    halvern.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer t;
    t.start();
    halvern.start(program, {"--replay", raw, "--save-as", saved});
    if (!halvern.waitForStarted())
        return timed;
    // The office runs under the program: as its child, or under a watchdog
    // of its own, each in a session of its own. Its processes are all the
    // program's descendants.
    while (!halvern.waitForFinished(100))
        timed.officePeakMiB = std::max(timed.officePeakMiB, descendantsStatusMiB(halvern.processId(), "VmHWM:"));
    if (halvern.exitStatus() == QProcess::NormalExit && halvern.exitCode() == 0)
        timed.wall = t.nsecsElapsed() / 1e9;
    else
        std::fprintf(stderr, "%s --replay failed (status %d)\n", qPrintable(program), halvern.exitCode());
    return timed;
}

int tenHoursCase(double hours)
{
    QTemporaryDir work;
    const qint64 bytes = static_cast<qint64>(hours * 3600 * 10 * kTickBytes);
    const MadeJournal made = makeJournal(work.path() + "/runs", 0, bytes);
    std::printf("tenhours: a journal of %.1f hours at 9600 baud, %.2f MB, %lld record lines, by halvern --replay\n",
                hours, made.bytes / 1e6, static_cast<long long>(made.lines));
    std::fflush(stdout);
    const QString saved = work.path() + "/ten-hours.xlsx";
    const TimedReplay timed = timedReplay(QCoreApplication::applicationDirPath() + "/halvern", made.raw, saved);
    if (timed.wall < 0)
        return 1;
    std::printf("  start to exit %.1f s; office peak memory (VmHWM of its processes) %.0f MiB; .xlsx %.1f MB\n",
                timed.wall, timed.officePeakMiB, QFileInfo(saved).size() / 1e6);
    return 0;
}

// For comparing builds: a journal of `lines` record lines (or `hours` worth
// when it ends in "h") made in `folder`; its raw path is printed.
int journalCase(const QString &size, const QString &folder)
{
    const MadeJournal made =
        size.endsWith('h')
            ? makeJournal(folder, 0, static_cast<qint64>(size.chopped(1).toDouble() * 3600 * 10 * kTickBytes))
            : makeJournal(folder, size.toLongLong(), 0);
    std::printf("%s\n", qPrintable(made.raw));
    return 0;
}

// For comparing builds: `program` --replay raw into saved, timed.
int programCase(const QString &program, const QString &raw, const QString &saved)
{
    const TimedReplay timed = timedReplay(program, raw, saved);
    if (timed.wall < 0)
        return 1;
    std::printf("replay s: %.2f office peak MiB: %.0f\n", timed.wall, timed.officePeakMiB);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    usePrivateHome(home.path());
    QCoreApplication app(argc, argv);
    const QString which = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (which == "office")
        return officeCase(argc > 2 ? std::atoll(argv[2]) : 70000);
    if (which == "memory")
        return memoryCase(argc > 2 ? std::atof(argv[2]) : 10.0, argc > 3 && std::strcmp(argv[3], "office") == 0);
    if (which == "tenhours")
        return tenHoursCase(argc > 2 ? std::atof(argv[2]) : 10.0);
    const QStringList args = app.arguments();
    if (which == "journal" && args.size() == 4)
        return journalCase(args[2], args[3]);
    if (which == "program" && args.size() == 5)
        return programCase(args[2], args[3], args[4]);
    if (!which.isEmpty()) {
        std::fprintf(stderr, "usage: bench_replay [office [lines] | memory [hours] [fake|office] | tenhours [hours]\n"
                             "                     | journal LINES|HOURSh FOLDER | program HALVERN RAW SAVE_AS]\n");
        return 2;
    }
    int failures = 0;
    for (const QStringList &args : {QStringList{"office"}, QStringList{"memory", "10", "fake"},
                                    QStringList{"memory", "10", "office"}, QStringList{"tenhours"}}) {
        std::fflush(stdout);
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), args);
        child.waitForFinished(-1);
        failures += child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0;
    }
    return failures == 0 ? 0 : 1;
}
