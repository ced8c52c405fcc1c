// Replug figures for the serial port. A socat pseudo-terminal behind a link
// in a folder that plays /dev/serial/by-id stands in for a USB adapter; it is
// numbered COM5 through the system device source and opened through MSComm,
// read by a 100 ms tick as the acquisition reads it. socat is then ended (the
// adapter pulled out) and started again on the same link:
//  1. CPU of this process while the port is gone: the tick and the watcher's
//     looks, over the waiting time (default 10 s).
//  2. Time from the device reappearing (seen by a separate thread looking
//     every millisecond) to the first byte read again through the reopened
//     port, split into: watcher report, reopen, first byte.
// With --run the same goes through a whole acquisition run instead: an
// AcquisitionRun on that port (the spreadsheet a test double that counts
// cells), ticked every 100 ms while its timer is on, finds the port lost on
// its own, watches for the adapter with its own device watch and reopens it;
// "first byte" is the first tick that takes bytes in again. The instrument
// prints a short line every 5 ms.
// Usage: bench_replug [--run] [rounds (default 10)] [wait seconds (default 10)]
#ifdef HALVERN_REPLUG_RUN
#include "AcquisitionRun.h"
#include "FakeEmulatorFeed.h"
#include "FakeSpreadsheet.h"
#include "MacroSettings.h"
#include "NullAcquisitionView.h"
#include "RecordingMessageBoxes.h"
#endif
#include "MSComm.h"
#include "PortMap.h"
#include "PortWatcher.h"
#include "SystemDeviceSource.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void runEventLoopUntil(const std::function<bool()> &done, int timeoutMs)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done())
            loop.quit();
    });
    check.start(5);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
}

// The share of a core this process uses while its event loop runs for `seconds`.
double cpuShareWhileWaiting(int seconds)
{
    const double cpu0 = cpuSeconds();
    const auto wall0 = Clock::now();
    QEventLoop idle;
    QTimer::singleShot(seconds * 1000, &idle, &QEventLoop::quit);
    idle.exec();
    return (cpuSeconds() - cpu0) / (ms(Clock::now() - wall0) / 1000.0);
}

// The instrument: once armed, waits for the adapter's link to appear (looking
// every millisecond, on its own thread), notes the moment, then writes its
// piece (one byte, or a line) every 5 ms on the far end until the adapter
// goes away again.
class Instrument {
public:
    Instrument(QByteArray device, QByteArray farEnd, QByteArray piece = ".")
        : m_device(std::move(device)), m_farEnd(std::move(farEnd)), m_piece(std::move(piece))
    {
        m_thread = std::thread([this] { loop(); });
    }
    ~Instrument()
    {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    void arm()
    {
        {
            std::lock_guard lock(m_mutex);
            m_armed = true;
            m_appeared.reset();
        }
        m_wake.notify_all();
    }
    std::optional<Clock::time_point> appeared()
    {
        std::lock_guard lock(m_mutex);
        return m_appeared;
    }

private:
    static bool exists(const QByteArray &path)
    {
        struct stat st {};
        return ::stat(path.constData(), &st) == 0;
    }
    void loop()
    {
        for (;;) {
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return m_armed || m_quit; });
                if (m_quit)
                    return;
            }
            while (!exists(m_device) && !m_quit)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            {
                std::lock_guard lock(m_mutex);
                m_appeared = Clock::now();
            }
            int fd = -1;
            while (fd < 0 && !m_quit) {
                fd = ::open(m_farEnd.constData(), O_RDWR | O_NOCTTY);
                if (fd < 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            while (!m_quit && ::write(fd, m_piece.constData(), m_piece.size()) == m_piece.size())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ::close(fd);
            std::lock_guard lock(m_mutex);
            m_armed = false;
        }
    }

    QByteArray m_device, m_farEnd, m_piece;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_armed = false;
    bool m_quit = false;
    std::optional<Clock::time_point> m_appeared;
};

// The USB adapter: a socat pseudo-terminal pair whose near end is linked in a
// folder that plays /dev/serial/by-id, numbered COM5 by Halvern and opened
// through `comm`; the instrument writes on the far end.
struct BenchAdapter {
    BenchAdapter()
        : device(byId.path() + "/usb-Bench_Meter_B1-if00-port0"),
          farEnd(farEnds.path() + "/instrument"),
          comm(PortMap(settings.path(), std::make_shared<SystemDeviceSource>(byId.path())))
    {
        socat.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        comm.setCommPort(5);
    }
    void plugIn() { socat.start("socat", {"pty,raw,echo=0,link=" + device, "pty,raw,echo=0,link=" + farEnd}); }
    void pullOut()
    {
        socat.terminate();
        socat.waitForFinished(3000);
    }

    QTemporaryDir byId, settings, farEnds;
    const QString device;
    const QString farEnd;
    QProcess socat;
    MSComm comm;
};

