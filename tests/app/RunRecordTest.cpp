// A run's record checked by the real program (`--verify`, `--verify-runs`):
// a run killed with SIGKILL and recovered at the next start is hashed to its
// last checkpoint and verifies; a macro name with a line break stays one
// value; a line stripped from the record, a record removed, or a line
// injected into it by hand is told with exit 1; a run kept before the record
// is "not recorded" (exit 2); and without an outside witness the check says
// the record is only as safe as this login.
#include "FileContents.h"
#include "ProgramRun.h"
#include "QStringPrinter.h"
#include "RecordedRuns.h"
#include "RunFiles.h"
#include "RunCheck.h"
#include "RunManifest.h"
#include "RunRecord.h"
#include "UnfinishedRuns.h"

#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
const QDateTime kStart(QDate(2026, 12, 7), QTime(9, 0, 0));
const QString kOnlyThisLogin = "this record is only as safe as this login";

struct Home {
    QTemporaryDir dir;
    QString runs = dir.filePath("data/Halvern/runs");
    ProgramRun halvern(const QStringList &args) const { return ProgramRun::halvern(args, dir.path()); }
};

// A run in `folder` whose program is killed after its first sync: the child
// keeps 8 bytes, syncs (a checkpoint), keeps 8 more, says so, and waits to
// be killed. Returns the raw file's path.
QString killedRun(const QString &folder)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return QString();
    const pid_t child = ::fork();
    if (child == 0) {
        RunRecord record;
        record.setFolder(folder);
        record.setClock([] { return kStart; });
        record.open(4);
        record.keep("1 :: 3\r\n", kStart);
        record.journal().syncIfDue(kStart, 0);
        record.keep("2 :: 6\r\n", kStart);
        const QByteArray raw = record.journal().rawPath().toLocal8Bit() + '\n';
        (void)!::write(ready[1], raw.constData(), raw.size());
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    pollfd wait{ready[0], POLLIN, 0};
    QByteArray raw;
    if (::poll(&wait, 1, 20000) == 1) {
        char buffer[4096];
        const ssize_t n = ::read(ready[0], buffer, sizeof buffer);
        raw = QByteArray(buffer, n > 0 ? static_cast<int>(n) : 0).trimmed();
    }
    ::close(ready[0]);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return QString::fromLocal8Bit(raw);
}
} // namespace

TEST(RunRecord, ARunKilledMidRunAndRecoveredVerifiesToItsLastCheckpoint)
{
    Home home;
    const QString raw = killedRun(home.runs);
    ASSERT_FALSE(raw.isEmpty());
    ASSERT_EQ(readFile(raw).size(), 16);
    // Not recovered yet: told, not "matches".
    EXPECT_EQ(home.halvern({"--verify", raw}).exitCode, 2);

    // The next start offers it; declined, its record is ended.
    const QList<RunCatalog::Run> offered = UnfinishedRuns::find(home.runs);
    ASSERT_EQ(offered.size(), 1);
    ASSERT_TRUE(UnfinishedRuns::markNotSaved(offered[0]));
    EXPECT_TRUE(
        readFile(RunFiles::summaryPathFor(raw)).contains("Hashed up to byte 8 at the last sync before the crash: "));

    const ProgramRun verified = home.halvern({"--verify", raw});
    EXPECT_EQ(verified.exitCode, 0) << verified.out.toStdString();
    EXPECT_TRUE(verified.out.contains("hashed up to byte 8 at the last sync before the crash"))
        << verified.out.toStdString();
    EXPECT_TRUE(verified.out.trimmed().endsWith(kOnlyThisLogin)) << verified.out.toStdString();

    // A byte changed before the checkpoint after the recovery is told.
    writeFile(raw, "1 :: 4\r\n2 :: 6\r\n");
    EXPECT_EQ(home.halvern({"--verify", raw}).exitCode, 1);
}

