// Runs figures, each repeated and given as median and worst:
//  list    `halvern --list-runs` over 1,000 kept runs, one of them an
//          unfinished run of 35 MB (10 hours at 9600 baud) whose lines it
//          counts: process start to exit. Goal: under 1 s.
//  window  the Runs window over the same folder, from its making to its
//          table shown, and until the unfinished run's lines are counted
//          in the background. Goal: under 0.5 s to show.
//  kill    `halvern --replay` of a journal into its headless office; once the
//          office runs, the program is killed with SIGKILL: the time until no
//          process of that office is left. Goal: under 3 s.
// Without arguments: all three. The program is build/bin/halvern unless
// HALVERN_BIN_DIR names another folder.
#include "../common/PrivateHome.h"
#include "KeptRuns.h"
#include "MessageBoxes.h"
#include "RunCatalog.h"
#include "frmRuns.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <cstdio>

namespace {
constexpr int kRuns = 1000;
constexpr qint64 kUnfinishedBytes = 35'000'000;

class SilentBoxes : public MessageBoxes {
public:
    Answer show(const QString &, const QString &, Buttons = Buttons::Ok) override { return Answer::Cancel; }
};

QString program()
{
    const QString dir = qEnvironmentVariable("HALVERN_BIN_DIR", QStringLiteral(HALVERN_BIN_DIR));
    return dir + QStringLiteral("/halvern");
}

void report(const char *what, QList<double> ms, double goal)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s median %7.1f ms, worst %7.1f ms (goal < %.0f ms) %s\n", what, ms[ms.size() / 2], ms.last(), goal,
                ms.last() < goal ? "met" : "NOT met");
}

// 999 runs saved at Stop, a few kB each, and one 35 MB run that ended
// without Stop, in `folder`.
void makeRuns(const QString &folder)
{
    QDateTime start(QDate(2025, 1, 1), QTime(8, 0));
    QByteArray lines;
    for (int i = 0; i < 40; ++i)
        lines += QByteArray::number(i) + " 0001 :: 12-07-2026 08:00:00 = 41234 (RAW)  21 (C)\r\n";
    for (int i = 0; i < kRuns - 1; ++i) {
        const QString base = start.toString("yyyy-MM-dd_HH-mm-ss") + "_COM5";
        writeKeptRun(folder, base, lines,
                     stopSummary(start.toString("yyyy-MM-dd HH:mm:ss"),
                                 start.addSecs(600).toString("yyyy-MM-dd HH:mm:ss"), 40,
                                 "/home/lab/Documents/run-" + QString::number(i) + ".xls", "/dev/ttyUSB0"));
        start = start.addSecs(3600);
    }
    QByteArray big;
    big.reserve(kUnfinishedBytes);
    while (big.size() < kUnfinishedBytes)
        big += lines;
    writeKeptRun(folder, start.toString("yyyy-MM-dd_HH-mm-ss") + "_COM5", big);
}

int listCase()
{
    QList<double> ms;
    QByteArray out;
    for (int i = 0; i < 7; ++i) {
        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(program(), {"--list-runs"});
        p.waitForFinished(60000);
        ms.append(t.nsecsElapsed() / 1e6);
        out = p.readAllStandardOutput();
        if (p.exitCode() != 0) {
            std::fprintf(stderr, "--list-runs failed: %s\n", p.readAllStandardError().constData());
            return 1;
        }
    }
    const QList<QByteArray> lines = out.trimmed().split('\n');
    std::printf("list: %lld lines; the newest: %s\n", static_cast<long long>(lines.size()),
                lines.first().left(80).constData());
    report("halvern --list-runs (1,000 runs, 35 MB unfinished)", ms, 1000);
    return 0;
}

int windowCase(const QString &folder)
{
    QList<double> shown, counted;
    SilentBoxes boxes;
    for (int i = 0; i < 7; ++i) {
        QElapsedTimer t;
        t.start();
        frmRuns window(folder, boxes, {});
        window.show();
        QApplication::processEvents();
        shown.append(t.nsecsElapsed() / 1e6);
        const QAbstractItemModel *table = window.grdRuns->model();
        while (table->index(0, frmRuns::LinesColumn).data().toString() == "counting..." && t.elapsed() < 30000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        counted.append(t.nsecsElapsed() / 1e6);
        if (table->rowCount() != kRuns) {
            std::fprintf(stderr, "the window lists %d runs\n", table->rowCount());
            return 1;
        }
    }
    report("Runs window made and shown", shown, 500);
    report("  ... and the unfinished run's lines counted", counted, 1000);
    return 0;
}

// The processes whose command line names a profile under `root`.
QList<qint64> officeProcesses(const QString &root)
{
    QList<qint64> pids;
    for (const QString &name : QDir("/proc").entryList(QDir::Dirs)) {
        bool ok = false;
        const qint64 pid = name.toLongLong(&ok);
        QFile cmdline("/proc/" + name + "/cmdline");
        if (ok && cmdline.open(QIODevice::ReadOnly)
            && cmdline.readAll().contains(("UserInstallation=file://" + root).toUtf8()))
            pids.append(pid);
    }
    return pids;
}

int killCase(const QString &home, const QString &raw)
{
    QList<double> ms;
    const QString root = home + "/.local/share/Halvern";
    for (int i = 0; i < 5; ++i) {
        QProcess p;
        p.start(program(), {"--replay", raw, "--save-as", home + "/replayed.xlsx"});
        QElapsedTimer wait;
        wait.start();
        while (officeProcesses(root).size() < 2 && wait.elapsed() < 30000)
            QThread::msleep(20);
        QThread::msleep(500); // the office connected and working
        if (officeProcesses(root).isEmpty()) {
            std::fprintf(stderr, "no office came up\n");
            return 1;
        }
        QElapsedTimer t;
        t.start();
        ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
        p.waitForFinished(5000);
        while (!officeProcesses(root).isEmpty() && t.elapsed() < 20000)
            QThread::msleep(10);
        ms.append(t.nsecsElapsed() / 1e6);
    }
    report("kill -9 of halvern to its office's end", ms, 3000);
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    usePrivateHome(home.path());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString which = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const QString folder = home.path() + "/.local/share/Halvern/runs";
    QElapsedTimer made;
    made.start();
    makeRuns(folder);
    std::printf("made %d runs in %s (%.1f s)\n", kRuns, qPrintable(folder), made.elapsed() / 1000.0);
    int status = 0;
    if (which.isEmpty() || which == "list")
        status |= listCase();
    if (which.isEmpty() || which == "window")
        status |= windowCase(folder);
    if (which.isEmpty() || which == "kill")
        status |= killCase(home.path(), RunCatalog::scan(folder).first().rawPath);
    return status;
}
