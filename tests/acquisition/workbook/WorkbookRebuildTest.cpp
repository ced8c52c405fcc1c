// The rebuild's own copy against a fake office: made from the user's working
// copy (the master only when there is none) beside the user's files under a
// hidden name, gone afterwards; a macro stopped with Cancel means a second
// office without it; what killed Halverns left behind is removed.
#include "FakeSpreadsheet.h"
#include "FileContents.h"
#include "KeptRuns.h"
#include "ManifestRun.h"
#include "QStringPrinter.h"
#include "RunManifest.h"
#include "RunManifestWriter.h"
#include "StartingWorkbooks.h"
#include "WorkbookRebuild.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace {

class WorkbookRebuildTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(program());
        QDir().mkpath(documents());
        writeFile(program() + "/spreadsheet.xls", "master");
        raw = writeKeptRun(dir.path(), "2026-12-06_09-00-00_COM5", "1 :: 2\r\n");
    }
    QString program() const { return dir.path() + "/program"; }
    QString documents() const { return dir.path() + "/Documents"; }
    QStringList hiddenFiles() const { return QDir(documents()).entryList(QDir::Files | QDir::Hidden); }

    using MacroStep = std::function<void(SpreadsheetApp &, MacroCall::Done)>;

    // Starts a rebuild whose save notes what the copy held then; `macro` as
    // the macro step. Its outcome goes to `ended`.
    std::unique_ptr<WorkbookRebuild> start(MacroStep macro = {})
    {
        WorkbookRebuild::Steps steps;
        steps.macro = std::move(macro);
        steps.save = [this](SpreadsheetApp &, Workbook &book, const QString &name) -> std::optional<Failure> {
            savedFrom << QString::fromUtf8(readFile(documents() + '/' + name));
            EXPECT_EQ(book.name(), name);
            return std::nullopt;
        };
        ended.reset();
        auto rebuild =
            std::make_unique<WorkbookRebuild>(factory, program(), documents(), documents(), std::move(steps));
        rebuild->make(raw, [this](const std::optional<Failure> &failure) { ended = failure; });
        return rebuild;
    }

    // A rebuild with no macro, over when make() returns.
    bool make(const QString &fails = {})
    {
        start();
        EXPECT_TRUE(ended.has_value()) << "the rebuild ended at once";
        const std::optional<Failure> failure = ended.value_or(Failure{"not ended"});
        if (fails.isEmpty())
            EXPECT_EQ(failure ? failure->reason : QString(), "");
        else
            EXPECT_TRUE(failure && failure->reason.contains(fails))
                << (failure ? failure->reason : QString()).toStdString();
        return !failure;
    }

    QTemporaryDir dir;
    QString raw;
    FakeSpreadsheetFactory factory;
    QStringList savedFrom;
    std::optional<std::optional<Failure>> ended; // the rebuild's outcome, once it has ended
};

TEST_F(WorkbookRebuildTest, StartsFromTheUsersWorkingCopyElseTheMasterAndLeavesNoCopy)
{
    ASSERT_TRUE(make());
    writeFile(documents() + "/spreadsheet.xls", "the lab's own");
    ASSERT_TRUE(make());

    EXPECT_EQ(savedFrom, (QStringList{"master", "the lab's own"}));
    EXPECT_TRUE(WorkbookRebuild::copyName().startsWith('.'));
    EXPECT_EQ(QDir(documents()).entryList(QDir::Files | QDir::Hidden), QStringList{"spreadsheet.xls"});
    EXPECT_EQ(readFile(documents() + "/spreadsheet.xls"), "the lab's own");
}

TEST_F(WorkbookRebuildTest, ARunThatKeptItsStartingWorkbookIsMadeFromExactlyThat)
{
    writeFile(documents() + "/spreadsheet.xls", "as the run started");
    const Result<QString> kept = StartingWorkbooks(dir.path()).keep(documents() + "/spreadsheet.xls");
    ASSERT_TRUE(kept);
    ManifestRun run;
    run.started = QDateTime::currentDateTime();
    run.comNumber = 5;
    run.rawName = QFileInfo(raw).fileName();
    run.startingWorkbookSha256 = *kept;
    ASSERT_TRUE(RunManifestWriter::create(RunManifest::pathFor(raw), run.toEntry()));
    writeFile(documents() + "/spreadsheet.xls", "changed since, with cells of its own");
    ASSERT_TRUE(make());
    EXPECT_EQ(savedFrom, QStringList{"as the run started"});

    writeFile(*StartingWorkbooks(dir.path()).find(*kept), "edited in the store");
    EXPECT_FALSE(make("not kept as it was"));
}

// The macro's outcome comes back later, from the event loop: nothing is
// saved and the office stays open with its copy until then. A macro stopped
// with Cancel ends its office, and a second one is made without it.
TEST_F(WorkbookRebuildTest, TheSaveWaitsForTheMacroAndACancelledOneIsLeftOutOfASecondOffice)
{
    struct Case {
        MacroCall::Outcome outcome;
        qsizetype offices;
    };
    for (const Case &c : {Case{MacroCall::Outcome::Ran, 1}, Case{MacroCall::Outcome::Failed, 1},
                          Case{MacroCall::Outcome::Cancelled, 2}}) {
        SCOPED_TRACE(int(c.outcome));
        factory.created.clear();
        savedFrom.clear();
        int macroRuns = 0;
        MacroCall::Done pending;
        const std::unique_ptr<WorkbookRebuild> rebuild =
            start([&macroRuns, &pending](SpreadsheetApp &, MacroCall::Done done) {
                ++macroRuns;
                pending = std::move(done);
            });
        ASSERT_TRUE(pending);
        EXPECT_FALSE(ended.has_value());
        EXPECT_TRUE(savedFrom.isEmpty());
        EXPECT_EQ(hiddenFiles(), QStringList{WorkbookRebuild::copyName()});
        ASSERT_EQ(factory.created.size(), 1);
        EXPECT_EQ(factory.created[0]->quitCount, 0);

        pending(MacroCall::Result{c.outcome, "why", "line\n"});
        ASSERT_TRUE(ended.has_value());
        EXPECT_FALSE(ended->has_value());
        EXPECT_EQ(rebuild->macro().outcome, c.outcome);
        EXPECT_EQ(macroRuns, 1);
        EXPECT_EQ(factory.created.size(), c.offices);
        EXPECT_EQ(savedFrom, QStringList{"master"});
        EXPECT_EQ(hiddenFiles(), QStringList());
    }
}

TEST_F(WorkbookRebuildTest, LeftoversOfEndedProcessesAreRemovedOthersKept)
{
    const pid_t ended = fork();
    if (ended == 0)
        _exit(0);
    ASSERT_GT(ended, 0);
    ::waitpid(ended, nullptr, 0);
    const QString dead = QString(".halvern-rebuild-%1.xls").arg(ended);
    const QString live = WorkbookRebuild::copyName();
    for (const QString &name :
         QStringList{dead, ".~lock." + dead + "#", live, "spreadsheet.xls", ".halvern-rebuild-notes.xls"})
        writeFile(documents() + '/' + name, "x");

    WorkbookRebuild::removeLeftovers(documents());

    EXPECT_EQ(QDir(documents()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList{live, ".halvern-rebuild-notes.xls", "spreadsheet.xls"}));
}

} // namespace
