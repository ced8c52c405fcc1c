// An acquisition run from Start to Stop against test doubles of the main
// window, the serial port and the spreadsheet application.
#include "AcquisitionRun.h"
#include "FakeAcquisitionView.h"
#include "QStringPrinter.h"
#include "FakeSerialComm.h"
#include "FakeSpreadsheet.h"
#include "FolderLookup.h"
#include "Globals.h"
#include "RecordingMessageBoxes.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kBlocked =
    "MS Excel is blocked: please close the cell you're editing or finish the dialog that's open.";
const QString kClosed =
    "Our MS Excel spreadsheet has been closed:  we cannot record any more of your data.";

void writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(content);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class AcquisitionRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(GetFolderPath(CSIDL_PERSONAL, documents, boxes));
        working = documents + "/spreadsheet.xls";
        QFile::remove(working);
        master = program.path() + "/spreadsheet.xls";
        writeFile(master, "master workbook");
        app = factory.prepare();
        app->startup = startup.path();
        run = std::make_unique<AcquisitionRun>(view, g, comm, factory, boxes, program.path(),
                                               [] { return QTime(14, 30, 0); });
    }
    void TearDown() override { QFile::remove(working); }

    void start()
    {
        run->cmdStart_Click();
        ASSERT_EQ(run->iRunState, 1);
    }
    void send(const QByteArray &text) { comm.pending += text; }
    void tick() { run->tmrMain_Timer(); }
    std::shared_ptr<FakeWorkbook> workingBook() const { return app->book("spreadsheet.xls"); }
    QString cell(int row, int column) const { return workingBook()->text(row, column); }

    QTemporaryDir program;
    QTemporaryDir startup;
    QString documents;
    QString working;
    QString master;
    Globals g;
    FakeAcquisitionView view;
    FakeSerialComm comm;
    FakeSpreadsheetFactory factory;
    std::shared_ptr<FakeSpreadsheetApp> app;
    RecordingMessageBoxes boxes;
    std::unique_ptr<AcquisitionRun> run;
};

// ---- Start ---------------------------------------------------------------------

TEST_F(AcquisitionRunTest, StartCopiesTheMasterOpensWorkbookAndPort)
{
    g.iBlockColumn = 7;
    run->lRow = 99;
    start();
    EXPECT_EQ(readFile(working), "master workbook");
    EXPECT_EQ(app->opened, QStringList{working});
    EXPECT_TRUE(app->visible);
    EXPECT_EQ(g.xlApp, app);
    EXPECT_EQ(g.xlBook, workingBook());
    EXPECT_TRUE(comm.portOpen());
    EXPECT_EQ(g.iBlockColumn, 1);
    EXPECT_EQ(run->lRow, 1);

    EXPECT_EQ(view.excelLamp, Lamp::Green);
    EXPECT_EQ(view.comPortLamp, Lamp::Green);
    EXPECT_EQ(view.status, "Ready");
    EXPECT_EQ(view.statusHistory,
              (QStringList{"Opening MS Excel Spreadsheet", "", "Opening COM port", "Ready"}));
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
    run->cmdStart_Click();
    EXPECT_EQ(view.status, "We do not remember the path to the master copy of our workbook.");
    EXPECT_EQ(view.excelLamp, Lamp::Red);
    EXPECT_TRUE(factory.created.isEmpty());
    EXPECT_EQ(run->iRunState, 0);
}

TEST_F(AcquisitionRunTest, MissingMasterFailsWithButtonsUntouched)
{
    QFile::remove(master);
    run->cmdStart_Click();
    EXPECT_EQ(view.status, "We cannot make a copy of the master workbook; it may have been deleted.");
    EXPECT_EQ(view.excelLamp, Lamp::Red);
    EXPECT_EQ(view.comPortLamp, Lamp::Frame);
    EXPECT_TRUE(factory.created.isEmpty());
    EXPECT_TRUE(view.startEnabled);
    EXPECT_FALSE(view.stopEnabled);
    EXPECT_TRUE(view.comPortsEnabled);
    EXPECT_TRUE(view.utilitiesVisible);
    EXPECT_FALSE(view.timerEnabled);
    EXPECT_EQ(run->iRunState, 0);
    EXPECT_FALSE(comm.portOpen());
}

