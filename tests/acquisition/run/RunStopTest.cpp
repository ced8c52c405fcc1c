// Stop: the last lines, the user macro, the save and what is told when it
// fails, against test doubles of the main window, the port and the spreadsheet.
#include "RunFixture.h"

#include <future>

namespace {

class RunStopTest : public RunFixture {};

// ---- Stop -----------------------------------------------------------------------------

TEST_F(RunStopTest, StopClosesEverythingAndOffersToRenameTheWorkbook)
{
    start();
    tickWith("5.1\r\n5.2");
    app->saveAnswers = {documents + "/results.xls"};
    stop();

    EXPECT_EQ(run->state(), RunState::Stopped);
    EXPECT_TRUE(run->pendingText().isEmpty());
    EXPECT_EQ(run->bytesReceived(), 0);
    EXPECT_FALSE(comm.portOpen());
    EXPECT_FALSE(view.timerEnabled);
    EXPECT_EQ(view.comPortLamp, Lamp::Frame);
    EXPECT_EQ(view.excelLamp, Lamp::Frame);
    EXPECT_EQ(view.status, "");
    EXPECT_TRUE(view.startEnabled);
    EXPECT_FALSE(view.stopEnabled);
    EXPECT_FALSE(view.pauseEnabled);
    EXPECT_TRUE(view.pauseInFront);
    EXPECT_FALSE(view.resumeEnabled);
    EXPECT_TRUE(view.comPortsEnabled);
    EXPECT_TRUE(view.utilitiesVisible);

    ASSERT_EQ(app->saveDialogs.size(), 1);
    EXPECT_EQ(app->saveDialogs[0].initialFilename, "");
    EXPECT_EQ(app->saveDialogs[0].fileFilter, "Excel workbook,*.xls");
    EXPECT_EQ(app->saveDialogs[0].title, "Please rename this workbook");
    EXPECT_EQ(workingBook(), nullptr); // renamed
    EXPECT_EQ(app->books[0]->savedAs, QStringList{documents + "/results.xls"});
    EXPECT_EQ(app->books[0]->text(1, 1), "5.1");
    EXPECT_TRUE(app->runs.isEmpty()); // macro off
    EXPECT_EQ(app->quitCount, 1);
    EXPECT_EQ(run->spreadsheet(), nullptr);
    EXPECT_EQ(run->workbook(), nullptr);
}

TEST_F(RunStopTest, AWorkbookWiderThanXlsKeepsIsAlsoSavedWholeAsXlsx)
{
    start();
    QByteArray wide = "::";
    for (int n = 1; n <= 300; ++n)
        wide += ' ' + QByteArray::number(n);
    tickWith(wide + "\r\n");
    app->saveAnswers = {documents + "/wide.xls"};
    stop();

    EXPECT_EQ(app->books[0]->savedAs, (QStringList{documents + "/wide.xls", documents + "/wide.xlsx"}));
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_TRUE(boxes.boxes[0].text.contains("column 300") && boxes.boxes[0].text.contains(documents + "/wide.xlsx"))
        << boxes.boxes[0].text.toStdString();
    const QByteArray summary = readFile(run->journal().summaryPath());
    EXPECT_TRUE(summary.contains("also saved as: " + documents.toUtf8() + "/wide.xlsx\n")) << summary.toStdString();
}

TEST_F(RunStopTest, AnXlsHoldsUpTo65536RowsAnd256ColumnsOnlyOneMoreAddsTheXlsxCopy)
{
    struct Case {
        Workbook::UsedArea area;
        bool copied;
    };
    const QList<Case> cases{{{65536, 256}, false}, {{65537, 1}, true}, {{1, 257}, true}};
    for (const Case &c : cases) {
        const auto at = testing::Message() << c.area.rows << " rows, " << c.area.columns << " columns";
        app = factory.prepare();
        app->startup = startup.path();
        boxes.boxes.clear();
        start();
        tickWith("1\r\n");
        workingBook()->area = c.area;
        app->saveAnswers = {documents + "/edge.xls"};
        stop();
        const QStringList expected = c.copied ? QStringList{documents + "/edge.xls", documents + "/edge.xlsx"}
                                              : QStringList{documents + "/edge.xls"};
        EXPECT_EQ(app->books[0]->savedAs, expected) << at;
        EXPECT_EQ(boxes.boxes.size(), c.copied ? 1 : 0) << at;
    }
}

TEST_F(RunStopTest, StopWithoutDataAsksNothing)
{
    macro.enabled = true; // enabled, but no name: no Run either
    start();
    stop();
    EXPECT_TRUE(app->saveDialogs.isEmpty());
    EXPECT_TRUE(app->runs.isEmpty());
    EXPECT_EQ(app->quitCount, 1);
}

TEST_F(RunStopTest, CancelledDialogSavesNothingAndQuitsAnyway)
{
    start();
    tickWith("1\r\n");
    stop();
    EXPECT_EQ(app->saveDialogs.size(), 1);
    EXPECT_TRUE(workingBook()->savedAs.isEmpty());
    EXPECT_EQ(app->quitCount, 1);
}

TEST_F(RunStopTest, WorkbookNameIsComparedWithoutCase)
{
    start();
    tickWith("1\r\n");
    workingBook()->fileName = "SpreadSheet.XLS";
    stop();
    EXPECT_EQ(app->saveDialogs.size(), 1);

    // A workbook the user saved under a name of their own is not asked about.
    auto second = factory.prepare();
    start();
    tickWith("1\r\n");
    second->book("spreadsheet.xls")->fileName = "mine.xls";
    stop();
    EXPECT_TRUE(second->saveDialogs.isEmpty());
    EXPECT_EQ(second->quitCount, 1);
}

TEST_F(RunStopTest, QualifiedMacroRunsOnceWithExactlyThatName)
{
    useMacro("Personal.xls!Tidy");
    writeFile(startup.path() + "/Personal.xls", "macros");
    app->macros.insert("personal.xls!tidy");
    start();
    stop();
    EXPECT_EQ(app->runs, QStringList{"Personal.xls!Tidy"});
    EXPECT_EQ(view.status, "");
}

TEST_F(RunStopTest, PlainMacroIsTriedInEachWorkbookUntilOneRunsIt)
{
    useMacro("Tidy");
    writeFile(startup.path() + "/Personal.xls", "macros");
    app->macros = {"spreadsheet.xls!tidy"}; // a macro of the master workbook
    start();
    tickWith("1\r\n");
    app->saveAnswers = {documents + "/out.xls"};
    stop();
    EXPECT_EQ(app->runs, (QStringList{"Personal.xls!Tidy", "spreadsheet.xls!Tidy"}));
    EXPECT_EQ(view.status, "");
    EXPECT_EQ(app->saveDialogs.size(), 1);

    // Found in the first workbook: run once only.
    auto second = factory.prepare();
    second->startup = startup.path();
    second->macros = {"spreadsheet.xls!tidy", "personal.xls!tidy"};
    start();
    stop();
    EXPECT_EQ(second->runs, QStringList{"Personal.xls!Tidy"});

    // Found but failed: told with the office's reason, not tried elsewhere.
    auto third = factory.prepare();
    third->startup = startup.path();
    third->failingMacros = {{"personal.xls!tidy", "error 11: Division by zero"}};
    third->macros = {"spreadsheet.xls!tidy"};
    start();
    tickWith("1\r\n");
    third->saveAnswers = {documents + "/failed.xls"};
    stop();
    EXPECT_EQ(third->runs, QStringList{"Personal.xls!Tidy"});
    EXPECT_EQ(view.status, "User macro did NOT run.");
    EXPECT_EQ(view.excelLampTip, "User macro did NOT run. Tidy: error 11: Division by zero");
    EXPECT_TRUE(
        readFile(run->journal().summaryPath()).contains("User macro: Tidy did NOT run: error 11: Division by zero\n"));
    EXPECT_EQ(third->books.last()->savedAs, QStringList{documents + "/failed.xls"});
}

TEST_F(RunStopTest, TheMacroRunsInTheBackgroundTheSaveWaitsForItAndNothingStartsMeanwhile)
{
    useMacro("Tidy");
    app->macros = {"spreadsheet.xls!tidy"};
    std::promise<void> release;
    app->onRun = [held = release.get_future().share()] { held.wait(); }; // a MsgBox the user has not answered
    start();
    tickWith("1\r\n");
    app->saveAnswers = {documents + "/out.xls"};
    run->stop(macro);
    EXPECT_TRUE(run->stopping());
    EXPECT_TRUE(view.busy);
    EXPECT_TRUE(app->saveDialogs.isEmpty());
    EXPECT_EQ(app->quitCount, 0);
    const qsizetype offices = factory.created.size();
    run->start();
    run->stop(macro);
    EXPECT_EQ(factory.created.size(), offices);

    release.set_value();
    ASSERT_TRUE(waitUntil([this] { return !run->stopping(); }, 10000)) << "awaited the end of Stop";
    EXPECT_FALSE(view.busy);
    EXPECT_EQ(app->runs, QStringList{"spreadsheet.xls!Tidy"});
    EXPECT_EQ(app->saveDialogs.size(), 1);
    EXPECT_EQ(app->quitCount, 1);
    EXPECT_TRUE(readFile(run->journal().summaryPath()).contains("User macro: Tidy ran\n"));
}

TEST_F(RunStopTest, NameStartingWithBangIsAPlainName)
{
    useMacro("!Tidy");
    app->macros = {"spreadsheet.xls!!tidy"};
    start();
    stop();
    EXPECT_EQ(app->runs, QStringList{"spreadsheet.xls!!Tidy"});
    EXPECT_EQ(view.status, "");
}

TEST_F(RunStopTest, MissingMacroIsReportedAndStopGoesOn)
{
    useMacro("Nowhere");
    start();
    tickWith("1\r\n");
    app->saveAnswers = {documents + "/out.xls"};
    stop();
    EXPECT_EQ(app->runs, QStringList{"spreadsheet.xls!Nowhere"});
    EXPECT_EQ(view.status, "User macro did NOT run.");
    EXPECT_EQ(app->books[0]->savedAs, QStringList{documents + "/out.xls"});
    EXPECT_EQ(app->quitCount, 1);

    auto second = factory.prepare();
    macro.name = "Book.xls!Nowhere";
    start();
    stop();
    EXPECT_EQ(second->runs, QStringList{"Book.xls!Nowhere"});
    EXPECT_EQ(view.status, "User macro did NOT run.");
}

TEST_F(RunStopTest, StopAfterTheUserClosedTheSpreadsheetStillCompletes)
{
    useMacro("Tidy");
    start();
    tickWith("1\r\n");
    app->gone = true;
    stop();
    EXPECT_EQ(run->state(), RunState::Stopped);
    EXPECT_EQ(view.status, "User macro did NOT run.");
    EXPECT_EQ(run->spreadsheet(), nullptr);
    EXPECT_EQ(run->workbook(), nullptr);
    EXPECT_TRUE(view.startEnabled);
}

TEST_F(RunStopTest, StopWhilePausedIsAFullStop)
{
    start();
    tickWith("1\r\n");
    run->pause();
    app->saveAnswers = {documents + "/p.xls"};
    stop();
    EXPECT_EQ(run->state(), RunState::Stopped);
    EXPECT_EQ(app->books[0]->savedAs, QStringList{documents + "/p.xls"});
    EXPECT_FALSE(view.resumeEnabled);
    EXPECT_TRUE(view.pauseInFront);
}

TEST_F(RunStopTest, QuitSpreadsheetReleasesAPausedRunsApplication)
{
    start();
    run->pause();
    run->quitSpreadsheet();
    EXPECT_EQ(app->quitCount, 1);
    EXPECT_EQ(run->spreadsheet(), nullptr);
    run->quitSpreadsheet(); // nothing held: no call
    EXPECT_EQ(app->quitCount, 1);
}

} // namespace
