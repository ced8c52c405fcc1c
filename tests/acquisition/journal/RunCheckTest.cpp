// The provenance a run's summary holds and the checks against it, on runs
// kept with the program's own journal and summary: a changed byte, a missing
// file, a run removed from the chain or a summary changed after its
// successor linked it; an older summary is "not recorded", never "changed".
#include "FileContents.h"
#include "JournalReader.h"
#include "LogFile.h"
#include "ProvenanceGatherer.h"
#include "RecordedRuns.h"
#include "RunCatalog.h"
#include "RunCheck.h"
#include "RunFiles.h"
#include "RunJournal.h"
#include "RunSummary.h"
#include "SummaryChain.h"

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
    EXPECT_EQ(second.previousSummary,
              SummaryChain::chainDigest(QString::fromUtf8(readFile(RunFiles::summaryPathFor(raws[0])))));
    EXPECT_EQ(RunProvenance::parse(second.text()).text(), second.text());

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

TEST_F(RunCheckTest, EachChangeIsNamed)
{
    struct Case {
        const char *what;
        std::function<void(ThreeRuns &)> change;
        RunCheck::Verdict verdict;
        const char *said;
    };
    const Case cases[] = {
        {"one byte of the raw file",
         [](ThreeRuns &t) {
             QByteArray bytes = readFile(t.raws[1]);
             bytes[0] = '7';
             writeFile(t.raws[1], bytes);
         },
         RunCheck::Verdict::Changed, "The journal's bytes do NOT match their recorded SHA-256"},
        {"the times file", [](ThreeRuns &t) { QFile::remove(RunFiles::timesPathFor(t.raws[1])); },
         RunCheck::Verdict::Missing, "The journal's times are missing"},
        {"the saved workbook", [](ThreeRuns &t) { writeFile(t.workbook, "edited"); }, RunCheck::Verdict::Changed,
         "The workbook was changed after Halvern saved it: "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ThreeRuns fresh;
        c.change(fresh);
        const RunCheck::Result result = RunCheck::run(fresh.raws[1]);
        EXPECT_EQ(result.verdict, c.verdict) << joined(result);
        EXPECT_TRUE(result.lines.join('\n').contains(c.said)) << joined(result);
        EXPECT_EQ(RunCheck::folder(fresh.folder.path()).verdict, c.verdict);
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
        {"the middle run's summary edited",
         [](ThreeRuns &t) {
             const QString summary = RunFiles::summaryPathFor(t.raws[1]);
             writeFile(summary, readFile(summary).replace("Lines received: 2", "Lines received: 3"));
         },
         "Gap in the chain before %1: the summary of %2 was changed after %1 ended"},
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

TEST_F(RunCheckTest, AMadeWorkbookKeepsTheChainAndAnOlderSummaryIsNotRecorded)
{
    // Making the workbook again rewrites the workbook lines only.
    const QString summary = RunFiles::summaryPathFor(raws[1]);
    std::optional<RunSummary> made = RunSummary::parse(QString::fromUtf8(readFile(summary)));
    ASSERT_TRUE(made);
    made->savedAs = "/elsewhere/new.xls";
    made->provenance.saved = {{"/elsewhere/new.xls", QString(64, 'a')}};
    writeFile(summary, made->text().toUtf8());
    EXPECT_TRUE(RunCheck::chainGaps(folder.path()).isEmpty());
    EXPECT_EQ(RunCheck::recorded(raws[1]).saved.size(), 1);

    // A summary an older Halvern wrote: readable, "not recorded", no gap after it.
    QString old = QString::fromUtf8(readFile(RunFiles::summaryPathFor(raws[0])));
    old = old.left(old.indexOf("Raw bytes SHA-256: "));
    writeFile(RunFiles::summaryPathFor(raws[0]), old.toUtf8());
    EXPECT_EQ(RunCheck::run(raws[0]).verdict, RunCheck::Verdict::NotRecorded);
    EXPECT_EQ(RunCheck::verdictText(RunCheck::run(raws[0]).verdict), "not recorded");
    EXPECT_EQ(RunCatalog::scan(folder.path()).last().state, RunCatalog::State::NotSaved);
}
