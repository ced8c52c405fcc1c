// End-to-end acquisition figures, with the real serial port over a socat
// pseudo-terminal pair and a headless LibreOffice:
//  1. Strata-format record lines written at the instrument's 9600 baud pace
//     for N seconds (default 60): delay from a line's last byte to its cells
//     being written (median, 99th percentile), this process's CPU use, and
//     every line present in the saved workbook.
//     The paced run is made with the run's journal kept, without it (its
//     folder cannot be made, so every append is skipped), or both in turn.
//  2. The journal alone, fed the paced run's pieces (96 bytes every 100 ms)
//     with a clock that moves 100 ms a call: time of each tick's append and
//     sync, and CPU against the time those ticks stand for.
//  3. A backlog of 10,000 six-value record lines waiting in the receive buffer
//     when a tick runs: the time that tick takes.
// With "window" instead, part 1 is made twice with the journal and the
// received text kept for the "Received text" window, that window closed and
// then open (it needs a display; QT_QPA_PLATFORM=offscreen works without one).
// Usage: bench_acquisition_e2e [seconds] [with|without|both|window]  (default: 60 both)
#include "../common/BenchView.h"
#include "../common/Display.h"
#include "../common/PrivateHome.h"
#include "ForwardingSpreadsheetApp.h"
#include "AcquisitionRun.h"
#include "CalcSpreadsheetFactory.h"
#include "FolderLookup.h"
#include "FakeEmulatorFeed.h"
#include "MacroSettings.h"
#include "MSComm.h"
#include "ConsoleMessageBoxes.h"
#include "PtyPair.h"
#include "ReceivedText.h"
#include "ReceivedTextWindow.h"
#include "RunJournal.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Passes every call on and notes when each row's cells were written.
class TimedApp : public ForwardingSpreadsheetApp {
public:
    using ForwardingSpreadsheetApp::ForwardingSpreadsheetApp;
    void setCells(std::int32_t r, std::int32_t c, const QList<CellValue> &v) override
    {
        ForwardingSpreadsheetApp::setCells(r, c, v);
        if (!written.contains(r))
            written.insert(r, Clock::now());
    }
    void setRows(std::int32_t r, std::int32_t c, const QList<QList<CellValue>> &rows) override
    {
        ForwardingSpreadsheetApp::setRows(r, c, rows);
        const auto now = Clock::now();
        for (qsizetype i = 0; i < rows.size(); ++i)
            if (!written.contains(r + std::int32_t(i)))
                written.insert(r + std::int32_t(i), now);
    }
    QHash<std::int32_t, Clock::time_point> written;
};

class TimedFactory : public SpreadsheetFactory {
public:
    explicit TimedFactory(SpreadsheetFactory &inner) : m(inner) {}
    std::shared_ptr<SpreadsheetApp> create() override
    {
        last = std::make_shared<TimedApp>(m.create());
        return last;
    }
    std::shared_ptr<TimedApp> last;

private:
    SpreadsheetFactory &m;
};

// The first column of the saved workbook's active sheet, converted to CSV by a
// private office.
QStringList firstColumn(const QString &xls)
{
    QTemporaryDir dir;
    QProcess soffice;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("URE_BOOTSTRAP");
    env.insert("HOME", dir.path());
    soffice.setProcessEnvironment(env);
    soffice.start("soffice", {"-env:UserInstallation=file://" + dir.path() + "/profile", "--headless", "--norestore",
                              "--convert-to", "csv", "--outdir", dir.path(), xls});
    soffice.waitForFinished(120000);
    QFile csv(dir.path() + "/" + QFileInfo(xls).completeBaseName() + ".csv");
    QStringList out;
    if (csv.open(QIODevice::ReadOnly))
        for (const QByteArray &line : csv.readAll().split('\n'))
            out.append(QString::fromUtf8(line.split(',').value(0)).remove('"'));
    return out;
}

QByteArray strataLine(int index, const QTime &t)
{
    return QByteArray::number(index) + " " + QByteArray::number(index % 10000).rightJustified(4, '0')
           + " :: 12-07-2026 " + t.toString("HH:mm:ss").toLatin1() + " = "
           + QByteArray::number(1000 + index * 37 % 90000) + " (RAW)  " + QByteArray::number(20 + index % 7)
           + " (C)\r\n";
}

