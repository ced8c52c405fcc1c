// Figures of the lab archive, against a throw-away PostgreSQL 15 server on a
// Unix socket (run as root: the server runs as the postgres user).
//  live [seconds]   a journal written at 9600 baud as a run does (96 bytes a
//                   100 ms tick) for `seconds` (default 60), once without
//                   the archive and once with it sending every 5 s: the CPU
//                   this process used each time, and the delay from a
//                   tick's bytes reaching the journal to the server having
//                   them (median, p99).
//  catchup [hours]  a journal of `hours` at 9600 baud (default 1; 10 is
//                   about 35 MB) written while the server was away: the
//                   time from the first pass to all of it stored.
//  size [hours]     `hours` (default 1) of one instrument at 9600 baud sent
//                   as a run sends them (a piece of each stream every 5 s):
//                   rows, and the server's bytes for them (table, TOAST
//                   and index), per instrument-hour.
//  verify [lines]   a run of `lines` (default 70,000) sent, then
//                   `halvern --verify RAW` without an archive and with it,
//                   start to exit, side by side.
// Without arguments: all three in turn.
#include "../common/ProcessFigures.h"
#include "ArchiveSchema.h"
#include "ArchiveSender.h"
#include "ArchiveThread.h"
#include "PostgresServer.h"
#include "ProvenanceGatherer.h"
#include "RecordedRuns.h"
#include "RunFiles.h"
#include "RunJournal.h"
#include "RunProvenance.h"
#include "RunSummary.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {
constexpr int kTickBytes = 96; // 9600 baud, 8N1, in 100 ms
const QDateTime kStart(QDate(2026, 12, 8), QTime(8, 0));
const QString kHost = QStringLiteral("bench");

QByteArray recordLine(qint64 index)
{
    return QByteArray::number(index) + " :: " + QByteArray::number(1000 + index * 37 % 90000) + " (RAW)  "
           + QByteArray::number(20 + index % 7) + " (C)\r\n";
}

struct Server {
    PostgresServer pg;
    QTemporaryDir dir;
    bool ready()
    {
        if (!pg.problem().isEmpty()) {
            std::fprintf(stderr, "no server: %s\n", qPrintable(pg.problem()));
            return false;
        }
        QFile sql(dir.filePath("schema.sql"));
        sql.open(QIODevice::WriteOnly);
        sql.write(ArchiveSchema::sql());
        sql.close();
        pg.psql("\\i " + sql.fileName());
        pg.psql("CREATE ROLE bench LOGIN IN ROLE halvern_writer");
        return true;
    }
    QString conninfo() const { return pg.conninfo("bench"); }
};

