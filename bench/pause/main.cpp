// Pause figures: what a long pause keeps. An instrument at 9600 baud prints
// 96 bytes every 100 ms into a socat pseudo-terminal pair; its writes never
// wait (an instrument cannot be held back), so bytes the line cannot take are
// counted as dropped. The run uses the real serial component and the
// spreadsheet test double; its ticks run in simulated time (the event loop
// gets a few milliseconds a tick to move the bytes).
//  bench_pause [minutes] [reading|not-reading]
//    reading (default): the run's tick goes on reading the port during the
//    pause, as the program does; not-reading: no tick during the pause, as a
//    pause that stops reading would. Prints bytes sent, dropped by the line,
//    kept in the journal, the process's memory during the pause, and whether
//    every line is in the sheet after Resume.
#include "../common/PrivateHome.h"
#include "../common/ProcessFigures.h"
#include "AcquisitionRun.h"
#include "AppSettings.h"
#include "FakeEmulatorFeed.h"
#include "FakeSpreadsheet.h"
#include "FileContents.h"
#include "MSComm.h"
#include "MacroSettings.h"
#include "NullAcquisitionView.h"
#include "PortMap.h"
#include "PtyPair.h"
#include "RecordingMessageBoxes.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kTickBytes = 96; // 9600 baud, 8N1, in 100 ms

// The instrument: numbered record lines, 96 bytes a tick, written without waiting.
class Instrument {
public:
    explicit Instrument(const QString &device)
        : m_fd(::open(QFile::encodeName(device).constData(), O_WRONLY | O_NOCTTY | O_NONBLOCK))
    {
    }
    ~Instrument() { ::close(m_fd); }
    bool ok() const { return m_fd >= 0; }
    void tick()
    {
        while (m_text.size() < kTickBytes) {
            ++m_lines;
            m_text +=
                QByteArray::number(m_lines) + " :: " + QByteArray::number(m_lines * 7).rightJustified(8, '0') + "\r\n";
        }
        const ssize_t n = ::write(m_fd, m_text.constData(), kTickBytes);
        const qint64 taken = n > 0 ? n : 0;
        sent += taken;
        lines += m_text.left(taken).count('\n');
        dropped += kTickBytes - taken; // the line had no room: gone, as on a real UART
        m_text.remove(0, kTickBytes);
    }
    qint64 sent = 0;
    qint64 dropped = 0;
    qint64 lines = 0; // line ends the line took

private:
    int m_fd;
    QByteArray m_text;
    qint64 m_lines = 0;
};

// A tick's worth of event loop, so that Qt moves the bytes from the port.
void letEventsRun()
{
    const QDeadlineTimer slice(4);
    while (!slice.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    usePrivateHome(home.path());
    QCoreApplication app(argc, argv);
    const int minutes = argc > 1 ? std::atoi(argv[1]) : 10;
    const bool reading = !(argc > 2 && std::strcmp(argv[2], "not-reading") == 0);

    QTemporaryDir work;
    PtyPair pty;
    if (!pty.start()) {
        std::fprintf(stderr, "socat did not start\n");
        return 1;
    }
    writeFile(AppSettings::folder() + "/ports.conf", ("COM5=" + pty.endA() + "\n").toUtf8());
    MSComm comm{PortMap(AppSettings::folder())};
    comm.setCommPort(5);
    Instrument instrument(pty.endB());
    writeFile(work.path() + "/spreadsheet.xls", "master");
    FakeSpreadsheetFactory factory;
    const std::shared_ptr<FakeSpreadsheetApp> sheet = factory.prepare();
    sheet->keepCells = false;
    NullAcquisitionView view;
    RecordingMessageBoxes boxes;
    FakeEmulatorFeed emulator;
    QDateTime clock(QDate(2026, 12, 7), QTime(9, 0));
    AcquisitionRun run(view, comm, factory, boxes, emulator, work.path());
    run.setDocumentsLookup([&work](QString &folder) {
        folder = work.path();
        return true;
    });
    run.setJournalFolder(work.path() + "/runs");
    run.setJournalClock([&clock] { return clock; });
    run.start();
    if (!instrument.ok() || run.state() != RunState::Running) {
        std::fprintf(stderr, "the run did not start\n");
        return 1;
    }
    auto tick = [&](bool ticking) {
        clock = clock.addMSecs(100);
        instrument.tick();
        letEventsRun();
        if (ticking)
            run.tick();
    };
    for (int i = 0; i < 100; ++i) // 10 s running first
        tick(true);
    const qint64 journalBefore = run.journal().bytes();
    const qint64 sentBefore = instrument.sent;
    const qint64 droppedBefore = instrument.dropped;
    const double rssBefore = statusMiB("VmRSS:");
    double rssMax = rssBefore;
    run.pause();
    const int pauseTicks = minutes * 600;
    for (int i = 0; i < pauseTicks; ++i) {
        tick(reading);
        if (i % 100 == 0)
            rssMax = std::max(rssMax, statusMiB("VmRSS:"));
    }
    const qint64 sentInPause = instrument.sent - sentBefore;
    const qint64 droppedInPause = instrument.dropped - droppedBefore;
    const qint64 journaledInPause = run.journal().bytes() - journalBefore;
    run.resume();
    // The instrument goes on; the waiting lines are written in order meanwhile.
    for (int i = 0; i < 600; ++i)
        tick(true);
    // The last lines to come through: ticks with the instrument quiet.
    for (int i = 0; i < 50; ++i) {
        letEventsRun();
        clock = clock.addMSecs(100);
        run.tick();
    }
    const qint64 rows = run.nextRow() - 1;
    const qint64 lines = instrument.lines;
    std::printf("pause of %d minutes at 9600 baud, the tick %s the port during it\n", minutes,
                reading ? "reading" : "not reading");
    std::printf("  during the pause: %lld bytes sent to the line, %lld dropped by the line (no room), %lld kept in "
                "the journal\n",
                static_cast<long long>(sentInPause + droppedInPause), static_cast<long long>(droppedInPause),
                static_cast<long long>(journaledInPause));
    std::printf("  memory: VmRSS %.1f MiB before the pause, at most %.1f MiB during it (sampled every 10 s)\n",
                rssBefore, rssMax);
    std::printf("  after Resume: %lld rows in the sheet, %lld lines taken by the line in all%s\n",
                static_cast<long long>(rows), static_cast<long long>(lines), rows == lines ? " (every one)" : "");
    run.stop(MacroSettings{});
    return 0;
}
