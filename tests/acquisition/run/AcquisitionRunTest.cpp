// An acquisition run's Start, against test doubles of the main window, the
// port and the spreadsheet.
#include "ReceivedText.h"
#include "RunFixture.h"

namespace {

class AcquisitionRunTest : public RunFixture {};

// ---- Start ---------------------------------------------------------------------

TEST_F(AcquisitionRunTest, AStartAfterAStopBeginsAtRowOneInColumnOne)
{
    start();
    tickWith("a :: 1\r\n\r\n\r\n\r\n7\r\n");
    ASSERT_GT(run->nextRow(), 1);
    ASSERT_EQ(run->blockColumn(), 2);
    stop();
    app = factory.prepare();
    start();
    EXPECT_EQ(run->nextRow(), 1);
    EXPECT_EQ(run->blockColumn(), 1);
}

TEST_F(AcquisitionRunTest, StartCopiesTheMasterOpensWorkbookAndPort)
{
    start();
    EXPECT_EQ(readFile(working), "master workbook");
    EXPECT_EQ(app->opened, QStringList{working});
    EXPECT_TRUE(app->visible);
    EXPECT_EQ(run->spreadsheet(), app);
    EXPECT_EQ(run->workbook(), workingBook());
    EXPECT_TRUE(comm.portOpen());
    EXPECT_EQ(run->blockColumn(), 1);
    EXPECT_EQ(run->nextRow(), 1);

    EXPECT_EQ(view.excelLamp, Lamp::Green);
    EXPECT_EQ(view.comPortLamp, Lamp::Green);
    EXPECT_EQ(view.status, "Ready");
    EXPECT_EQ(view.statusHistory, (QStringList{"Opening MS Excel Spreadsheet", "", "Opening COM port", "Ready"}));
    EXPECT_FALSE(view.startEnabled);
    EXPECT_TRUE(view.stopEnabled);
    EXPECT_TRUE(view.pauseEnabled);
    EXPECT_TRUE(view.pauseInFront);
    EXPECT_FALSE(view.resumeEnabled);
    EXPECT_FALSE(view.comPortsEnabled);
    EXPECT_FALSE(view.utilitiesVisible);
    EXPECT_TRUE(view.timerEnabled);
    EXPECT_EQ(view.broughtToFront, 1);
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(AcquisitionRunTest, AnExistingWorkingCopyIsReusedUnchanged)
{
    writeFile(working, "the user's data");
    start();
    EXPECT_EQ(readFile(working), "the user's data");
}

TEST_F(AcquisitionRunTest, NoDocumentsFolderFailsBeforeAnythingStarts)
{
    run->setDocumentsLookup([](QString &) { return false; });
    run->start();
    EXPECT_EQ(view.status, "We do not remember the path to the master copy of our workbook.");
    EXPECT_EQ(view.excelLamp, Lamp::Red);
    EXPECT_TRUE(factory.created.isEmpty());
    EXPECT_EQ(run->state(), RunState::Stopped);
}

TEST_F(AcquisitionRunTest, MissingMasterFailsWithButtonsUntouched)
{
    QFile::remove(master);
    run->start();
    EXPECT_EQ(view.status, "We cannot make a copy of the master workbook; it may have been deleted.");
    EXPECT_EQ(view.excelLamp, Lamp::Red);
    EXPECT_EQ(view.comPortLamp, Lamp::Frame);
    EXPECT_TRUE(factory.created.isEmpty());
    EXPECT_TRUE(view.startEnabled);
    EXPECT_FALSE(view.stopEnabled);
    EXPECT_TRUE(view.comPortsEnabled);
    EXPECT_TRUE(view.utilitiesVisible);
    EXPECT_FALSE(view.timerEnabled);
    EXPECT_EQ(run->state(), RunState::Stopped);
    EXPECT_FALSE(comm.portOpen());
}

TEST_F(AcquisitionRunTest, SpreadsheetNotInstalled)
{
    factory.failCreate = true;
    run->start();
    EXPECT_EQ(view.status, "We cannot start MS Excel; it may not be loaded on this computer.");
    EXPECT_EQ(view.excelLamp, Lamp::Red);
    EXPECT_EQ(run->spreadsheet(), nullptr);
    EXPECT_EQ(run->state(), RunState::Stopped);
    EXPECT_FALSE(comm.portOpen());
}

TEST_F(AcquisitionRunTest, WorkbookThatCannotBeOpenedOrShownQuitsTheSpreadsheet)
{
    app->failOpen.insert(working);
    run->start();
    EXPECT_EQ(view.status, "Excel cannot open workbook");
    EXPECT_EQ(view.excelLamp, Lamp::Red);
    EXPECT_EQ(app->quitCount, 1);
    EXPECT_EQ(run->spreadsheet(), nullptr);
    EXPECT_EQ(run->workbook(), nullptr);
    EXPECT_EQ(run->state(), RunState::Stopped);
    EXPECT_EQ(comm.openCount, 0);

    auto second = factory.prepare();
    second->failVisible = true;
    run->start();
    EXPECT_EQ(view.status, "Excel cannot open workbook");
    EXPECT_EQ(second->quitCount, 1);
    EXPECT_EQ(run->spreadsheet(), nullptr);
    EXPECT_EQ(run->workbook(), nullptr);
}

TEST_F(AcquisitionRunTest, PortNotAvailableQuitsTheSpreadsheetAndLeavesStartUsable)
{
    const OpenFailure why{OpenFailure::Kind::Permission, "This user may not open COM5 (/dev/ttyUSB0). ..."};
    comm.failOpen = [this, why] {
        comm.openFailure = why;
        throw CommError(8005, "Port already open");
    };
    run->start();
    EXPECT_EQ(view.status, kNoPort);
    EXPECT_EQ(view.comPortLamp, Lamp::Red);
    EXPECT_EQ(view.comPortTip, why.text); // the lamp tells why
    EXPECT_EQ(view.excelLamp, Lamp::Green);
    EXPECT_EQ(app->quitCount, 1);
    EXPECT_EQ(run->spreadsheet(), nullptr);
    EXPECT_EQ(run->workbook(), nullptr);
    EXPECT_EQ(run->state(), RunState::Stopped);
    EXPECT_TRUE(view.startEnabled);
    EXPECT_TRUE(view.comPortsEnabled);
    EXPECT_FALSE(view.timerEnabled);

    // The user picks another port and starts again.
    comm.openFailure = {};
    start();
    EXPECT_EQ(factory.created.size(), 2);
    EXPECT_EQ(view.status, "Ready");
    EXPECT_EQ(view.comPortTip, "");
}

TEST_F(AcquisitionRunTest, PersonalMacrosAreOpenedWhenPresentAndTheWorkingCopyStaysActive)
{
    writeFile(startup.path() + "/Personal.xls", "macros");
    start();
    // Hidden and first, as Excel opens XLSTART.
    EXPECT_EQ(app->opened, (QStringList{startup.path() + "/Personal.xls", working}));
    EXPECT_EQ(app->hidden, QStringList{startup.path() + "/Personal.xls"});
    EXPECT_EQ(app->activeBook(), workingBook());
    EXPECT_EQ(view.status, "Ready");
}

TEST_F(AcquisitionRunTest, PersonalOdsStandsInForAMissingPersonalXls)
{
    // Every workbook of the folder, but Excel's owner files and hidden ones.
    for (const char *name : {"Personal.ods", "tools.XLSM", "~$Personal.xls", ".~lock.Personal.ods#"})
        writeFile(startup.path() + '/' + name, "macros");
    start();
    EXPECT_EQ(app->opened, (QStringList{startup.path() + "/Personal.ods", startup.path() + "/tools.XLSM", working}));
    EXPECT_EQ(app->activeBook(), workingBook());
}

TEST_F(AcquisitionRunTest, NoPersonalMacrosShowNothing)
{
    start();
    EXPECT_EQ(app->opened, QStringList{working});
    EXPECT_EQ(view.status, "Ready");
    EXPECT_EQ(view.excelLamp, Lamp::Green);
}

TEST_F(AcquisitionRunTest, PersonalMacrosThatFailToLoadAreAWarningOnly)
{
    const QString personal = startup.path() + "/Personal.xls";
    writeFile(personal, "macros");
    app->failOpen.insert(personal);
    start();
    EXPECT_EQ(view.status, "Your personal macros were NOT loaded.");
    EXPECT_EQ(view.excelLamp, Lamp::Yellow);
    EXPECT_TRUE(view.timerEnabled);
    EXPECT_EQ(app->activeBook(), workingBook());
}

} // namespace
