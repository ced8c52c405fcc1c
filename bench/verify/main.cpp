// Figures of the run record's checks.
//  hash [hours]     a journal of `hours` at 9600 baud (default 10: about
//                   35 MB) and its times: the CPU time of hashing it as the
//                   journal does, a tick at a time; the provenance Stop
//                   gathers with those hashes (user, computer, the link to
//                   the run before); the same reading both files, as for a
//                   run cut short.
//  workbook [lines] a run of `lines` record lines (default 70,000) made into
//                   an .xlsx in a headless office with its summary as Stop
//                   writes it; `halvern --verify` of it unchanged (hashes
//                   only), then with one data cell changed in the office
//                   (replay and compare), start to exit.
//  runs [count]     `count` kept runs (default 1,000) of a few lines each;
//                   `halvern --verify-runs`, start to exit.
//  checkpoint [hours] a journal of `hours` at 9600 baud (default 10) written
//                   a tick at a time and synced each second as a run does:
//                   the journal with a checkpoint at each sync, and beside it
//                   in the same run the same writes with the bare syncs of
//                   the journal before checkpoints; per sync (wall and CPU),
//                   the checkpoints' bytes, and checking them all afterwards.
// Without arguments: all four in turn.
#include "../common/PrivateHome.h"
#include "../common/ProcessFigures.h"
#include "CalcSpreadsheetFactory.h"
#include "FileDigest.h"
#include "JournalCheckpoints.h"
#include "JournalReader.h"
#include "ManifestEnd.h"
#include "ManifestRun.h"
#include "ManifestSave.h"
#include "ProvenanceGatherer.h"
#include "RecordedRuns.h"
#include "RunDocumentProperties.h"
#include "RunFiles.h"
#include "RunJournal.h"
#include "RunProvenance.h"
#include "RunRecordKeeper.h"
#include "RunReplay.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr int kTickBytes = 96; // 9600 baud, 8N1, in 100 ms
const QDateTime kStart(QDate(2026, 12, 7), QTime(8, 0));

QByteArray recordLine(qint64 index)
{
    return QByteArray::number(index) + " :: " + QByteArray::number(1000 + index * 37 % 90000) + " (RAW)  "
           + QByteArray::number(20 + index % 7) + " (C)\r\n";
}

// A journal of `lines` record lines, or `bytes` worth (0: no limit), in ticks.
QString makeJournal(const QString &folder, qint64 lines, qint64 bytes)
{
    RunJournal journal;
    if (journal.open(folder, kStart, 5))
        return QString();
    QDateTime clock = kStart;
    QByteArray pending;
    qint64 made = 0;
    auto more = [&] {
        return (lines == 0 || made < lines) && (bytes == 0 || journal.bytes() + pending.size() < bytes);
    };
    while (more() || !pending.isEmpty()) {
        while (pending.size() < kTickBytes && more())
            pending += recordLine(made++);
        clock = clock.addMSecs(100);
        journal.append(pending.left(kTickBytes), clock);
        pending.remove(0, std::min<qsizetype>(kTickBytes, pending.size()));
    }
    journal.close();
    return journal.rawPath();
}

double run(const QStringList &args, int *status)
{
    QProcess halvern;
    QElapsedTimer t;
    t.start();
    halvern.start(QCoreApplication::applicationDirPath() + "/halvern", args);
    if (!halvern.waitForFinished(1800000) || halvern.exitStatus() != QProcess::NormalExit) {
        *status = -1;
        return -1;
    }
    *status = halvern.exitCode();
    const QByteArray out = halvern.readAllStandardOutput();
    const QList<QByteArray> lines = out.trimmed().split('\n');
    std::printf("    last line: %s\n", lines.constLast().constData());
    return t.nsecsElapsed() / 1e9;
}