TEST(RunRecord, AMacroNameWithALineBreakStaysOneValue)
{
    Home home;
    // A workbook another run saved: the injection names it with its hash.
    const QString foreign = home.dir.filePath("other/run.xls");
    writeFile(foreign, "another run's workbook");
    const QString other = recordRun(home.dir.filePath("other"), kStart, "9 :: 9\r\n", foreign);
    ASSERT_FALSE(other.isEmpty());
    const QString injected = "Saved file: " + RunCheck::recorded(other).saved.value(0).sha256 + "  " + foreign;

    QDateTime now = kStart;
    RunRecord record;
    record.setFolder(home.runs);
    record.setClock([&now] { return now; });
    record.open(5);
    record.keep("1 :: 3\r\n", now);
    now = kStart.addSecs(1);
    RunSummary summary = record.summary();
    summary.macro = "User macro: Macro1\n" + injected + "\n";
    record.close(summary);
    const QString raw = summary.rawPath;

    EXPECT_TRUE(RunCheck::recorded(raw).saved.isEmpty());
    for (const QByteArray &line : readFile(RunFiles::summaryPathFor(raw)).split('\n'))
        EXPECT_FALSE(line.startsWith("Saved file: ")) << line.toStdString();
    const ProgramRun clean = home.halvern({"--verify", raw});
    EXPECT_EQ(clean.exitCode, 0) << clean.out.toStdString();
    EXPECT_FALSE(clean.out.contains(foreign)) << clean.out.toStdString();

    // The line break written into the record by hand, as an injection needs it.
    const QString manifest = RunManifest::pathFor(raw);
    writeFile(manifest, readFile(manifest).replace("\\u{a}Saved file: ", "\nSaved file: "));
    const ProgramRun edited = home.halvern({"--verify", raw});
    EXPECT_EQ(edited.exitCode, 1) << edited.out.toStdString();
    EXPECT_EQ(home.halvern({"--verify-runs"}).exitCode, 1);
}

TEST(RunRecord, AStrippedLineARemovedRecordAndAnOlderRunAreTold)
{
    const struct {
        const char *what;
        void (*change)(const QString &raw);
        int verifyExit;
        const char *said;
    } cases[] = {
        {"the journal's hash stripped from the newest run's record",
         [](const QString &raw) {
             const QString manifest = RunManifest::pathFor(raw);
             QByteArray bytes = readFile(manifest);
             const qsizetype at = bytes.indexOf("raw.sha256=");
             writeFile(manifest, bytes.remove(at, bytes.indexOf('\n', at) + 1 - at));
         },
         1, "The run's record was changed after it was written"},
        {"the newest run's summary and manifest deleted",
         [](const QString &raw) {
             QFile::remove(RunFiles::summaryPathFor(raw));
             QFile::remove(RunManifest::pathFor(raw));
         },
         1, "was removed"},
        {"nothing", [](const QString &) {}, 0, "The journal matches its 1 checkpoints"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Home home;
        const QString older = recordOlderRun(home.runs, kStart, "1 :: 3\r\n");
        recordRun(home.runs, kStart.addSecs(60), "2 :: 6\r\n");
        const QString newest = recordRun(home.runs, kStart.addSecs(120), "3 :: 9\r\n");
        c.change(newest);
        const ProgramRun one = home.halvern({"--verify", newest});
        EXPECT_EQ(one.exitCode, c.verifyExit) << one.out.toStdString();
        EXPECT_TRUE(one.out.contains(c.said)) << one.out.toStdString();
        const ProgramRun all = home.halvern({"--verify-runs"});
        EXPECT_EQ(all.exitCode, c.verifyExit) << all.out.toStdString();
        if (c.verifyExit != 0) {
            EXPECT_TRUE(all.out.contains(QFileInfo(newest).fileName())) << all.out.toStdString();
        }
        EXPECT_TRUE(all.out.trimmed().endsWith(kOnlyThisLogin)) << all.out.toStdString();
        // Kept before the record: not recorded, never "matches".
        const ProgramRun old = home.halvern({"--verify", older});
        EXPECT_EQ(old.exitCode, 2) << old.out.toStdString();
        EXPECT_TRUE(old.out.contains("Not recorded")) << old.out.toStdString();
    }
}
