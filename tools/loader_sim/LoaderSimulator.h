#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <chrono>
#include <deque>

// Plays an instrument's firmware loader on one end of a serial line (a
// pseudo-terminal), for trying the firmware updater without an instrument.
//
// The loader announces itself after a simulated power cycle, answers every
// packet with ":OK :" and then ":LST:01", and marks the end of a file in the
// answer to its last packet. A packet is the bytes that arrive together: it
// ends when the line has been quiet for a few milliseconds. The simulator
// knows the packets from the firmware folder: the hold packet of "hold.ldf"
// and the last packet of each of "fc.ldf" ("TERM"), "lf.ldf", "ff.ldf" and
// "af.ldf" ("word 0000000 rec 000001").
class LoaderSimulator {
public:
    using Clock = std::chrono::steady_clock;

    struct Options {
        QString firmwareFolder;
        QString version = QStringLiteral("2.10");
        int baud = 56000;                 // pacing of both directions; 0 = none
        double cycleAfterSeconds = 4.0;   // quiet time before a power cycle; 0 = only on request
        double silenceHoldSeconds = 20.0; // no power cycle this long after a deliberate silence
        int gapMs = 5;                    // quiet time that ends a packet
        QString recordFile;               // every received byte is appended here
        QSet<int> reject;                 // packet numbers answered with ":!!"
        QSet<int> busy;                   // packet numbers preceded by busy text ending in "."
        QSet<int> silentBeforeOk;         // packet numbers never answered
        QSet<int> silentBeforePrompt;     // packet numbers answered with ":OK :" only
        bool announce = true;
        bool verbose = false;
    };

    explicit LoaderSimulator(Options options);

    // Serves the device until a termination signal; returns the exit code.
    // `fd` is open for reading and writing; `stdinFd` (or -1) takes Enter as
    // a power cycle.
    int run(int fd, int stdinFd);

    // Requests a power cycle from a signal handler.
    static void requestPowerCycle();
    static void requestStop();

private:
    struct Pending {
        Clock::time_point due;
        QByteArray bytes;
    };

    void readFirmwareFolder();
    void powerCycle(Clock::time_point now);
    void received(const QByteArray &bytes, Clock::time_point now);
    void packetComplete(Clock::time_point now);
    // Queues text to send after its line time (and `delayMs` before it).
    void send(const QByteArray &bytes, Clock::time_point now, int delayMs = 0);
    Clock::duration lineTime(qsizetype bytes) const;
    void note(const QString &text) const;

    Options m_options;
    QByteArray m_holdPacket;
    QList<QPair<QByteArray, QByteArray>> m_lastPackets; // last packet, end marker

    QByteArray m_packet;              // bytes of the packet being received
    Clock::time_point m_packetDue{};  // when the packet counts as whole
    Clock::time_point m_rxWireFree{}; // received bytes are "on the wire" until then
    Clock::time_point m_txWireFree{};
    Clock::time_point m_lastActivity{};
    Clock::time_point m_noCycleBefore{};
    std::deque<Pending> m_out;
    int m_packetCount = 0;
};
