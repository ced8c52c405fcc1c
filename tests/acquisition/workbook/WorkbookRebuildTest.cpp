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

    // A rebuild whose save notes what the copy held then; `macro` as the macro step.
    bool make(std::function<MacroCall::Result(SpreadsheetApp &)> macro = {}, const QString &fails = {})
    {
        WorkbookRebuild::Steps steps;
        steps.macro = std::move(macro);
        steps.save = [this](SpreadsheetApp &, Workbook &book, const QString &name) -> std::optional<Failure> {
            savedFrom << QString::fromUtf8(readFile(documents() + '/' + name));
            EXPECT_EQ(book.name(), name);
            return std::nullopt;
        };
        WorkbookRebuild rebuild(factory, program(), documents(), documents(), std::move(steps));
        const std::optional<Failure> failure = rebuild.make(raw);
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
    EXPECT_FALSE(make({}, "not kept as it was"));
}

TEST_F(WorkbookRebuildTest, AMacroStoppedWithCancelIsLeftOutOfASecondOffice)
{
    int macroRuns = 0;
    ASSERT_TRUE(make([&macroRuns](SpreadsheetApp &) {
        ++macroRuns;
        return MacroCall::Result{MacroCall::Outcome::Cancelled, "stopped with Cancel", "stopped\n"};
    }));
    EXPECT_EQ(macroRuns, 1);
    EXPECT_EQ(factory.created.size(), 2);
    EXPECT_EQ(savedFrom.size(), 1);
    EXPECT_EQ(hiddenFiles(), QStringList());
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