// A paced run of `seconds` at 9600 baud through the pty into the office, then
// Stop and the saved workbook read back; prints its figures. False when the
// run did not start.
bool pacedRun(AcquisitionRun &run, BenchView &view, TimedFactory &factory, PtyPair &pty, int seconds, QString &saveAs,
              bool journal, const char *label)
{
    saveAs.clear(); // cancel
    MacroSettings macro;
    run.start();
    if (run.state() != RunState::Running) {
        std::fprintf(stderr, "start failed: %s\n", qPrintable(view.status));
        return false;
    }
    const int peer = ::open(pty.endB().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    std::vector<Clock::time_point> sentAt;
    std::mutex sentLock;
    std::atomic<bool> writerDone{false};
    std::atomic<double> writerCpu{0};
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    QElapsedTimer wall;
    wall.start();
    std::thread writer([&] {
        const auto begin = Clock::now();
        const auto end = begin + std::chrono::seconds(seconds);
        qint64 bytes = 0;
        for (int i = 0;; ++i) {
            const QByteArray line = strataLine(i, QTime::currentTime());
            bytes += line.size();
            // 9600 baud, 8N1: 960 characters a second; the line ends when its last byte is out.
            const auto due = begin + std::chrono::microseconds(bytes * 1000000 / 960);
            if (due > end)
                break;
            std::this_thread::sleep_until(due);
            qsizetype done = 0;
            while (done < line.size()) {
                const ssize_t n = ::write(peer, line.constData() + done, line.size() - done);
                if (n <= 0)
                    break;
                done += n;
            }
            std::lock_guard<std::mutex> lock(sentLock);
            sentAt.push_back(Clock::now());
        }
        writerCpu = cpuSeconds(RUSAGE_THREAD);
        writerDone = true;
    });
    while (!writerDone)
        runEventLoop(50);
    runEventLoop(1000); // the last lines' tick
    writer.join();
    const double cpu = cpuSeconds(RUSAGE_SELF) - cpuBefore - writerCpu;
    const double elapsed = wall.nsecsElapsed() / 1e9;

    std::vector<double> delays;
    int missing = 0;
    for (size_t i = 0; i < sentAt.size(); ++i) {
        const auto it = factory.last->written.find(static_cast<std::int32_t>(i + 1));
        if (it == factory.last->written.end()) {
            ++missing;
            continue;
        }
        delays.push_back(std::chrono::duration<double, std::milli>(*it - sentAt[i]).count());
    }
    std::sort(delays.begin(), delays.end());
    auto pct = [&delays](double p) {
        return delays.empty() ? 0.0 : delays[std::min(delays.size() - 1, size_t(p * delays.size()))];
    };

    QTemporaryDir out;
    saveAs = out.path() + "/paced.xls";
    const QString raw = run.journal().rawPath();
    run.stop(macro);
    ::close(peer);
    const QStringList column = firstColumn(saveAs);
    int present = 0;
    for (size_t i = 0; i < sentAt.size(); ++i)
        present += column.value(int(i)) == QString::number(i) ? 1 : 0;

    qint64 sentBytes = 0;
    for (size_t i = 0; i < sentAt.size(); ++i)
        sentBytes += strataLine(int(i), QTime(0, 0)).size();
    std::printf("paced run %s: %d s at 9600 baud, %zu lines\n", label, seconds, sentAt.size());
    if (journal)
        std::printf("  journal: %lld bytes of %lld sent (%s)\n", static_cast<long long>(QFileInfo(raw).size()),
                    static_cast<long long>(sentBytes), qPrintable(raw));
    else
        std::printf("  journal: not kept (%s)\n", qPrintable(run.journal().problem()));
    std::printf("  last byte to cells written: median %.1f ms, p99 %.1f ms, max %.1f ms (%d never written)\n", pct(0.5),
                pct(0.99), delays.empty() ? 0.0 : delays.back(), missing);
    std::printf("  CPU of this process (without the writer): %.2f s in %.1f s = %.2f%% of a core\n", cpu, elapsed,
                100.0 * cpu / elapsed);
    std::printf("  lines in the saved workbook: %d of %zu\n", present, sentAt.size());

    return true;
}

// The journal on its own, as the paced run feeds it: a tick's bytes (96 at
// 9600 baud) appended and the sync due checked, `seconds` worth of ticks.
void journalAlone(const QString &folder, int seconds)
{
    const int ticks = seconds * 10;
    const QByteArray piece = strataLine(1, QTime(12, 0)).repeated(2).left(96);
    QDateTime clock = QDateTime::currentDateTime();
    RunJournal journal;
    if (journal.open(folder, clock, 1)) {
        std::fprintf(stderr, "journal alone: %s\n", qPrintable(journal.problem()));
        return;
    }
    std::vector<double> calls;
    calls.reserve(size_t(ticks));
    const double cpuBefore = cpuSeconds(RUSAGE_THREAD);
    for (int i = 0; i < ticks; ++i) {
        clock = clock.addMSecs(100);
        const auto begin = Clock::now();
        journal.append(piece, clock);
        journal.syncIfDue(clock);
        calls.push_back(std::chrono::duration<double, std::micro>(Clock::now() - begin).count());
    }
    const double cpu = cpuSeconds(RUSAGE_THREAD) - cpuBefore;
    journal.close();
    std::vector<double> sorted = calls;
    std::sort(sorted.begin(), sorted.end());
    auto pct = [&sorted](double p) { return sorted[std::min(sorted.size() - 1, size_t(p * sorted.size()))]; };
    std::printf("journal alone: %d ticks of 96 bytes (%d s of a run), a sync each second\n", ticks, seconds);
    std::printf("  append and sync a tick: median %.0f us, p99 %.0f us, max %.0f us\n", pct(0.5), pct(0.99),
                sorted.back());
    std::printf("  CPU %.4f s for %d s of ticks = %.3f%% of a core\n", cpu, seconds, 100.0 * cpu / seconds);
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    usePrivateHome(home.path());
    useOffscreenWithoutDisplay();
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 60;
    const QString programFolder = QCoreApplication::applicationDirPath();
    if (!QFileInfo::exists(programFolder + "/spreadsheet.xls")) {
        std::fprintf(stderr, "no master workbook in %s\n", qPrintable(programFolder));
        return 1;
    }

    PtyPair pty;
    if (!pty.start()) {
        std::fprintf(stderr, "socat pair did not start\n");
        return 1;
    }
    QFile map(home.path() + "/ports.conf");
    map.open(QIODevice::WriteOnly);
    map.write(("COM1=" + pty.endA() + "\n").toUtf8());
    map.close();
    MSComm comm{PortMap(home.path())};

    QString saveAs;
    CalcSpreadsheetFactory calc([&saveAs](const QString &, const QString &) { return saveAs; });
    TimedFactory factory(calc);
    MacroSettings macro;
    FakeEmulatorFeed feed; // the backlog arrives through it in one piece
    BenchView view;
    ConsoleMessageBoxes boxes("bench");
    AcquisitionRun run(view, comm, factory, boxes, feed, programFolder);
    QObject::connect(&view.timer, &QTimer::timeout, [&run] { run.tick(); });

    // ---- 1. Paced instrument, with and without the journal ----
    const QString mode = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("both");
    QStringList modes;
    if (mode == "both")
        modes = {"without", "with"};
    else if (mode == "with" || mode == "without")
        modes = {mode};
    else if (mode == "window")
        modes = {"window closed", "window open"};
    else {
        std::fprintf(stderr, "usage: bench_acquisition_e2e [seconds] [with|without|both|window]\n");
        return 2;
    }
    QFile inTheWay(home.path() + "/not-a-folder");
    inTheWay.open(QIODevice::WriteOnly);
    inTheWay.close();
    ReceivedText receivedText;
    ReceivedTextWindow window(receivedText);
    window.resize(900, 500);
    for (const QString &m : modes) {
        const bool journal = m != "without";
        run.setJournalFolder(journal ? home.path() + "/runs" : inTheWay.fileName() + "/runs");
        if (mode == "window") {
            run.setStreamWatch(&receivedText);
            window.setVisible(m == "window open");
        }
        const QByteArray label = (mode == "window" ? "with the journal, " + m : m + " the journal").toUtf8();
        if (!pacedRun(run, view, factory, pty, seconds, saveAs, journal, label.constData()))
            return 1;
    }

    // ---- 2. The journal alone ----
    journalAlone(home.path() + "/alone", seconds);

    // ---- 3. Backlog in one tick ----
    saveAs.clear(); // cancel
    run.start();
    if (run.state() != RunState::Running) {
        std::fprintf(stderr, "second start failed: %s\n", qPrintable(view.status));
        return 1;
    }
    QByteArray backlog;
    for (int i = 0; i < 10000; ++i)
        backlog += QByteArray::number(i) + " :: " + QByteArray::number(i % 97) + " = " + QByteArray::number(i * 3)
                   + " 4.5 " + QByteArray::number(i % 13) + " X\r\n";
    feed.active = true;
    feed.output = backlog;
    QElapsedTimer tick;
    tick.start();
    run.tick();
    const double tickSeconds = tick.nsecsElapsed() / 1e9;
    std::printf(
        "backlog: 10000 six-value record lines (%lld bytes) written in one tick: %.2f s, rows %d, status \"%s\"\n",
        static_cast<long long>(backlog.size()), tickSeconds, run.nextRow() - 1, qPrintable(view.status));
    run.stop(macro);
    return 0;
}