TEST_F(AcquisitionRunTest, SpreadsheetNotInstalled)
{
    factory.failCreate = true;
    run->cmdStart_Click();
    EXPECT_EQ(view.status, "We cannot start MS Excel; it may not be loaded on this computer.");
    EXPECT_EQ(view.excelLamp, Lamp::Red);
    EXPECT_EQ(g.xlApp, nullptr);
    EXPECT_EQ(run->iRunState, 0);
    EXPECT_FALSE(comm.portOpen());
}

TEST_F(AcquisitionRunTest, WorkbookThatCannotBeOpenedOrShownQuitsTheSpreadsheet)
{
    app->failOpen.insert(working);
    run->cmdStart_Click();
    EXPECT_EQ(view.status, "Excel cannot open workbook");
    EXPECT_EQ(view.excelLamp, Lamp::Red);
    EXPECT_EQ(app->quitCount, 1);
    EXPECT_EQ(g.xlApp, nullptr);
    EXPECT_EQ(g.xlBook, nullptr);
    EXPECT_EQ(run->iRunState, 0);
    EXPECT_EQ(comm.openCount, 0);

    auto second = factory.prepare();
    second->failVisible = true;
    run->cmdStart_Click();
    EXPECT_EQ(view.status, "Excel cannot open workbook");
    EXPECT_EQ(second->quitCount, 1);
    EXPECT_EQ(g.xlApp, nullptr);
    EXPECT_EQ(g.xlBook, nullptr);
}

TEST_F(AcquisitionRunTest, PortNotAvailableQuitsTheSpreadsheetAndLeavesStartUsable)
{
    comm.failOpen = [] { throw CommError(8002, "Invalid port number"); };
    run->cmdStart_Click();
    EXPECT_EQ(view.status, "COM port not available");
    EXPECT_EQ(view.comPortLamp, Lamp::Red);
    EXPECT_EQ(view.excelLamp, Lamp::Green);
    EXPECT_EQ(app->quitCount, 1);
    EXPECT_EQ(g.xlApp, nullptr);
    EXPECT_EQ(g.xlBook, nullptr);
    EXPECT_EQ(run->iRunState, 0);
    EXPECT_TRUE(view.startEnabled);
    EXPECT_TRUE(view.comPortsEnabled);
    EXPECT_FALSE(view.timerEnabled);

    // The user picks another port and starts again.
    start();
    EXPECT_EQ(factory.created.size(), 2);
    EXPECT_EQ(view.status, "Ready");
}

TEST_F(AcquisitionRunTest, PersonalMacrosAreOpenedWhenPresentAndTheWorkingCopyStaysActive)
{
    writeFile(startup.path() + "/Personal.xls", "macros");
    start();
    EXPECT_EQ(app->opened, (QStringList{working, startup.path() + "/Personal.xls"}));
    EXPECT_EQ(app->activeBook(), workingBook());
    EXPECT_EQ(view.status, "Ready");
}

