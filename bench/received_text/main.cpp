// The "Received text" window under a flood: the run's tick takes the text
// from the emulator feed and writes it into a spreadsheet that only counts
// cells (no office, so the figures are the run's and the window's own):
//  1. Text at 1 MB/s for N seconds (default 10), the window closed, then open:
//     the main thread's event-loop lag (how late a 10 ms timer fires: p99,
//     max), the tick's time (p99, max), the CPU of this process, and the rows
//     written against the lines sent.
//  2. One 1 MB burst taken in a single tick, the window closed, then open:
//     the event-loop lag from the burst until it is written and shown.
// Usage: bench_received_text [seconds]   (needs a display; QT_QPA_PLATFORM=offscreen
// works without one)
#include "../common/BenchView.h"
#include "../common/Display.h"
#include "../common/PrivateHome.h"
#include "../common/ProcessFigures.h"
#include "AcquisitionRun.h"
#include "ConsoleMessageBoxes.h"
#include "FakeEmulatorFeed.h"
#include "FakeSerialComm.h"
#include "FakeSpreadsheet.h"
#include "MacroSettings.h"
#include "ReceivedText.h"
#include "ReceivedTextWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kProbeMs = 10;
constexpr qint64 kBytesPerMs = 1000; // 1 MB/s

QByteArray makeText(qsizetype size)
{
    QByteArray text;
    text.reserve(size + 128);
    for (int i = 1; text.size() < size; ++i)
        text += QByteArray::number(i) + " " + QByteArray::number(i % 10000).rightJustified(4, '0')
                + " :: 12-07-2026 10:11:12 = " + QByteArray::number(1000 + i * 37 % 90000) + " (RAW)  24 (C)\r\n";
    return text.left(text.lastIndexOf("\r\n") + 2);
}

// How late a 10 ms timer fires on the main thread, while it runs.
class LagProbe {
public:
    LagProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kProbeMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            lags.push_back(std::max(0.0, m_clock.nsecsElapsed() / 1e6 - kProbeMs));
            m_clock.restart();
        });
    }
    void start()
    {
        lags.clear();
        m_clock.start();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    std::vector<double> lags;

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
};

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

double largest(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

void runUntil(const std::function<bool()> &done, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

struct Bench {
    BenchView view;
    FakeSerialComm comm;
    FakeSpreadsheetFactory factory;
    ConsoleMessageBoxes boxes{"bench"};
    FakeEmulatorFeed feed;
    ReceivedText text;
    std::unique_ptr<AcquisitionRun> run;
    std::unique_ptr<ReceivedTextWindow> window;
    LagProbe probe;
    std::vector<double> ticks;
    MacroSettings macro;
    QString saveAs; // the answer to the save dialog at Stop

    explicit Bench(const QString &programFolder) : saveAs(programFolder + "/saved.xlsx")
    {
        run = std::make_unique<AcquisitionRun>(view, comm, factory, boxes, feed, programFolder);
        run->setStreamWatch(&text);
        window = std::make_unique<ReceivedTextWindow>(text);
        window->resize(900, 500);
        QObject::connect(&view.timer, &QTimer::timeout, [this] {
            QElapsedTimer tick;
            tick.start();
            run->tick();
            ticks.push_back(tick.nsecsElapsed() / 1e6);
        });
        feed.active = true;
    }

    bool start(bool windowOpen)
    {
        const std::shared_ptr<FakeSpreadsheetApp> app = factory.prepare();
        app->keepCells = false;
        app->saveAnswers = {saveAs};
        window->setVisible(windowOpen);
        ticks.clear();
        run->start();
        return run->state() == RunState::Running;
    }
    // Lines written, and the run stopped (the workbook saved).
    qint64 stop()
    {
        const qint64 rows = run->nextRow() - 1;
        run->stop(macro);
        return rows;
    }
    bool allTaken() const { return feed.output.isEmpty() && run->pendingText().isEmpty(); }
};

void flood(Bench &b, const QByteArray &text, bool windowOpen)
{
    if (!b.start(windowOpen))
        return;
    qsizetype sent = 0;
    QElapsedTimer wall;
    QTimer source;
    QObject::connect(&source, &QTimer::timeout, [&] {
        const qsizetype due = std::min<qsizetype>(text.size(), wall.elapsed() * kBytesPerMs);
        b.feed.output += text.mid(sent, due - sent);
        sent = due;
    });
    const double cpuBefore = cpuSeconds();
    wall.start();
    source.start(kProbeMs);
    b.probe.start();
    runUntil([&] { return sent == text.size() && b.allTaken(); }, int(text.size() / kBytesPerMs) + 30000);
    b.probe.stop();
    source.stop();
    const double cpu = cpuSeconds() - cpuBefore;
    const double seconds = wall.nsecsElapsed() / 1e9;
    const qint64 rows = b.stop();
    std::printf("flood at 1 MB/s, window %s: %lld bytes in %.1f s\n", windowOpen ? "open" : "closed",
                static_cast<long long>(text.size()), seconds);
    std::printf("  event-loop lag: p99 %.1f ms, max %.1f ms (%zu looks)\n", percentile(b.probe.lags, 0.99),
                largest(b.probe.lags), b.probe.lags.size());
    std::printf("  tick: p99 %.1f ms, max %.1f ms; CPU %.2f s = %.1f%% of a core\n", percentile(b.ticks, 0.99),
                largest(b.ticks), cpu, 100 * cpu / seconds);
    std::printf("  rows written: %lld of %lld lines\n", static_cast<long long>(rows),
                static_cast<long long>(text.count("\r\n")));
}

void burst(Bench &b, const QByteArray &text, bool windowOpen)
{
    if (!b.start(windowOpen))
        return;
    b.probe.start();
    b.feed.output = text;
    runUntil([&] { return b.allTaken(); }, 30000);
    runUntil([] { return false; }, 500); // the window's next look
    b.probe.stop();
    const qint64 rows = b.stop();
    std::printf("1 MB burst in one tick, window %s: event-loop lag p99 %.1f ms, max %.1f ms; that tick %.1f ms; "
                "rows %lld of %lld\n",
                windowOpen ? "open" : "closed", percentile(b.probe.lags, 0.99), largest(b.probe.lags), largest(b.ticks),
                static_cast<long long>(rows), static_cast<long long>(text.count("\r\n")));
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    usePrivateHome(home.path());
    useOffscreenWithoutDisplay();
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    QFile master(home.path() + "/spreadsheet.xls");
    if (!master.open(QIODevice::WriteOnly) || master.write("master") != 6) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(master.fileName()));
        return 1;
    }
    master.close();

    Bench bench(home.path());
    const QByteArray floodText = makeText(seconds * kBytesPerMs * 1000);
    for (const bool open : {false, true})
        flood(bench, floodText, open);
    const QByteArray burstText = makeText(1000 * 1000);
    for (const bool open : {false, true})
        burst(bench, burstText, open);
    return 0;
}
