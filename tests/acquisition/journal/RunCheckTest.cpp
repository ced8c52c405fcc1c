// The record a run's manifest holds and the checks against it, on runs kept
// through the run's own record: a changed byte, a file gone or cut short, a
// manifest removed, edited or stripped of a line, a run removed from the chain
// or a manifest changed after its successor linked it; a run kept before
// manifests is "not recorded", never "matches".
#include "FileContents.h"
#include "JournalReader.h"
#include "LogFile.h"
#include "ProvenanceGatherer.h"
#include "RecordedRuns.h"
#include "RunCatalog.h"
#include "RunCheck.h"
#include "RunFiles.h"
#include "ManifestSave.h"
#include "RunJournal.h"
#include "RunManifest.h"
#include "RunRecordKeeper.h"
#include "RunSummary.h"
#include "SummaryChain.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
const QDateTime kFirst(QDate(2026, 12, 7), QTime(14, 30, 0));

// Three runs a minute apart, the middle one with a saved workbook.
struct ThreeRuns {
    ThreeRuns()
    {
        workbook = folder.filePath("run.xls");
        writeFile(workbook, "workbook bytes");
        for (int i = 0; i < 3; ++i)
            raws << recordRun(folder.path(), kFirst.addSecs(60 * i), "1 :: 3\r\n2 :: 6\r\n",
                              i == 1 ? workbook : QString());
    }

    QTemporaryDir folder;
    QString workbook;
    QStringList raws;
};

std::string joined(const RunCheck::Result &r) { return r.lines.join('\n').toStdString(); }

class RunCheckTest : public ::testing::Test, public ThreeRuns {
protected:
    void SetUp() override { ASSERT_FALSE(raws.contains(QString())); }
};
} // namespace

TEST_F(RunCheckTest, TheSummaryRecordsWhoWhereAndTheChainAndReadsItBack)
{
    const RunProvenance first = RunCheck::recorded(raws[0]);
    const RunProvenance second = RunCheck::recorded(raws[1]);
    ASSERT_TRUE(second.recorded());
    EXPECT_EQ(second.rawSha256.size(), 64);
    EXPECT_EQ(second.timesSha256.size(), 64);
    EXPECT_FALSE(second.login.isEmpty());
    EXPECT_FALSE(second.host.isEmpty());
    EXPECT_FALSE(second.halvernVersion.isEmpty());
    ASSERT_EQ(second.saved.size(), 1);
    EXPECT_EQ(second.saved[0].path, workbook);
    EXPECT_TRUE(first.previousRun.isEmpty());
    EXPECT_EQ(second.previousRun, QFileInfo(raws[0]).fileName());
    // The link covers the whole manifest of the run before as it was then.
    EXPECT_EQ(
        second.previousSummary,
        QString::fromLatin1(
            QCryptographicHash::hash(readFile(RunManifest::pathFor(raws[0])), QCryptographicHash::Sha256).toHex()));
    // The summary is rendered from the manifest, its old lines kept.
    EXPECT_EQ(RunProvenance::parse(QString::fromUtf8(readFile(RunFiles::summaryPathFor(raws[1])))).text(),
              second.text());

    // The listing still reads the summary's own lines.
    const QList<RunCatalog::Run> listed = RunCatalog::scan(folder.path());
    ASSERT_EQ(listed.size(), 3);
    EXPECT_EQ(listed[1].savedAs, workbook);
    EXPECT_EQ(listed[1].lines, 2);
}

TEST_F(RunCheckTest, UntouchedRunsMatch)
{
    for (const QString &raw : raws)
        EXPECT_EQ(RunCheck::run(raw).verdict, RunCheck::Verdict::Matches) << joined(RunCheck::run(raw));
    const RunCheck::Result all = RunCheck::folder(folder.path());
    EXPECT_EQ(all.verdict, RunCheck::Verdict::Matches) << joined(all);
}