int hashCase(double hours)
{
    QTemporaryDir work;
    const QString raw = makeJournal(work.path(), 0, qint64(hours * 3600 * 10 * kTickBytes));
    const qint64 size = QFileInfo(raw).size();
    const qint64 times = QFileInfo(RunFiles::timesPathFor(raw)).size();
    std::printf("hash: a journal of %.1f hours, %.1f MB raw and %.1f MB times\n", hours, size / 1e6, times / 1e6);
    const QByteArray bytes = [&raw] {
        QFile f(raw);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    for (int round = 0; round < 3; ++round) {
        // As the journal hashes while it writes: one tick's bytes at a time.
        QElapsedTimer t;
        double cpu = cpuSeconds();
        t.start();
        QCryptographicHash live(QCryptographicHash::Sha256);
        for (qsizetype at = 0; at < bytes.size(); at += kTickBytes)
            live.addData(QByteArrayView(bytes).sliced(at, std::min<qsizetype>(kTickBytes, bytes.size() - at)));
        const QString liveDigest = QString::fromLatin1(live.result().toHex());
        const double liveCpu = cpuSeconds() - cpu;
        // What Stop does now: the provenance with the journal's own hashes.
        cpu = cpuSeconds();
        t.restart();
        const RunProvenance atStop = ProvenanceGatherer::gather(raw, liveDigest, QString(64, 'x'));
        const double stopWall = t.nsecsElapsed() / 1e9;
        const double stopCpu = cpuSeconds() - cpu;
        // A run cut short, or a rebuild: both files read and hashed.
        cpu = cpuSeconds();
        t.restart();
        const RunProvenance read = ProvenanceGatherer::gather(raw);
        const double readWall = t.nsecsElapsed() / 1e9;
        const double readCpu = cpuSeconds() - cpu;
        std::printf("  round %d: hashed as written, over the whole run %.3f s CPU (%.1f us a tick); at Stop %.4f s "
                    "wall, %.4f s CPU; from the files (a run cut short) %.3f s wall, %.3f s CPU\n",
                    round + 1, liveCpu, liveCpu / (double(bytes.size()) / kTickBytes) * 1e6, stopWall, stopCpu,
                    readWall, readCpu);
        if (!atStop.recorded() || read.rawSha256 != liveDigest)
            return 1;
    }
    return 0;
}

int workbookCase(qint64 lines)
{
    QTemporaryDir work;
    const QString folder = qEnvironmentVariable("XDG_DATA_HOME") + "/Halvern/runs";
    const QString raw = makeJournal(folder, lines, 0);
    const QString saved = work.path() + "/run.xlsx";
    std::printf("workbook: a run of %lld record lines, %.1f MB\n", static_cast<long long>(lines),
                QFileInfo(raw).size() / 1e6);
    CalcSpreadsheetFactory factory;
    try {
        const std::shared_ptr<SpreadsheetApp> app = factory.createHeadless();
        const QString copy = work.path() + "/spreadsheet.xls";
        QFile::copy(QCoreApplication::applicationDirPath() + "/spreadsheet.xls", copy);
        QFile::setPermissions(copy, QFile::permissions(copy) | QFile::WriteOwner);
        const std::shared_ptr<Workbook> book = app->open(copy);
        JournalReader reader;
        if (const std::optional<Failure> unread = reader.open(raw)) {
            std::fprintf(stderr, "cannot read the journal: %s\n", qPrintable(unread->reason));
            return 1;
        }
        if (const std::optional<Failure> failure = RunReplay(*app).replay(reader)) {
            std::fprintf(stderr, "replay failed: %s\n", qPrintable(failure->reason));
            return 1;
        }
        book->setCustomProperties(RunDocumentProperties::of(raw, FileDigest::sha256(raw).value()));
        book->saveAs(saved);
        app->quit();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "office failed: %s\n", e.what());
        return 1;
    }
    // The record as Stop leaves it.
    ManifestEnd end;
    end.stopped = kStart.addSecs(3600);
    end.rawSha256 = FileDigest::sha256(raw).value();
    end.timesSha256 = FileDigest::sha256(RunFiles::timesPathFor(raw)).value();
    RunRecordKeeper::end(raw, ManifestRun::gather(raw, kStart, 5), end, {ManifestSave::of(saved, "saved")});

    int status = 0;
    double s = run({"--verify", saved}, &status);
    std::printf("  halvern --verify, unchanged: %.2f s, exit status %d\n", s, status);
    try {
        const std::shared_ptr<SpreadsheetApp> app = factory.createHeadless();
        const std::shared_ptr<Workbook> book = app->open(saved);
        app->setCell(2, 3, 4242.0);
        book->saveAs(saved);
        app->quit();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "office failed: %s\n", e.what());
        return 1;
    }
    s = run({"--verify", saved}, &status);
    std::printf("  halvern --verify, one cell changed: %.2f s, exit status %d\n", s, status);
    return 0;
}

int runsCase(int count)
{
    const QString folder = qEnvironmentVariable("XDG_DATA_HOME") + "/Halvern/runs";
    QByteArray bytes;
    for (int n = 0; n < 20; ++n)
        bytes += recordLine(n);
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i)
        recordRun(folder, kStart.addSecs(60 * i), bytes);
    std::printf("runs: %d kept runs of %lld bytes each, made in %.2f s\n", count, static_cast<long long>(bytes.size()),
                t.nsecsElapsed() / 1e9);
    int status = 0;
    const double s = run({"--verify-runs"}, &status);
    std::printf("  halvern --verify-runs: %.2f s, exit status %d\n", s, status);
    return 0;
}
// The syncs of a journal of `hours`, one a second, timed alone: with the
// journal's checkpoints, or bare (two fdatasync calls on files written alike).
struct SyncFigures {
    double wall = 0;
    double cpu = 0;
    int syncs = 0;
    qint64 timesBytes = 0;
};

