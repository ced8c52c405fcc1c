#include "LoaderSimulator.h"

#include "FirmwareText.h"
#include "ItemReader.h"
#include "ConsoleMessageBoxes.h"

#include <QFile>
#include <QTextStream>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <poll.h>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t g_powerCycleRequested = 0;
volatile std::sig_atomic_t g_stopRequested = 0;

// The byte lists of the packet items of a file, in order.
QList<QByteArray> packetsOf(const QString &path)
{
    QList<QByteArray> packets;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return packets;
    ConsoleMessageBoxes boxes("loader_sim");
    ItemReader reader(&file);
    while (!reader.atEnd()) {
        const QByteArray item = FirmwareText::stripLeadingBlanks(reader.next());
        if (FirmwareText::kindOf(item) != FirmwareText::ItemKind::Packet)
            continue;
        const QByteArray bytes = FirmwareText::byteArrayOf(QByteArrayView(item).sliced(4), boxes);
        if (!bytes.isEmpty())
            packets.append(bytes);
    }
    return packets;
}
} // namespace

void LoaderSimulator::requestPowerCycle() { g_powerCycleRequested = 1; }
void LoaderSimulator::requestStop() { g_stopRequested = 1; }

LoaderSimulator::LoaderSimulator(Options options) : m_options(std::move(options)) {}

void LoaderSimulator::note(const QString &text) const
{
    if (m_options.verbose)
        QTextStream(stderr) << "loader_sim: " << text << "\n";
}

void LoaderSimulator::readFirmwareFolder()
{
    const QString folder = m_options.firmwareFolder;
    const QList<QByteArray> hold = packetsOf(folder + "/hold.ldf");
    m_holdPacket = hold.value(0);
    m_lastPackets.clear();
    const QList<QPair<QString, QByteArray>> files = {{"fc.ldf", "TERM"},
                                                     {"lf.ldf", "word 0000000 rec 000001"},
                                                     {"ff.ldf", "word 0000000 rec 000001"},
                                                     {"af.ldf", "word 0000000 rec 000001"}};
    for (const auto &[name, marker] : files) {
        const QList<QByteArray> packets = packetsOf(folder + "/" + name);
        if (!packets.isEmpty())
            m_lastPackets.append({packets.last(), marker});
    }
}