TEST(RunCheck, EachChangeIsNamed)
{
    struct Case {
        const char *what;
        std::function<void(ThreeRuns &, const QString &raw)> change;
        const char *said;
        bool newestToo; // the newest run, which no successor links, is caught as well
    };
    const Case cases[] = {
        {"one byte of the raw file",
         [](ThreeRuns &, const QString &raw) {
             QByteArray bytes = readFile(raw);
             bytes[0] = '7';
             writeFile(raw, bytes);
         },
         "The journal's bytes do NOT match their recorded SHA-256", true},
        {"the times file", [](ThreeRuns &, const QString &raw) { QFile::remove(RunFiles::timesPathFor(raw)); },
         "The journal's times are missing", true},
        {"the raw file cut short", [](ThreeRuns &, const QString &raw) { QFile::resize(raw, 4); },
         "The journal was cut short: ", true},
        {"the saved workbook", [](ThreeRuns &t, const QString &) { writeFile(t.workbook, "edited"); },
         "The workbook was changed after Halvern saved it: ", false},
        // E1: the workbook edited and its new hash put into the record.
        {"the saved workbook and its hash in the manifest",
         [](ThreeRuns &t, const QString &raw) {
             const QString manifest = RunManifest::pathFor(raw);
             const QByteArray old = QCryptographicHash::hash(readFile(t.workbook), QCryptographicHash::Sha256).toHex();
             writeFile(t.workbook, "edited");
             const QByteArray now = QCryptographicHash::hash("edited", QCryptographicHash::Sha256).toHex();
             writeFile(manifest, readFile(manifest).replace(old, now));
         },
         "was changed after", false},
        // E2.
        {"the manifest and the summary deleted",
         [](ThreeRuns &, const QString &raw) {
             QFile::remove(RunManifest::pathFor(raw));
             QFile::remove(RunFiles::summaryPathFor(raw));
         },
         "was removed: its journal was written with checkpoints", true},
        {"the hash line stripped from the run's end",
         [](ThreeRuns &, const QString &raw) {
             const QString manifest = RunManifest::pathFor(raw);
             QByteArray bytes = readFile(manifest);
             const qsizetype at = bytes.indexOf("raw.sha256=");
             writeFile(manifest, bytes.remove(at, bytes.indexOf('\n', at) + 1 - at));
         },
         "The run's record was changed after it was written", true},
    };
    for (const Case &c : cases) {
        for (const int which : {1, 2}) {
            if (which == 2 && !c.newestToo)
                continue;
            SCOPED_TRACE(std::string(c.what) + (which == 2 ? " (newest run)" : " (middle run)"));
            ThreeRuns runs;
            const QString raw = runs.raws[which];
            c.change(runs, raw);
            const RunCheck::Result result = RunCheck::run(raw);
            EXPECT_EQ(result.verdict, RunCheck::Verdict::Changed) << joined(result);
            EXPECT_TRUE(result.lines.join('\n').contains(c.said)) << joined(result);
            const RunCheck::Result all = RunCheck::folder(runs.folder.path());
            EXPECT_EQ(all.verdict, RunCheck::Verdict::Changed) << joined(all);
            EXPECT_TRUE(all.lines.join('\n').contains(QFileInfo(raw).fileName())) << joined(all);
        }
    }
}