SyncFigures syncWithCheckpoints(const QString &folder, qint64 ticks, QString *raw)
{
    SyncFigures f;
    RunJournal journal;
    if (journal.open(folder, kStart, 5))
        return f;
    QDateTime clock = kStart;
    QElapsedTimer t;
    for (qint64 tick = 0; tick < ticks; ++tick) {
        clock = clock.addMSecs(100);
        journal.append(recordLine(tick).leftJustified(kTickBytes, ' ', true), clock);
        if (tick % 10 != 9)
            continue;
        const double cpu = cpuSeconds();
        t.start();
        journal.syncIfDue(clock);
        f.wall += t.nsecsElapsed() / 1e9;
        f.cpu += cpuSeconds() - cpu;
        ++f.syncs;
    }
    journal.close();
    *raw = journal.rawPath();
    f.timesBytes = QFileInfo(RunFiles::timesPathFor(*raw)).size();
    return f;
}

SyncFigures bareSyncs(const QString &folder, qint64 ticks)
{
    SyncFigures f;
    const int raw = ::open(QFile::encodeName(folder + "/bare.raw").constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    const int times =
        ::open(QFile::encodeName(folder + "/bare.times").constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    QDateTime clock = kStart;
    qint64 offset = 0;
    QElapsedTimer t;
    for (qint64 tick = 0; tick < ticks; ++tick) {
        clock = clock.addMSecs(100);
        const QByteArray bytes = recordLine(tick).leftJustified(kTickBytes, ' ', true);
        const QByteArray note = RunFiles::timesNote(offset, clock, false);
        offset += bytes.size();
        if (::write(raw, bytes.constData(), bytes.size()) != bytes.size()
            || ::write(times, note.constData(), note.size()) != note.size())
            break;
        if (tick % 10 != 9)
            continue;
        const double cpu = cpuSeconds();
        t.start();
        ::fdatasync(raw);
        ::fdatasync(times);
        f.wall += t.nsecsElapsed() / 1e9;
        f.cpu += cpuSeconds() - cpu;
        ++f.syncs;
    }
    ::close(raw);
    ::close(times);
    f.timesBytes = QFileInfo(folder + "/bare.times").size();
    return f;
}

int checkpointCase(double hours)
{
    const qint64 ticks = qint64(hours * 3600 * 10);
    std::printf("checkpoint: a journal of %.1f hours at 9600 baud, %lld ticks, a sync each second\n", hours,
                static_cast<long long>(ticks));
    for (int round = 0; round < 3; ++round) {
        QTemporaryDir work;
        QString raw;
        // In turn, in one run, so both see the same disk and the same neighbours.
        const SyncFigures bare = bareSyncs(work.path(), ticks);
        const SyncFigures checked = syncWithCheckpoints(work.path() + "/runs", ticks, &raw);
        QElapsedTimer t;
        t.start();
        const JournalCheckpoints::Outcome outcome = JournalCheckpoints::check(raw);
        const double checkWall = t.nsecsElapsed() / 1e9;
        std::printf("  round %d: bare sync %.1f us wall, %.1f us CPU; with the checkpoint %.1f us wall, %.1f us CPU "
                    "(%d syncs); .times %.1f MB bare, %.1f MB with checkpoints; --verify of all %d checkpoints "
                    "%.2f s\n",
                    round + 1, bare.wall / bare.syncs * 1e6, bare.cpu / bare.syncs * 1e6,
                    checked.wall / checked.syncs * 1e6, checked.cpu / checked.syncs * 1e6, checked.syncs,
                    bare.timesBytes / 1e6, checked.timesBytes / 1e6, outcome.count, checkWall);
        if (!outcome.fault.isEmpty() || outcome.matched != outcome.count)
            return 1;
    }
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    usePrivateHome(home.path());
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    const QString which = args.value(0);
    if (which == "hash")
        return hashCase(args.value(1, "10").toDouble());
    if (which == "workbook")
        return workbookCase(args.value(1, "70000").toLongLong());
    if (which == "runs")
        return runsCase(args.value(1, "1000").toInt());
    if (which == "checkpoint")
        return checkpointCase(args.value(1, "10").toDouble());
    if (!which.isEmpty()) {
        std::fprintf(stderr, "bench_verify [hash [hours] | workbook [lines] | runs [count] | checkpoint [hours]]\n");
        return 2;
    }
    return hashCase(10) | workbookCase(70000) | runsCase(1000) | checkpointCase(10);
}