LoaderSimulator::Clock::duration LoaderSimulator::lineTime(qsizetype bytes) const
{
    if (m_options.baud <= 0)
        return Clock::duration::zero();
    // One start bit, eight data bits, one stop bit.
    const double seconds = double(bytes) * 10.0 / m_options.baud;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

void LoaderSimulator::send(const QByteArray &bytes, Clock::time_point now, int delayMs)
{
    // The text arrives at the other end once its last byte has crossed the line.
    const Clock::time_point start = std::max(now + std::chrono::milliseconds(delayMs), m_txWireFree);
    const Clock::time_point due = start + lineTime(bytes.size());
    m_txWireFree = due;
    m_out.push_back({due, bytes});
}

void LoaderSimulator::powerCycle(Clock::time_point now)
{
    m_packet.clear();
    m_out.clear();
    m_txWireFree = now;
    m_lastActivity = now;
    readFirmwareFolder();
    if (!m_options.announce) {
        note("power cycle, no announcement");
        return;
    }
    note("power cycle, announcing loader version " + m_options.version);
    send("\r\nQuentaro Works flash loader :V" + m_options.version.toLatin1() + " ready\r\n:OK :\r\n:LST:01", now);
}

void LoaderSimulator::received(const QByteArray &bytes, Clock::time_point now)
{
    if (!m_options.recordFile.isEmpty()) {
        QFile record(m_options.recordFile);
        if (record.open(QIODevice::WriteOnly | QIODevice::Append))
            record.write(bytes);
    }
    m_rxWireFree = std::max(m_rxWireFree, now) + lineTime(bytes.size());
    m_packet += bytes;
    m_packetDue = std::max(now + std::chrono::milliseconds(m_options.gapMs), m_rxWireFree);
    m_lastActivity = now;
}

void LoaderSimulator::packetComplete(Clock::time_point now)
{
    const QByteArray packet = m_packet;
    m_packet.clear();
    const int number = ++m_packetCount;
    m_lastActivity = now;
    const auto hold = now + std::chrono::milliseconds(qint64(m_options.silenceHoldSeconds * 1000));

    if (m_options.silentBeforeOk.contains(number)) {
        note(QString("packet %1 (%2 bytes): silent").arg(number).arg(packet.size()));
        m_noCycleBefore = hold;
        return;
    }
    if (m_options.reject.contains(number)) {
        note(QString("packet %1 (%2 bytes): rejected").arg(number).arg(packet.size()));
        send("\r\n:!! packet rejected\r\n:LST:01", now);
        return;
    }
    int delayMs = 0;
    if (m_options.busy.contains(number)) {
        send("\r\nwriting flash.", now);
        send("..", now, 150);
        delayMs = 150;
    }
    QByteArray head;
    if (packet != m_holdPacket) {
        for (const auto &[last, marker] : m_lastPackets) {
            if (packet == last) {
                head = "\r\n" + marker + "\r\n";
                break;
            }
        }
    }
    note(QString("packet %1 (%2 bytes)%3").arg(number).arg(packet.size()).arg(head.isEmpty() ? "" : ": end of file"));
    send(head + ":OK :", now, delayMs);
    if (m_options.silentBeforePrompt.contains(number)) {
        note(QString("packet %1: no prompt").arg(number));
        m_noCycleBefore = hold;
        return;
    }
    send("\r\n:LST:01", now);
}

int LoaderSimulator::run(int fd, int stdinFd)
{
    using namespace std::chrono;
    const Clock::time_point started = Clock::now();
    m_lastActivity = started;
    m_noCycleBefore = started;
    m_rxWireFree = m_txWireFree = started;
    readFirmwareFolder();
    if (m_holdPacket.isEmpty())
        QTextStream(stderr) << "loader_sim: no hold packet in " << m_options.firmwareFolder << "/hold.ldf\n";

    const auto cycleAfter = duration_cast<Clock::duration>(duration<double>(m_options.cycleAfterSeconds));
    char buffer[4096];
    while (!g_stopRequested) {
        Clock::time_point now = Clock::now();
        if (g_powerCycleRequested) {
            g_powerCycleRequested = 0;
            powerCycle(now);
        }
        while (!m_out.empty() && m_out.front().due <= now) {
            const QByteArray &bytes = m_out.front().bytes;
            // A line without a listener loses what is sent, as a serial line does.
            if (::write(fd, bytes.constData(), size_t(bytes.size())) < 0 && errno != EAGAIN)
                note(QString("write failed: %1").arg(errno));
            m_out.pop_front();
            m_lastActivity = now;
        }
        if (!m_packet.isEmpty() && now >= m_packetDue)
            packetComplete(now);

        Clock::time_point wake = now + seconds(1);
        if (!m_out.empty())
            wake = std::min(wake, m_out.front().due);
        if (!m_packet.isEmpty())
            wake = std::min(wake, m_packetDue);
        if (m_options.cycleAfterSeconds > 0 && m_out.empty() && m_packet.isEmpty()) {
            const Clock::time_point cycleAt = std::max(m_lastActivity + cycleAfter, m_noCycleBefore);
            if (now >= cycleAt) {
                powerCycle(now);
                continue;
            }
            wake = std::min(wake, cycleAt);
        }

        pollfd fds[2] = {{fd, POLLIN, 0}, {stdinFd, POLLIN, 0}};
        const nfds_t count = stdinFd >= 0 ? 2 : 1;
        const auto wait = std::max(Clock::duration::zero(), wake - now);
        const auto ns = duration_cast<nanoseconds>(wait).count();
        const timespec timeout{time_t(ns / 1000000000), long(ns % 1000000000)};
        const int ready = ::ppoll(fds, count, &timeout, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            QTextStream(stderr) << "loader_sim: poll failed\n";
            return 1;
        }
        now = Clock::now();
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                received(QByteArray(buffer, qsizetype(n)), now);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                QTextStream(stderr) << "loader_sim: the line is gone\n";
                return 1;
            }
        }
        if (count == 2 && (fds[1].revents & (POLLIN | POLLHUP))) {
            const ssize_t n = ::read(stdinFd, buffer, sizeof buffer);
            if (n <= 0)
                stdinFd = -1;
            else if (QByteArray(buffer, qsizetype(n)).contains('\n'))
                powerCycle(now);
        }
    }
    return 0;
}
