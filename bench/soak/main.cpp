// Soak and bad-stream figures for the acquisition tick and the stream parser,
// writing into the spreadsheet test double (which only counts what it gets):
//  - soak: one million emulated instrument lines, runs of 1,000 Strata record
//    lines and 1,000 Orbis readings (a block separator after every 100),
//    in turn; time and memory at 10 %, 50 % and 100 %;
//  - long: one record line of one-character tokens, its CR LF at the very end;
//  - cr: readings ended by CR only (an instrument set to CR line ends);
//  - random: bytes from a pseudo-random generator.
// Text reaches the tick 1 KiB at a time, as the serial port hands it over;
// "backlog" runs give a whole bad stream to one tick instead. Each case runs
// in a process of its own so that its peak memory (VmHWM) is its own.
// Usage: bench_soak                  every case
//        bench_soak CASE [MB] [backlog]
#include "../common/ProcessFigures.h"
#include "AcquisitionRun.h"
#include "FakeSerialComm.h"
#include "FakeSpreadsheet.h"
#include "FakeEmulatorFeed.h"
#include "MacroSettings.h"
#include "NullAcquisitionView.h"
#include "RecordingMessageBoxes.h"
#include "EmulatorClock.h"
#include "RandomSource.h"
#include "OrbisModel.h"
#include "StrataModel.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <time.h>

namespace {

constexpr qsizetype kTickBytes = 1024;

// A started run whose port is the serial test double and whose spreadsheet
// only counts cells.
class Rig {
public:
    Rig()
    {
        QFile master(m_program.path() + QStringLiteral("/spreadsheet.xls"));
        master.open(QIODevice::WriteOnly);
        master.write("master");
        master.close();
        m_app = m_factory.prepare();
        m_app->keepCells = false;
        m_run = std::make_unique<AcquisitionRun>(m_view, m_comm, m_factory, m_boxes, m_feed, m_program.path(),
                                                 [] { return QTime(12, 0); });
        const QString documents = m_documents.path();
        m_run->setDocumentsLookup([documents](QString &folder) {
            folder = documents;
            return true;
        });
        m_run->setJournalFolder(m_journals.path()); // the journal is part of the cost
        m_run->start();
        if (!m_app->activeBook()) {
            std::fprintf(stderr, "the run did not start\n");
            std::exit(1);
        }
    }
    ~Rig() { m_run->stop(MacroSettings{}); }

    void tick(const QByteArray &bytes)
    {
        m_comm.pending += bytes;
        m_run->tick();
    }
    qint64 cells() const { return m_app->cellsWritten; }

private:
    QTemporaryDir m_program;
    QTemporaryDir m_documents;
    QTemporaryDir m_journals;
    FakeEmulatorFeed m_feed;
    NullAcquisitionView m_view;
    FakeSerialComm m_comm;
    FakeSpreadsheetFactory m_factory;
    RecordingMessageBoxes m_boxes;
    std::shared_ptr<FakeSpreadsheetApp> m_app;
    std::unique_ptr<AcquisitionRun> m_run;
};

// The instrument's clock and generator, cheap to ask, so the figures are the
// run's and not the emulator's (its own generator reseeds a Mersenne twister
// for every value, its clock looks up the time zone).
class BenchClock : public EmulatorClock {
public:
    QDateTime localNow() const override { return now; }
    QDateTime now{QDate(2026, 6, 12), QTime(14, 3, 59)};
};

class BenchRandom : public RandomSource {
public:
    void reseed(double) override {}
    float next() override
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return float(m_state >> 8) / float(1 << 24);
    }

private:
    std::uint32_t m_state = 2463534242u;
};

void soak()
{
    const qint64 lines = 1000000;
    const auto clock = std::make_shared<BenchClock>();
    StrataModel strata(clock, std::make_shared<BenchRandom>());
    strata.reset();
    strata.setMinMeasurement(0);
    strata.setMaxMeasurement(30000);
    strata.setMinTemperature(20);
    strata.setMaxTemperature(30);
    OrbisModel orbis;
    orbis.reset();
    orbis.setEOLFrequency(100);

    std::printf("soak: %lld lines, %lld bytes a tick; at start VmRSS %.1f MiB\n", static_cast<long long>(lines),
                static_cast<long long>(kTickBytes), statusMiB("VmRSS:"));
    std::printf("%8s %8s %9s %9s %11s %11s %12s\n", "lines", "MB", "wall s", "CPU s", "VmHWM MiB", "VmRSS MiB",
                "cells");
    Rig rig;
    QByteArray pending;
    qint64 bytes = 0;
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = cpuSeconds();
    qint64 produced = 0;
    for (const qint64 mark : {lines / 10, lines / 2, lines}) {
        while (produced < mark) {
            // Runs of 1,000 lines from each model in turn.
            if (produced % 1000 == 0)
                clock->now = clock->now.addSecs(1);
            const QByteArray line = (produced / 1000) % 2 == 0 ? strata.nextOutput() : orbis.nextOutput();
            if (line != "\r\n\r\n\r\n")
                ++produced; // a separator is three empty lines, not a reading
            pending += line;
            while (pending.size() >= kTickBytes) {
                rig.tick(pending.first(kTickBytes));
                bytes += kTickBytes;
                pending.remove(0, kTickBytes);
            }
        }
        if (mark == lines) {
            rig.tick(pending);
            bytes += pending.size();
            pending.clear();
        }
        std::printf("%8lld %8.1f %9.2f %9.2f %11.1f %11.1f %12lld\n", static_cast<long long>(produced), bytes / 1e6,
                    timer.nsecsElapsed() / 1e9, cpuSeconds() - cpuStart, statusMiB("VmHWM:"), statusMiB("VmRSS:"),
                    static_cast<long long>(rig.cells()));
    }
}