qint64 archivedEnd(ArchiveConnection &c, const QString &name)
{
    auto rows = c.query("SELECT coalesce(max(byte_offset + length(bytes)), 0) FROM halvern.pieces "
                        "WHERE stream = 'raw' AND name = $1",
                        {name.toUtf8()});
    return rows ? rows.value().value(0).value(0).toLongLong() : -1;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

void live(int seconds)
{
    for (const bool withArchive : {false, true}) {
        Server server;
        if (!server.ready())
            return;
        QTemporaryDir runs;
        RunJournal journal;
        journal.open(runs.path(), kStart.addSecs(withArchive ? 60 : 0), 5);
        const QString name = QFileInfo(journal.rawPath()).completeBaseName();
        ArchiveStatus status;
        std::unique_ptr<ArchiveThread> archive;
        if (withArchive) {
            archive = std::make_unique<ArchiveThread>(
                ArchiveThread::Settings{server.conninfo(), runs.path(), kHost, 5000, {}}, status);
            archive->start();
        }
        // Each tick's end offset and when it was written; a watcher notes when the server has it.
        std::vector<std::pair<qint64, qint64>> written; // offset, ms
        std::vector<double> delays;
        std::atomic<bool> done{false};
        std::atomic<qint64> journalEnd{0};
        QElapsedTimer clock;
        clock.start();
        std::mutex mutex;
        std::thread watcher([&] {
            if (!withArchive)
                return;
            auto c = ArchiveConnection::openOnly(server.conninfo());
            if (!c)
                return;
            size_t next = 0;
            while (!done || next < written.size()) {
                const qint64 end = archivedEnd(*c.value(), name);
                const qint64 now = clock.elapsed();
                {
                    std::lock_guard lock(mutex);
                    while (next < written.size() && written[next].first <= end)
                        delays.push_back(double(now - written[next++].second));
                }
                if (done && clock.elapsed() > qint64(seconds) * 1000 + 20000)
                    break;
                QThread::msleep(50);
            }
        });
        const double cpu0 = cpuSeconds();
        qint64 index = 0;
        QByteArray pending;
        for (int tick = 0; tick < seconds * 10; ++tick) {
            while (pending.size() < kTickBytes)
                pending += recordLine(index++);
            journal.append(pending.left(kTickBytes), QDateTime::currentDateTime());
            pending.remove(0, kTickBytes);
            journal.syncIfDue(QDateTime::currentDateTime());
            {
                std::lock_guard lock(mutex);
                written.emplace_back(journal.bytes(), clock.elapsed());
            }
            QThread::msleep(100);
        }
        const double cpu = cpuSeconds() - cpu0;
        done = true;
        watcher.join();
        archive.reset();
        if (withArchive)
            std::printf("live %d s with the archive: CPU %.2f s (%.2f %% of a core); delay to the server median "
                        "%.0f ms, p99 %.0f ms over %zu ticks\n",
                        seconds, cpu, 100 * cpu / seconds, percentile(delays, 0.5), percentile(delays, 0.99),
                        delays.size());
        else
            std::printf("live %d s without the archive: CPU %.2f s (%.2f %% of a core)\n", seconds, cpu,
                        100 * cpu / seconds);
        std::fflush(stdout);
    }
}

QString writeJournal(const QString &folder, qint64 bytes, qint64 lines)
{
    RunJournal journal;
    journal.open(folder, kStart, 5);
    qint64 index = 0;
    QByteArray pending;
    QDateTime at = kStart;
    while ((bytes > 0 && journal.bytes() < bytes) || (lines > 0 && index < lines)) {
        while (pending.size() < kTickBytes && (lines == 0 || index < lines))
            pending += recordLine(index++);
        const QByteArray piece = pending.left(kTickBytes);
        if (piece.isEmpty())
            break;
        journal.append(piece, at);
        pending.remove(0, piece.size());
        at = at.addMSecs(100);
    }
    if (!pending.isEmpty())
        journal.append(pending, at);
    journal.close();
    return journal.rawPath();
}

void catchup(double hours)
{
    Server server;
    if (!server.ready())
        return;
    QTemporaryDir runs;
    const QString raw = writeJournal(runs.path(), qint64(hours * 3600 * 960), 0);
    auto c = ArchiveConnection::open(server.conninfo());
    if (!c)
        return;
    ArchiveStore store(c.value(), kHost);
    ArchiveStatus status;
    ArchiveSender sender(runs.path(), kHost, status);
    const double cpu0 = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    sender.pass(store);
    std::printf("catch-up of %.1f h offline (%.1f MB journal + times): %.2f s, CPU %.2f s\n", hours,
                QFileInfo(raw).size() / 1e6, clock.elapsed() / 1000.0, cpuSeconds() - cpu0);
    std::fflush(stdout);
}

void size(double hours)
{
    Server server;
    if (!server.ready())
        return;
    auto c = ArchiveConnection::open(server.conninfo());
    if (!c)
        return;
    ArchiveStore store(c.value(), kHost);
    const QString name = RunFiles::baseName(kStart, 5);
    store.addRun(name, kStart);
    qint64 index = 0;
    qint64 rawEnd = 0;
    qint64 timesEnd = 0;
    QDateTime at = kStart;
    const int pieces = int(hours * 3600 / 5);
    for (int p = 0; p < pieces; ++p) {
        QByteArray raw;
        QByteArray times;
        for (int tick = 0; tick < 50; ++tick) { // 5 s of 100 ms ticks
            QByteArray bytes;
            while (bytes.size() < kTickBytes)
                bytes += recordLine(index++);
            times += RunFiles::timesNote(rawEnd + raw.size(), at, false);
            raw += bytes.left(kTickBytes);
            at = at.addMSecs(100);
        }
        store.addPiece(name, ArchiveStore::Stream::Raw, rawEnd, raw);
        store.addPiece(name, ArchiveStore::Stream::Times, timesEnd, times);
        rawEnd += raw.size();
        timesEnd += times.size();
    }
    c.value()->query("VACUUM ANALYZE halvern.pieces");
    auto rows = c.value()->query("SELECT count(*), pg_table_size('halvern.pieces'), "
                                 "pg_indexes_size('halvern.pieces') FROM halvern.pieces");
    const auto row = rows.value().value(0);
    const double perHour = 1.0 / hours;
    std::printf("size: %.1f instrument-hours, %.2f MB journal + %.2f MB times sent; %lld rows; table with TOAST "
                "%.2f MB, indexes %.2f MB: per instrument-hour %.0f rows, %.2f MB\n",
                hours, rawEnd / 1e6, timesEnd / 1e6, row.value(0).toLongLong(), row.value(1).toLongLong() / 1e6,
                row.value(2).toLongLong() / 1e6, row.value(0).toLongLong() * perHour,
                (row.value(1).toLongLong() + row.value(2).toLongLong()) / 1e6 * perHour);
    std::fflush(stdout);
}

double timeCommand(const QStringList &args, const QProcessEnvironment &env, int *exit)
{
    QProcess p;
    p.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    p.start(QCoreApplication::applicationDirPath() + "/halvern", args);
    p.waitForFinished(600000);
    *exit = p.exitCode();
    return clock.elapsed() / 1000.0;
}

void verify(qint64 lines)
{
    Server server;
    if (!server.ready())
        return;
    QTemporaryDir home;
    const QString runs = home.filePath(".local/share/Halvern/runs");
    QDir().mkpath(runs);
    const QString raw = writeJournal(runs, 0, lines);
    RunSummary summary;
    summary.started = kStart;
    summary.stopped = kStart.addSecs(3600);
    summary.comNumber = 5;
    summary.rawPath = raw;
    summary.bytes = QFileInfo(raw).size();
    summary.lines = lines;
    summary.provenance = ProvenanceGatherer::gather(raw);
    QFile s(RunFiles::summaryPathFor(raw));
    s.open(QIODevice::WriteOnly);
    s.write(summary.text().toUtf8());
    s.close();
    {
        auto c = ArchiveConnection::open(server.conninfo());
        ArchiveStore store(c.value(), QSysInfo::machineHostName());
        ArchiveStatus status;
        ArchiveSender(runs, QSysInfo::machineHostName(), status).pass(store);
    }
    QFile service(home.filePath("pg_service.conf"));
    service.open(QIODevice::WriteOnly);
    service.write(("[halvern]\n" + server.conninfo().replace(' ', '\n') + "\n").toUtf8());
    service.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_DATA_HOME", home.filePath(".local/share"));
    env.insert("XDG_CONFIG_HOME", home.filePath(".config"));
    env.insert("XDG_STATE_HOME", home.filePath(".local/state"));
    env.insert("PGSERVICEFILE", home.filePath("none.conf"));
    int exitWithout = -1;
    int exitWith = -1;
    const double without = timeCommand({"--verify", raw}, env, &exitWithout);
    env.insert("PGSERVICEFILE", service.fileName());
    const double with = timeCommand({"--verify", raw}, env, &exitWith);
    std::printf("--verify of a %lld-line run (%.1f MB): without an archive %.2f s (exit %d), against the archive "
                "%.2f s (exit %d)\n",
                static_cast<long long>(lines), QFileInfo(raw).size() / 1e6, without, exitWithout, with, exitWith);
    std::fflush(stdout);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString what = args.value(0);
    if (what.isEmpty() || what == "live")
        live(args.value(1, "60").toInt());
    if (what.isEmpty() || what == "catchup")
        catchup(args.value(1, "1").toDouble());
    if (what.isEmpty() || what == "size")
        size(args.value(1, "1").toDouble());
    if (what.isEmpty() || what == "verify")
        verify(args.value(1, "70000").toLongLong());
    return 0;
}