TEST(RunChain, AGapInTheChainIsNamed)
{
    struct Case {
        const char *what;
        std::function<void(ThreeRuns &)> change;
        const char *gap; // %1 the last run, %2 the middle one
    };
    const Case cases[] = {
        {"the middle run deleted",
         [](ThreeRuns &t) {
             RunCatalog::Run run;
             run.rawPath = t.raws[1];
             run.state = RunCatalog::State::Saved;
             EXPECT_EQ(RunCatalog::remove(run), std::nullopt);
         },
         "Gap in the chain before %1: the run before it, %2, is missing"},
        {"the middle run's manifest edited and its own chain made again",
         [](ThreeRuns &t) {
             const QString manifest = RunManifest::pathFor(t.raws[1]);
             QByteArray bytes = readFile(manifest);
             const qsizetype save = bytes.indexOf("@entry save ");
             QByteArray head = bytes.left(save).replace("lines=2", "lines=3");
             QByteArray rest = bytes.mid(save);
             rest.replace(12, 64, QCryptographicHash::hash(head, QCryptographicHash::Sha256).toHex());
             writeFile(manifest, head + rest);
         },
         "Gap in the chain before %1: the manifest of %2 was changed after %1 started"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ThreeRuns runs;
        c.change(runs);
        const QString gap =
            QString::fromLatin1(c.gap).arg(QFileInfo(runs.raws[2]).fileName(), QFileInfo(runs.raws[1]).fileName());
        EXPECT_EQ(RunCheck::chainGaps(runs.folder.path()), QStringList{gap});
        const RunCheck::Result all = RunCheck::folder(runs.folder.path());
        EXPECT_EQ(all.verdict, RunCheck::Verdict::Changed);
        EXPECT_TRUE(all.lines.contains(gap)) << joined(all);
    }
}

TEST_F(RunCheckTest, ASummaryBeforeThatCannotBeReadIsLoggedAndKeepsNoHash)
{
    const QString log = folder.filePath("halvern.log");
    ASSERT_EQ(LogFile::install(log), std::nullopt);
    const QString summary = RunFiles::summaryPathFor(raws[1]);
    ASSERT_TRUE(QFile::remove(summary));
    ASSERT_TRUE(QDir().mkdir(summary)); // there, but no text can be read from it
    const RunProvenance third = ProvenanceGatherer::gather(raws[2]);
    LogFile::uninstall();
    EXPECT_EQ(third.previousRun, QFileInfo(raws[1]).fileName());
    EXPECT_EQ(third.previousSummary, "");
    EXPECT_TRUE(readFile(log).contains("The summary of the run before cannot be read")) << readFile(log).toStdString();
}

TEST_F(RunCheckTest, AMadeWorkbookKeepsTheChainAndAnOlderRunIsNotRecorded)
{
    // Making the workbook again adds entries after those the next run linked.
    const QString made = folder.filePath("new.xls");
    writeFile(made, "made again");
    ASSERT_FALSE(RunRecordKeeper::rebuilt(raws[1], "Workbook rebuilt from the journal: now\n", QString(),
                                          {ManifestSave::of(made, "rebuilt")}));
    EXPECT_TRUE(RunCheck::chainGaps(folder.path()).isEmpty());
    ASSERT_EQ(RunCheck::recorded(raws[1]).saved.size(), 1);
    EXPECT_EQ(RunCheck::recorded(raws[1]).saved[0].path, made);
    EXPECT_EQ(RunCheck::run(raws[1]).verdict, RunCheck::Verdict::Matches) << joined(RunCheck::run(raws[1]));

    // Kept before manifests: readable, "not recorded" (never "matches"), no
    // gap after it; a changed byte is still told.
    QTemporaryDir older;
    const QString old = recordOlderRun(older.path(), kFirst, "1 :: 3\r\n");
    const QString after = recordRun(older.path(), kFirst.addSecs(60), "2 :: 6\r\n");
    EXPECT_EQ(RunCheck::run(old).verdict, RunCheck::Verdict::NotRecorded) << joined(RunCheck::run(old));
    EXPECT_EQ(RunCheck::exitStatus(RunCheck::run(old).verdict), 2);
    EXPECT_EQ(RunCheck::run(after).verdict, RunCheck::Verdict::Matches) << joined(RunCheck::run(after));
    EXPECT_TRUE(RunCheck::chainGaps(older.path()).isEmpty());
    EXPECT_EQ(RunCatalog::scan(older.path()).last().state, RunCatalog::State::NotSaved);
    writeFile(old, "2 :: 3\r\n");
    EXPECT_EQ(RunCheck::run(old).verdict, RunCheck::Verdict::Changed);
}