struct Round {
    double reported = 0, reopened = 0, firstByte = 0; // ms after the device appeared
    int failedReopens = 0;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

#ifdef HALVERN_REPLUG_RUN
// The main window as the run drives it: the timer's on and off, the COM lamp.
class BenchView : public NullAcquisitionView {
public:
    void setTimerEnabled(bool on) override { timerOn = on; }
    void setComPortLamp(Lamp lamp) override
    {
        comPortLamp = lamp;
        if (lamp == Lamp::Green && onGreen)
            onGreen();
    }
    bool timerOn = false;
    Lamp comPortLamp = Lamp::Frame;
    std::function<void()> onGreen; // the port is open again
};

int benchRun(int rounds, int waitSeconds)
{
    QTemporaryDir program, documents, journals;
    BenchAdapter adapter;
    const QString &device = adapter.device;
    MSComm &comm = adapter.comm;
    Instrument instrument(device.toLocal8Bit(), adapter.farEnd.toLocal8Bit(), "12.5\r\n");

    QFile master(program.path() + "/spreadsheet.xls");
    master.open(QIODevice::WriteOnly);
    master.write("master");
    master.close();
    BenchView view;
    FakeSpreadsheetFactory factory;
    factory.prepare()->keepCells = false;
    RecordingMessageBoxes boxes;
    FakeEmulatorFeed feed;
    AcquisitionRun run(view, comm, factory, boxes, feed, program.path());
    const QString documentsPath = documents.path();
    run.setDocumentsLookup([documentsPath](QString &folder) {
        folder = documentsPath;
        return true;
    });
    run.setJournalFolder(journals.path());

    // tmrMain: 100 ms, on while the run keeps it on.
    bool waitingForFirstByte = false;
    Clock::time_point reopenedAt, firstByteAt;
    QTimer tick;
    tick.setInterval(100);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (!view.timerOn)
            return;
        const std::int32_t before = run.bytesReceived();
        run.tick();
        if (waitingForFirstByte && run.bytesReceived() > before) {
            firstByteAt = Clock::now();
            waitingForFirstByte = false;
        }
    });

    instrument.arm();
    adapter.plugIn();
    runEventLoopUntil([&] { return instrument.appeared().has_value(); }, 5000);
    run.start();
    if (run.state() != RunState::Running || !comm.portOpen()) {
        std::fprintf(stderr, "the run did not start on COM5\n");
        return 1;
    }
    tick.start();
    std::printf("run on COM5 -> %s (tick 100 ms, the run's device watch every %d ms)\n", qPrintable(device),
                PortWatcher::defaultIntervalMs);

    std::vector<double> reopened, firstByte;
    double cpuShare = -1;
    for (int round = 0; round < rounds; ++round) {
        waitingForFirstByte = true;
        runEventLoopUntil([&] { return !waitingForFirstByte; }, 5000); // data flows
        adapter.pullOut();
        runEventLoopUntil([&] { return run.watchingForPort(); }, 5000);
        if (!run.watchingForPort()) {
            std::fprintf(stderr, "the run did not start watching for its lost port\n");
            return 1;
        }
        if (round == 0) {
            // Waiting for the vanished port: the run's tick and its watch.
            cpuShare = cpuShareWhileWaiting(waitSeconds);
        } else {
            runEventLoopUntil([] { return false; }, 150 + (round * 137) % 400);
        }

        reopenedAt = firstByteAt = {};
        waitingForFirstByte = true;
        view.onGreen = [&] { reopenedAt = Clock::now(); };
        instrument.arm();
        adapter.plugIn();
        runEventLoopUntil([&] { return firstByteAt != Clock::time_point{}; }, 10000);
        view.onGreen = nullptr;
        const auto appeared = instrument.appeared();
        if (!appeared || firstByteAt == Clock::time_point{}) {
            std::fprintf(stderr, "round %d: no byte through the run after the replug\n", round + 1);
            return 1;
        }
        reopened.push_back(ms(reopenedAt - *appeared));
        firstByte.push_back(ms(firstByteAt - *appeared));
        std::printf("round %2d: port reopened %6.1f ms, first byte taken in by the run %6.1f ms after the "
                    "device appeared (lamp %s)\n",
                    round + 1, reopened.back(), firstByte.back(),
                    view.comPortLamp == Lamp::Green ? "green" : "not green");
    }
    adapter.pullOut();
    const std::int32_t rowsWritten = run.nextRow() - 1;
    run.stop(MacroSettings{});

    std::printf("\nthrough the run, waiting for the vanished port: %.3f%% of a core over %d s\n", cpuShare * 100,
                waitSeconds);
    std::printf("device back -> first byte taken in by the run: median %.0f ms, max %.0f ms (goal < 1500 ms)\n",
                median(firstByte), *std::max_element(firstByte.begin(), firstByte.end()));
    std::printf("  of which reopen done: median %.0f ms; %d rows written in all\n", median(reopened), rowsWritten);
    return 0;
}
#endif

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.value(0) == "--run") {
#ifdef HALVERN_REPLUG_RUN
        args.removeFirst();
        return benchRun(args.size() > 0 ? std::max(1, args[0].toInt()) : 10,
                        args.size() > 1 ? std::max(1, args[1].toInt()) : 10);
#else
        std::fprintf(stderr, "--run needs the test support library (a build with the tests)\n");
        return 2;
#endif
    }
    const int rounds = args.size() > 0 ? std::max(1, args[0].toInt()) : 10;
    const int waitSeconds = args.size() > 1 ? std::max(1, args[1].toInt()) : 10;

    BenchAdapter adapter;
    const QString &device = adapter.device;
    MSComm &comm = adapter.comm;
    Instrument instrument(device.toLocal8Bit(), adapter.farEnd.toLocal8Bit());

    PortWatcher watcher;
    bool waitingForFirstByte = false;
    bool gone = false;
    int failedReopens = 0;
    Clock::time_point reportedAt, reopenedAt, firstByteAt;
    QObject::connect(&watcher, &PortWatcher::deviceReturned, [&] {
        if (reportedAt == Clock::time_point{})
            reportedAt = Clock::now();
        try {
            comm.setPortOpen(true);
        } catch (const CommError &) {
            ++failedReopens; // tried again at the next report
            return;
        }
        watcher.stop();
        reopenedAt = Clock::now();
        gone = false;
        waitingForFirstByte = true;
    });
    // The acquisition tick: reads what came; a lost port starts the watcher.
    QTimer tick;
    tick.setInterval(100);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (gone)
            return;
        try {
            if (!comm.input().isEmpty() && waitingForFirstByte) {
                firstByteAt = Clock::now();
                waitingForFirstByte = false;
            }
        } catch (const CommError &e) {
            if (e.number() == 8020) {
                gone = true;
                watcher.watch(comm.openedDevicePath());
            }
        }
    });

    // First plug-in and open.
    instrument.arm();
    adapter.plugIn();
    runEventLoopUntil([&] { return instrument.appeared().has_value(); }, 5000);
    if (!instrument.appeared()) {
        std::fprintf(stderr, "socat did not make the pseudo-terminal\n");
        return 1;
    }
    try {
        comm.setPortOpen(true);
    } catch (const CommError &e) {
        std::fprintf(stderr, "cannot open COM5: %s\n", qPrintable(e.description()));
        return 1;
    }
    std::printf("COM5 -> %s (numbered by Halvern, watcher interval %d ms, tick 100 ms)\n", qPrintable(device),
                PortWatcher::defaultIntervalMs);
    tick.start();

    std::vector<double> reported, reopened, firstByte;
    double cpuShare = -1;
    int looks = 0;
    for (int round = 0; round < rounds; ++round) {
        waitingForFirstByte = true;
        runEventLoopUntil([&] { return !waitingForFirstByte; }, 5000); // data flows
        adapter.pullOut();
        runEventLoopUntil([&] { return gone; }, 5000);
        if (!gone) {
            std::fprintf(stderr, "the lost port was not noticed\n");
            return 1;
        }
        if (round == 0) {
            // Waiting for the vanished port: nothing but the tick and the watcher.
            cpuShare = cpuShareWhileWaiting(waitSeconds);
            looks = watcher.looks();
        } else {
            // A different moment relative to the timers each round.
            runEventLoopUntil([] { return false; }, 150 + (round * 137) % 400);
        }

        reportedAt = reopenedAt = firstByteAt = {};
        failedReopens = 0;
        waitingForFirstByte = false;
        instrument.arm();
        adapter.plugIn();
        runEventLoopUntil([&] { return firstByteAt != Clock::time_point{}; }, 10000);
        const auto appeared = instrument.appeared();
        if (!appeared || firstByteAt == Clock::time_point{}) {
            std::fprintf(stderr, "round %d: no byte after the replug\n", round + 1);
            return 1;
        }
        reported.push_back(ms(reportedAt - *appeared));
        reopened.push_back(ms(reopenedAt - *appeared));
        firstByte.push_back(ms(firstByteAt - *appeared));
        std::printf("round %2d: watcher report %6.1f ms, reopened %6.1f ms, first byte %6.1f ms after the "
                    "device appeared (%d failed reopen attempts)\n",
                    round + 1, reported.back(), reopened.back(), firstByte.back(), failedReopens);
    }
    adapter.pullOut();

    std::printf("\nwaiting for the vanished port: %.3f%% of a core over %d s (%d looks by the watcher)\n",
                cpuShare * 100, waitSeconds, looks);
    std::printf("device back -> first byte read again: median %.0f ms, max %.0f ms (goal < 1500 ms)\n",
                median(firstByte), *std::max_element(firstByte.begin(), firstByte.end()));
    std::printf("  of which watcher report: median %.0f ms; reopen done: median %.0f ms\n", median(reported),
                median(reopened));
    return 0;
}