// The bad streams, made a piece at a time so only the parser holds text.
class BadStream {
public:
    BadStream(const std::string &kind, qint64 total) : m_kind(kind), m_total(total)
    {
        // CR-ended readings, repeated from one 64 KiB period.
        for (int i = 0; m_kind == "cr" && m_period.size() < (64 << 10); ++i)
            m_period += QByteArray::number(5000 + i % 997) + '\r';
    }
    QByteArray next(qsizetype n)
    {
        QByteArray out(n, Qt::Uninitialized);
        char *p = out.data();
        for (qsizetype i = 0; i < n; ++i, ++m_at) {
            if (m_kind == "long") {
                // "1 :: x x x ... x" and, at the very end, CR LF.
                if (m_at < 5)
                    p[i] = "1 :: "[m_at];
                else if (m_at >= m_total - 2)
                    p[i] = m_at == m_total - 2 ? '\r' : '\n';
                else
                    p[i] = m_at % 2 ? 'x' : ' ';
            } else if (m_kind == "cr") {
                p[i] = m_period[m_at % m_period.size()];
            } else {
                m_seed ^= m_seed << 13;
                m_seed ^= m_seed >> 7;
                m_seed ^= m_seed << 17;
                p[i] = char(m_seed >> 56);
            }
        }
        return out;
    }

private:
    std::string m_kind;
    qint64 m_total;
    qint64 m_at = 0;
    QByteArray m_period;
    std::uint64_t m_seed = 0x9E3779B97F4A7C15ull;
};

void bad(const std::string &kind, qint64 megabytes, bool backlog)
{
    const qint64 total = megabytes * 1000 * 1000;
    const double startRss = statusMiB("VmRSS:");
    BadStream stream(kind, total);
    Rig rig;
    QElapsedTimer timer;
    double cpuStart = 0;
    if (backlog) {
        const QByteArray all = stream.next(total);
        timer.start();
        cpuStart = cpuSeconds();
        rig.tick(all);
        rig.tick(QByteArray()); // nothing new: what was kept waits quietly
    } else {
        timer.start();
        cpuStart = cpuSeconds();
        for (qint64 at = 0; at < total; at += kTickBytes)
            rig.tick(stream.next(std::min<qint64>(kTickBytes, total - at)));
    }
    const double wall = timer.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds() - cpuStart;
    std::printf("%-7s %4lld MB %-8s wall %7.3f s  CPU %7.3f s  VmHWM %6.1f MiB  VmRSS %6.1f MiB (at start %.1f)  "
                "cells %lld\n",
                kind.c_str(), static_cast<long long>(megabytes), backlog ? "backlog" : "1 KiB", wall, cpu,
                statusMiB("VmHWM:"), statusMiB("VmRSS:"), startRss, static_cast<long long>(rig.cells()));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 2) {
        const std::string kind = argv[1];
        if (kind == "soak") {
            soak();
            return 0;
        }
        if (kind == "long" || kind == "cr" || kind == "random") {
            bad(kind, argc >= 3 ? std::atoll(argv[2]) : 1, argc >= 4 && std::string(argv[3]) == "backlog");
            return 0;
        }
        std::fprintf(stderr, "usage: %s [soak | long|cr|random MB [backlog]]\n", argv[0]);
        return 2;
    }
    const std::string self = argv[0];
    int failures = 0;
    auto child = [&](const std::string &arguments) {
        std::fflush(stdout);
        failures += std::system((self + ' ' + arguments).c_str()) != 0;
    };
    child("soak");
    for (const char *kind : {"long", "cr", "random"})
        for (const char *mb : {"1", "10"})
            child(std::string(kind) + ' ' + mb);
    child("random 100");
    for (const char *kind : {"long", "cr", "random"})
        for (const char *mb : {"1", "10"})
            child(std::string(kind) + ' ' + mb + " backlog");
    return failures ? 1 : 0;
}