TEST_F(AcquisitionRunTest, PersonalOdsStandsInForAMissingPersonalXls)
{
    writeFile(startup.path() + "/Personal.ods", "macros");
    start();
    EXPECT_EQ(app->opened, (QStringList{working, startup.path() + "/Personal.ods"}));
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

// ---- Tick ----------------------------------------------------------------------

TEST_F(AcquisitionRunTest, TickWritesWhatArrivedAndCountsIt)
{
    start();
    send("5.1\r\n5.");
    tick();
    EXPECT_EQ(cell(1, 1), "5.1");
    EXPECT_EQ(run->sInBuffer, "5.");
    EXPECT_EQ(run->lBytesReceived, 7);
    EXPECT_EQ(view.status, "Bytes Received: 7");
    EXPECT_EQ(view.excelLamp, Lamp::Green);
    EXPECT_EQ(view.eventRuns, 1);
    EXPECT_TRUE(view.timerEnabled);

    send("2\r\n1 :: 2 = 3\r\n");
    tick();
    EXPECT_EQ(cell(2, 1), "5.2");
    EXPECT_EQ(cell(3, 2), "2");
    EXPECT_EQ(run->lRow, 4);
    EXPECT_EQ(view.status, "Bytes Received: 22");
}

TEST_F(AcquisitionRunTest, TickWhenNotRunningSwitchesTheTimerOffAndReadsNothing)
{
    view.timerEnabled = true;
    tick();
    EXPECT_FALSE(view.timerEnabled);
    EXPECT_EQ(view.eventRuns, 0);

    start();
    run->cmdPause_Click();
    send("1\r\n");
    view.timerEnabled = true;
    tick();
    EXPECT_FALSE(view.timerEnabled);
    EXPECT_EQ(comm.pending, "1\r\n");
    EXPECT_TRUE(app->writes.isEmpty());
}

TEST_F(AcquisitionRunTest, BlockedSpreadsheetHoldsTheLineAndDisablesPause)
{
    start();
    send("5.1\r\n");
    tick();
    app->cellFailure = SpreadsheetError::Kind::Busy;
    send("5.2\r\n");
    tick();
    EXPECT_EQ(view.status, kBlocked);
    EXPECT_EQ(view.excelLamp, Lamp::Yellow);
    EXPECT_FALSE(view.pauseEnabled);
    EXPECT_TRUE(view.timerEnabled);
    EXPECT_EQ(run->iRunState, 1);

    send("5.3\r\n");
    tick(); // retried, still blocked; nothing dropped
    EXPECT_EQ(run->sInBuffer, "5.2\r\n5.3\r\n");

    app->cellFailure.reset();
    tick();
    EXPECT_EQ(cell(2, 1), "5.2");
    EXPECT_EQ(cell(3, 1), "5.3");
    EXPECT_EQ(view.excelLamp, Lamp::Green);
    EXPECT_EQ(view.status, "Bytes Received: 15");
    EXPECT_TRUE(view.pauseEnabled);
}

TEST_F(AcquisitionRunTest, ClosedSpreadsheetIsShownRedAndTheRunGoesOn)
{
    start();
    app->gone = true;
    send("5.1\r\n");
    tick();
    EXPECT_EQ(view.status, kClosed);
    EXPECT_EQ(view.excelLamp, Lamp::Red);
    EXPECT_FALSE(view.pauseEnabled);
    EXPECT_EQ(run->iRunState, 1);
    EXPECT_TRUE(view.timerEnabled);
    EXPECT_EQ(run->sInBuffer, "5.1\r\n");
}

TEST_F(AcquisitionRunTest, PortVanishingMidRunKeepsWhatWasReceived)
{
    start();
    app->cellFailure = SpreadsheetError::Kind::Busy;
    send("5.1\r\n5.2\r\n5.");
    tick(); // held back by the blocked spreadsheet
    app->cellFailure.reset();
    comm.failInput = [] { throw CommError(8020, "Error reading comm device"); };
    tick();
    EXPECT_EQ(view.comPortLamp, Lamp::Red);
    EXPECT_EQ(view.status, "COM port not available");
    EXPECT_FALSE(comm.portOpen());
    EXPECT_EQ(run->iRunState, 1);
    EXPECT_EQ(cell(1, 1), "5.1"); // lines received before are still written
    EXPECT_EQ(cell(2, 1), "5.2");
    EXPECT_EQ(run->sInBuffer, "5.");

    tick(); // no further reads of a closed port, no crash
    EXPECT_EQ(view.status, "COM port not available");
    EXPECT_EQ(view.comPortLamp, Lamp::Red);

    // Pause and Resume keep the port red.
    run->cmdPause_Click();
    run->cmdResume_Click();
    EXPECT_EQ(view.comPortLamp, Lamp::Red);
    EXPECT_EQ(view.status, "COM port not available");

    app->saveAnswers = {documents + "/run1.xls"};
    run->cmdStop_Click();
    EXPECT_EQ(run->iRunState, 0);
    EXPECT_EQ(app->books[0]->savedAs, QStringList{documents + "/run1.xls"});
    EXPECT_EQ(app->quitCount, 1);
    EXPECT_EQ(view.comPortLamp, Lamp::Frame);

    // The next run starts with a working port again.
    factory.prepare();
    start();
    send("1\r\n");
    tick();
    EXPECT_EQ(view.comPortLamp, Lamp::Green);
    EXPECT_EQ(view.status, "Bytes Received: 3");
}

TEST_F(AcquisitionRunTest, StopClickedWhileEventsRunEndsTheTick)
{
    start();
    send("1\r\n");
    view.onProcessEvents = [&] { run->cmdStop_Click(); };
    tick();
    view.onProcessEvents = nullptr;
    EXPECT_EQ(run->iRunState, 0);
    EXPECT_EQ(app->quitCount, 1);
    // The tick switches the timer on again; the next one finds no run and stays off.
    send("2\r\n");
    tick();
    EXPECT_FALSE(view.timerEnabled);
    EXPECT_TRUE(run->sInBuffer.isEmpty());
}

TEST_F(AcquisitionRunTest, MainWindowClosingWhileEventsRunTouchesNothingAfterwards)
{
    start();
    send("1\r\n");
    view.onProcessEvents = [&] {
        run->cmdStop_Click(); // the unload stops the running session ...
        run.reset();          // ... and the window goes, taking the run with it
    };
    run->tmrMain_Timer();
    EXPECT_FALSE(view.timerEnabled);
    EXPECT_EQ(app->quitCount, 1);
}

TEST_F(AcquisitionRunTest, DetachedViewIsNotTouchedByTheRestOfTheTick)
{
    start();
    send("1\r\n");
    int callsAtDetach = 0;
    view.onProcessEvents = [&] {
        run->detachView();
        callsAtDetach = view.calls;
    };
    tick();
    EXPECT_EQ(view.calls, callsAtDetach);
    EXPECT_FALSE(view.timerEnabled);
}

// ---- Emulator input --------------------------------------------------------------

TEST_F(AcquisitionRunTest, EmulatorMailboxReplacesTheSerialPort)
{
    start();
    g.bEmulatorActive = true;
    send("serial\r\n");
    g.sEmulatorOutput = "1 :: 2\r\n";
    tick();
    EXPECT_EQ(cell(1, 1), "1");
    EXPECT_EQ(comm.pending, "serial\r\n"); // not read while the emulator is loaded
    EXPECT_TRUE(g.sEmulatorOutput.isEmpty());
    EXPECT_EQ(run->lBytesReceived, 8);
    tick(); // empty mailbox: nothing
    EXPECT_EQ(run->lBytesReceived, 8);
}

TEST_F(AcquisitionRunTest, InjectTabTurnsTheNextNumberIntoATwoFieldLine)
{
    start();
    g.bEmulatorActive = true;
    g.bInjectTab = true;
    view.onClearInjectTab = [&] { g.bInjectTab = false; };

    // A separator carries no number: it passes and the request waits.
    g.sEmulatorOutput = "\r\n\r\n\r\n";
    tick();
    EXPECT_TRUE(g.bInjectTab);
    EXPECT_EQ(view.injectTabCleared, 0);
    EXPECT_EQ(g.iBlockColumn, 2);

    g.sEmulatorOutput = "9999\r\n";
    tick();
    EXPECT_EQ(cell(2, 2), "9999");
    EXPECT_EQ(cell(2, 3), "10000");
    EXPECT_FALSE(g.bInjectTab);
    EXPECT_EQ(view.injectTabCleared, 1);
    EXPECT_EQ(run->lBytesReceived, 6 + 12);

    g.bInjectTab = true;
    g.sEmulatorOutput = " -2.5\r\n";
    tick();
    EXPECT_EQ(cell(3, 2), "-2.5");
    EXPECT_EQ(cell(3, 3), "-1.5");

    g.bInjectTab = true;
    g.sEmulatorOutput = "1.5E20\r\n";
    tick();
    EXPECT_EQ(cell(4, 2), "1.5E+20");

    // Beyond the range of a 64-bit integer, and beyond a double's.
    g.bInjectTab = true;
    g.sEmulatorOutput = "-1E19\r\n";
    tick();
    EXPECT_EQ(cell(5, 2), "-1E+19");
    g.bInjectTab = true;
    g.sEmulatorOutput = "1e999\r\n";
    tick();
    EXPECT_EQ(cell(6, 2), "INF");
    EXPECT_EQ(cell(6, 3), "INF");
}

// ---- Pause and resume ---------------------------------------------------------------

TEST_F(AcquisitionRunTest, PauseAndResumeOnlyActInTheirState)
{
    run->cmdPause_Click();
    run->cmdResume_Click();
    EXPECT_EQ(view.calls, 0);

    start();
    const int calls = view.calls;
    run->cmdResume_Click();
    EXPECT_EQ(view.calls, calls);

    run->cmdPause_Click();
    EXPECT_EQ(run->iRunState, -1);
    EXPECT_FALSE(view.timerEnabled);
    EXPECT_FALSE(view.pauseEnabled);
    EXPECT_TRUE(view.resumeEnabled);
    EXPECT_FALSE(view.pauseInFront);
    EXPECT_EQ(view.comPortLamp, Lamp::Yellow);
    EXPECT_EQ(view.excelLamp, Lamp::Yellow);
    EXPECT_EQ(view.status, "Paused");

    const int pausedCalls = view.calls;
    run->cmdPause_Click();
    EXPECT_EQ(view.calls, pausedCalls);

    run->cmdResume_Click();
    EXPECT_EQ(run->iRunState, 1);
    EXPECT_TRUE(view.timerEnabled);
    EXPECT_TRUE(view.pauseEnabled);
    EXPECT_FALSE(view.resumeEnabled);
    EXPECT_TRUE(view.pauseInFront);
    EXPECT_EQ(view.comPortLamp, Lamp::Green);
    EXPECT_EQ(view.excelLamp, Lamp::Green);
    EXPECT_EQ(view.status, "Ready");
    EXPECT_EQ(run->lRow, 1);
}

TEST_F(AcquisitionRunTest, DataSentDuringPauseArrivesInOrderAfterResume)
{
    start();
    send("1\r\n2");
    tick();
    run->cmdPause_Click();
    send("\r\n3\r\n");
    send(QByteArray(12340, 'x')); // a partial line, to make the count grouped
    run->cmdResume_Click();
    EXPECT_EQ(view.status, "Bytes Received: 4"); // nothing read yet

    tick();
    EXPECT_EQ(cell(1, 1), "1");
    EXPECT_EQ(cell(2, 1), "2");
    EXPECT_EQ(cell(3, 1), "3");
    EXPECT_EQ(view.status, "Bytes Received: 12349");

    run->cmdPause_Click();
    run->cmdResume_Click();
    const QString sep = QLocale::system().groupSeparator();
    EXPECT_EQ(view.status, "Bytes Received: 12" + sep + "349");
}

// ---- Stop -----------------------------------------------------------------------------

TEST_F(AcquisitionRunTest, StopClosesEverythingAndOffersToRenameTheWorkbook)
{
    start();
    send("5.1\r\n5.2");
    tick();
    app->saveAnswers = {documents + "/results.xls"};
    run->cmdStop_Click();

    EXPECT_EQ(run->iRunState, 0);
    EXPECT_TRUE(run->sInBuffer.isEmpty());
    EXPECT_EQ(run->lBytesReceived, 0);
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
    EXPECT_EQ(workingBook() , nullptr); // renamed
    EXPECT_EQ(app->books[0]->savedAs, QStringList{documents + "/results.xls"});
    EXPECT_EQ(app->books[0]->text(1, 1), "5.1");
    EXPECT_TRUE(app->runs.isEmpty()); // macro off
    EXPECT_EQ(app->quitCount, 1);
    EXPECT_EQ(g.xlApp, nullptr);
    EXPECT_EQ(g.xlBook, nullptr);
}

TEST_F(AcquisitionRunTest, StopWithoutDataAsksNothing)
{
    g.bMacroEnable = true; // enabled, but no name: no Run either
    start();
    run->cmdStop_Click();
    EXPECT_TRUE(app->saveDialogs.isEmpty());
    EXPECT_TRUE(app->runs.isEmpty());
    EXPECT_EQ(app->quitCount, 1);
}

TEST_F(AcquisitionRunTest, CancelledDialogSavesNothingAndQuitsAnyway)
{
    start();
    send("1\r\n");
    tick();
    run->cmdStop_Click();
    EXPECT_EQ(app->saveDialogs.size(), 1);
    EXPECT_TRUE(workingBook()->savedAs.isEmpty());
    EXPECT_EQ(app->quitCount, 1);
}

TEST_F(AcquisitionRunTest, WorkbookNameIsComparedWithoutCase)
{
    start();
    send("1\r\n");
    tick();
    workingBook()->fileName = "SpreadSheet.XLS";
    run->cmdStop_Click();
    EXPECT_EQ(app->saveDialogs.size(), 1);

    // A workbook the user saved under a name of their own is not asked about.
    auto second = factory.prepare();
    start();
    send("1\r\n");
    tick();
    second->book("spreadsheet.xls")->fileName = "mine.xls";
    run->cmdStop_Click();
    EXPECT_TRUE(second->saveDialogs.isEmpty());
    EXPECT_EQ(second->quitCount, 1);
}

TEST_F(AcquisitionRunTest, QualifiedMacroRunsOnceWithExactlyThatName)
{
    g.bMacroEnable = true;
    g.sMacroName = "Personal.xls!Tidy";
    writeFile(startup.path() + "/Personal.xls", "macros");
    app->macros.insert("personal.xls!tidy");
    start();
    run->cmdStop_Click();
    EXPECT_EQ(app->runs, QStringList{"Personal.xls!Tidy"});
    EXPECT_EQ(view.status, "");
}

TEST_F(AcquisitionRunTest, PlainMacroIsTriedInEachWorkbookUntilOneRunsIt)
{
    g.bMacroEnable = true;
    g.sMacroName = "Tidy";
    writeFile(startup.path() + "/Personal.xls", "macros");
    app->macros = {"personal.xls!tidy"};
    start();
    send("1\r\n");
    tick();
    app->saveAnswers = {documents + "/out.xls"};
    run->cmdStop_Click();
    EXPECT_EQ(app->runs, (QStringList{"spreadsheet.xls!Tidy", "Personal.xls!Tidy"}));
    EXPECT_EQ(view.status, "");
    EXPECT_EQ(app->saveDialogs.size(), 1);

    // Found in the first workbook: run once only.
    auto second = factory.prepare();
    second->startup = startup.path();
    second->macros = {"spreadsheet.xls!tidy", "personal.xls!tidy"};
    start();
    run->cmdStop_Click();
    EXPECT_EQ(second->runs, QStringList{"spreadsheet.xls!Tidy"});
}

TEST_F(AcquisitionRunTest, NameStartingWithBangIsAPlainName)
{
    g.bMacroEnable = true;
    g.sMacroName = "!Tidy";
    app->macros = {"spreadsheet.xls!!tidy"};
    start();
    run->cmdStop_Click();
    EXPECT_EQ(app->runs, QStringList{"spreadsheet.xls!!Tidy"});
    EXPECT_EQ(view.status, "");
}

TEST_F(AcquisitionRunTest, MissingMacroIsReportedAndStopGoesOn)
{
    g.bMacroEnable = true;
    g.sMacroName = "Nowhere";
    start();
    send("1\r\n");
    tick();
    app->saveAnswers = {documents + "/out.xls"};
    run->cmdStop_Click();
    EXPECT_EQ(app->runs, QStringList{"spreadsheet.xls!Nowhere"});
    EXPECT_EQ(view.status, "User macro did NOT run.");
    EXPECT_EQ(app->books[0]->savedAs, QStringList{documents + "/out.xls"});
    EXPECT_EQ(app->quitCount, 1);

    auto second = factory.prepare();
    g.sMacroName = "Book.xls!Nowhere";
    start();
    run->cmdStop_Click();
    EXPECT_EQ(second->runs, QStringList{"Book.xls!Nowhere"});
    EXPECT_EQ(view.status, "User macro did NOT run.");
}

TEST_F(AcquisitionRunTest, StopAfterTheUserClosedTheSpreadsheetStillCompletes)
{
    g.bMacroEnable = true;
    g.sMacroName = "Tidy";
    start();
    send("1\r\n");
    tick();
    app->gone = true;
    run->cmdStop_Click();
    EXPECT_EQ(run->iRunState, 0);
    EXPECT_EQ(view.status, "User macro did NOT run.");
    EXPECT_EQ(g.xlApp, nullptr);
    EXPECT_EQ(g.xlBook, nullptr);
    EXPECT_TRUE(view.startEnabled);
}

TEST_F(AcquisitionRunTest, StopWhilePausedIsAFullStop)
{
    start();
    send("1\r\n");
    tick();
    run->cmdPause_Click();
    app->saveAnswers = {documents + "/p.xls"};
    run->cmdStop_Click();
    EXPECT_EQ(run->iRunState, 0);
    EXPECT_EQ(app->books[0]->savedAs, QStringList{documents + "/p.xls"});
    EXPECT_FALSE(view.resumeEnabled);
    EXPECT_TRUE(view.pauseInFront);
}

TEST_F(AcquisitionRunTest, QuitSpreadsheetReleasesAPausedRunsApplication)
{
    start();
    run->cmdPause_Click();
    run->QuitSpreadsheet();
    EXPECT_EQ(app->quitCount, 1);
    EXPECT_EQ(g.xlApp, nullptr);
    run->QuitSpreadsheet(); // nothing held: no call
    EXPECT_EQ(app->quitCount, 1);
}

} // namespace
