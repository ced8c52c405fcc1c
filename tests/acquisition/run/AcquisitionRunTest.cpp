// An acquisition run: Start, the tick, the emulator as a source, pause and
// resume, against test doubles of the main window, the port and the spreadsheet.
#include "ReceivedText.h"
#include "RunFixture.h"

#include <QLocale>

namespace {

class AcquisitionRunTest : public RunFixture {};

// ---- Start ---------------------------------------------------------------------

TEST_F(AcquisitionRunTest, AStartAfterAStopBeginsAtRowOneInColumnOne)
{
    start();
    tickWith("a :: 1\r\n\r\n\r\n\r\n7\r\n");
    ASSERT_GT(run->nextRow(), 1);
    ASSERT_EQ(run->blockColumn(), 2);
    run->stop(macro);
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

// ---- Tick ----------------------------------------------------------------------

TEST_F(AcquisitionRunTest, TickWritesWhatArrivedAndCountsIt)
{
    start();
    tickWith("5.1\r\n5.");
    EXPECT_EQ(cell(1, 1), "5.1");
    EXPECT_EQ(run->pendingText(), "5.");
    EXPECT_EQ(run->bytesReceived(), 7);
    EXPECT_EQ(view.status, "Bytes Received: 7");
    EXPECT_EQ(view.excelLamp, Lamp::Green);
    EXPECT_TRUE(view.timerEnabled);

    tickWith("2\r\n1 :: 2 = 3\r\n");
    EXPECT_EQ(cell(2, 1), "5.2");
    EXPECT_EQ(cell(3, 2), "2");
    EXPECT_EQ(run->nextRow(), 4);
    EXPECT_EQ(view.status, "Bytes Received: 22");
}

TEST_F(AcquisitionRunTest, TickWhenStoppedSwitchesTheTimerOffAndReadsNothing)
{
    view.timerEnabled = true;
    tick();
    EXPECT_FALSE(view.timerEnabled);
}

TEST_F(AcquisitionRunTest, APausedTickKeepsTheInstrumentsTextInTheJournalAndWritesItInOrderAfterResume)
{
    start();
    tickWith("1\r\n2");
    run->pause();
    feed.active = false;
    for (const QByteArray &text : {QByteArray("\r\n3\r\n"), QByteArray("4\r"), QByteArray("\n5\r\n")})
        tickWith(text);
    EXPECT_TRUE(comm.pending.isEmpty()); // read at once, not left in the port
    EXPECT_TRUE(view.timerEnabled);
    EXPECT_EQ(view.status, "Paused");
    EXPECT_EQ(app->writes.size(), 1);
    EXPECT_EQ(run->journal().bytes(), 15);
    EXPECT_EQ(readFile(run->journal().rawPath()), "1\r\n2\r\n3\r\n4\r\n5\r\n");

    run->resume();
    EXPECT_EQ(view.status, "Bytes Received: 15");
    tickWith("6\r\n");
    for (int row = 1; row <= 6; ++row)
        EXPECT_EQ(cell(row, 1), QString::number(row));
    EXPECT_TRUE(run->pendingText().isEmpty());
}

TEST_F(AcquisitionRunTest, BlockedSpreadsheetHoldsTheLineAndDisablesPause)
{
    start();
    tickWith("5.1\r\n");
    app->cellFailure = SpreadsheetError::Kind::Busy;
    tickWith("5.2\r\n");
    EXPECT_EQ(view.status, kBlocked);
    EXPECT_EQ(view.excelLamp, Lamp::Yellow);
    EXPECT_TRUE(view.excelLampTip.contains("kept in the run's journal")) << view.excelLampTip.toStdString();
    EXPECT_FALSE(view.pauseEnabled);
    EXPECT_TRUE(view.timerEnabled);
    EXPECT_EQ(run->state(), RunState::Running);

    tickWith("5.3\r\n"); // retried, still blocked; nothing dropped
    EXPECT_EQ(run->pendingText(), "5.2\r\n5.3\r\n");

    app->cellFailure.reset();
    tick();
    EXPECT_EQ(cell(2, 1), "5.2");
    EXPECT_EQ(cell(3, 1), "5.3");
    EXPECT_EQ(view.excelLamp, Lamp::Green);
    EXPECT_EQ(view.status, "Bytes Received: 15");
    EXPECT_EQ(view.excelLampTip, "");
    EXPECT_TRUE(view.pauseEnabled);
}

TEST_F(AcquisitionRunTest, ClosedSpreadsheetIsShownRedAndTheRunGoesOn)
{
    start();
    app->gone = true;
    tickWith("5.1\r\n");
    EXPECT_EQ(view.status, kClosed);
    EXPECT_EQ(view.excelLamp, Lamp::Red);
    EXPECT_TRUE(view.excelLampTip.contains("Stop will offer to rebuild")) << view.excelLampTip.toStdString();
    EXPECT_FALSE(view.pauseEnabled);
    EXPECT_EQ(run->state(), RunState::Running);
    EXPECT_TRUE(view.timerEnabled);
    EXPECT_EQ(run->pendingText(), "5.1\r\n");
}

TEST_F(AcquisitionRunTest, LinesThatCannotBeWrittenWarnButDoNotStopTheRun)
{
    start();
    app->lastColumn = 2; // the sheet refuses the wide line
    send("1\t2\t3\r\n4\r\n");
    tick();
    EXPECT_EQ(view.excelLamp, Lamp::Yellow);
    EXPECT_EQ(view.status, "Bytes Received: 10");
    EXPECT_TRUE(view.pauseEnabled);
    EXPECT_EQ(cell(2, 1), "4");
    EXPECT_TRUE(run->pendingText().isEmpty());
    send("5\r\n");
    tick();
    EXPECT_EQ(view.excelLamp, Lamp::Green);
    EXPECT_EQ(cell(3, 1), "5");

    // A line being dropped as too long when the run stops is forgotten at
    // the next Start.
    send(QByteArray(2 << 20, 'a'));
    tick();
    EXPECT_EQ(view.excelLamp, Lamp::Yellow);
    run->stop(macro);
    start();
    send("x\r\n");
    tick();
    EXPECT_EQ(factory.last()->book("spreadsheet.xls")->text(1, 1), "x");
}

TEST_F(AcquisitionRunTest, PortVanishingMidRunKeepsWhatWasReceived)
{
    start();
    app->cellFailure = SpreadsheetError::Kind::Busy;
    tickWith("5.1\r\n5.2\r\n5."); // held back by the blocked spreadsheet
    app->cellFailure.reset();
    pullOut();
    tick();
    EXPECT_EQ(view.comPortLamp, Lamp::Red);
    EXPECT_EQ(view.status, kNoPort);
    EXPECT_FALSE(comm.portOpen());
    EXPECT_EQ(run->state(), RunState::Running);
    EXPECT_EQ(cell(1, 1), "5.1"); // lines received before are still written
    EXPECT_EQ(cell(2, 1), "5.2");
    EXPECT_EQ(run->pendingText(), "5.");

    tick(); // no further reads of a closed port, no crash
    EXPECT_EQ(view.status, kNoPort);
    EXPECT_EQ(view.comPortLamp, Lamp::Red);

    // Pause and Resume keep the port red.
    run->pause();
    run->resume();
    EXPECT_EQ(view.comPortLamp, Lamp::Red);
    EXPECT_EQ(view.status, kNoPort);

    app->saveAnswers = {documents + "/run1.xls"};
    run->stop(macro);
    EXPECT_EQ(run->state(), RunState::Stopped);
    EXPECT_EQ(app->books[0]->savedAs, QStringList{documents + "/run1.xls"});
    EXPECT_EQ(app->quitCount, 1);
    EXPECT_EQ(view.comPortLamp, Lamp::Frame);

    // The next run starts with a working port again.
    factory.prepare();
    start();
    tickWith("1\r\n");
    EXPECT_EQ(view.comPortLamp, Lamp::Green);
    EXPECT_EQ(view.status, "Bytes Received: 3");
}

TEST_F(AcquisitionRunTest, AReturningDeviceIsReopenedAndTheRunGoesOnInTheNextRows)
{
    ReceivedText received;
    run->setStreamWatch(&received);
    start();
    tickWith("1\r\n2.345");
    pullOut();
    tick();
    EXPECT_EQ(view.comPortLamp, Lamp::Red);
    EXPECT_EQ(view.status, kNoPort);
    EXPECT_EQ(view.comPortTip, kMissing.text);
    EXPECT_FALSE(comm.portOpen());
    EXPECT_TRUE(watch->watching());
    EXPECT_EQ(watch->path, comm.devicePath);

    watch->look(); // the device is back
    EXPECT_TRUE(comm.portOpen());
    EXPECT_EQ(comm.openCount, 2);
    EXPECT_EQ(comm.settings(), "9600,N,8,1");
    EXPECT_FALSE(watch->watching());
    EXPECT_EQ(view.comPortLamp, Lamp::Green);
    EXPECT_EQ(view.comPortTip, "");
    EXPECT_EQ(view.status, "Bytes Received: 8");
    EXPECT_EQ(run->state(), RunState::Running);
    // The line broken off is dropped: its end was sent while the device was
    // away, and joined to what comes now it would make a wrong line.
    EXPECT_EQ(run->pendingText(), "");

    tickWith("6\r\n7\r\n");
    EXPECT_EQ(cell(1, 1), "1");
    EXPECT_EQ(cell(2, 1), "6");
    EXPECT_EQ(cell(3, 1), "7");

    // Broken off between CR and LF: an LF first after the return ends the
    // dropped line and is no part of the next one.
    tickWith("8\r");
    pullOut();
    tick();
    watch->look();
    tickWith("\n9\r\n");
    EXPECT_EQ(cell(4, 1), "9");
    EXPECT_EQ(run->nextRow(), 5);
    EXPECT_EQ(watch->watches, 2);
    QStringList marks;
    for (qsizetype i = 0; i < received.lineCount(); ++i)
        marks.append(ReceivedText::markText(received.line(i)));
    EXPECT_EQ(marks, QStringList({"block 1, row 1", "left out: the port was lost", "block 1, row 2", "block 1, row 3",
                                  "left out: the port was lost", "block 1, row 4"}));

    // The journal holds every byte, and Stop finds no line missing from the
    // workbook: it saves as usual.
    app->saveAnswers = {documents + "/replug.xls"};
    run->stop(macro);
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_EQ(app->books[0]->savedAs, QStringList{documents + "/replug.xls"});
    EXPECT_EQ(readFile(run->journal().rawPath()), "1\r\n2.3456\r\n7\r\n8\r\n9\r\n");
    EXPECT_TRUE(readFile(run->journal().summaryPath()).contains("left out when the port was lost: 2\n"));

    // The journal marks where the port came back, so a replay drops the same
    // lines and fills the same cells.
    FakeSpreadsheetApp replayed;
    replayed.open(master);
    JournalReader reader;
    QString error;
    ASSERT_TRUE(reader.open(run->journal().rawPath(), &error)) << error.toStdString();
    const std::optional<Failure> failure = RunReplay(replayed).replay(reader);
    ASSERT_FALSE(failure) << failure->reason.toStdString();
    EXPECT_EQ(replayed.books[0]->sheets, app->books[0]->sheets);
}

TEST_F(AcquisitionRunTest, AReopenThatFailsIsTriedAgainAtTheNextLook)
{
    start();
    pullOut();
    tick();
    // Back, but not yet open to this user (the permissions are set a moment later).
    const OpenFailure refused{OpenFailure::Kind::Permission, "This user may not open COM1 ..."};
    comm.failOpen = [&] {
        comm.openFailure = refused;
        throw CommError(8005, "Port already open");
    };
    watch->look();
    EXPECT_FALSE(comm.portOpen());
    EXPECT_TRUE(watch->watching());
    EXPECT_EQ(view.comPortLamp, Lamp::Red);
    EXPECT_EQ(view.status, kNoPort);
    EXPECT_EQ(view.comPortTip, refused.text);

    watch->look();
    EXPECT_TRUE(comm.portOpen());
    EXPECT_FALSE(watch->watching());
    EXPECT_EQ(view.comPortLamp, Lamp::Green);
    EXPECT_EQ(view.status, "Ready");
    EXPECT_EQ(view.comPortTip, "");
}

TEST_F(AcquisitionRunTest, PauseAndResumeWorkAtAnyPointOfAVanish)
{
    start();
    tickWith("1\r\n");
    pullOut();
    tick();
    run->pause();
    EXPECT_EQ(view.status, "Paused");
    EXPECT_TRUE(view.timerEnabled); // the tick goes on reading the port
    EXPECT_TRUE(watch->watching()); // the watch does not need the tick

    // Resumed while the device is away: red until it is back.
    run->resume();
    EXPECT_EQ(view.comPortLamp, Lamp::Red);
    EXPECT_EQ(view.status, kNoPort);
    tick();
    EXPECT_EQ(view.status, kNoPort);

    // Back during a pause: the port opens, the pause keeps its display.
    run->pause();
    watch->look();
    EXPECT_TRUE(comm.portOpen());
    EXPECT_FALSE(watch->watching());
    EXPECT_EQ(view.comPortLamp, Lamp::Yellow);
    EXPECT_EQ(view.excelLamp, Lamp::Yellow);
    EXPECT_EQ(view.status, "Paused");
    EXPECT_TRUE(view.timerEnabled); // the tick goes on reading the port
    EXPECT_EQ(run->state(), RunState::Paused);

    send("2\r\n");
    run->resume();
    EXPECT_EQ(view.comPortLamp, Lamp::Green);
    EXPECT_EQ(view.status, "Bytes Received: 3");
    tick();
    EXPECT_EQ(cell(2, 1), "2");

    // Pulled out and put back within a pause: the read after Resume fails,
    // the device is there already, and the port opens again at once.
    run->pause();
    comm.failInput = [] { throw CommError(8020, "Error reading comm device"); };
    run->resume();
    tick();
    EXPECT_TRUE(comm.portOpen());
    EXPECT_FALSE(watch->watching());
    EXPECT_EQ(view.comPortLamp, Lamp::Green);
    tickWith("3\r\n");
    EXPECT_EQ(cell(3, 1), "3");
}

TEST_F(AcquisitionRunTest, StopWhileThePortIsGoneEndsTheWatchAndStopsAsUsual)
{
    start();
    tickWith("1\r\n");
    pullOut();
    tick();
    ASSERT_TRUE(watch->watching());
    app->saveAnswers = {documents + "/gone.xls"};
    run->stop(macro);
    EXPECT_FALSE(watch->watching());
    EXPECT_EQ(run->state(), RunState::Stopped);
    EXPECT_FALSE(comm.portOpen());
    EXPECT_EQ(view.comPortLamp, Lamp::Frame);
    EXPECT_EQ(app->books[0]->savedAs, QStringList{documents + "/gone.xls"});
    EXPECT_EQ(app->quitCount, 1);

    // The next run opens the port as usual and watches nothing.
    factory.prepare();
    start();
    EXPECT_TRUE(comm.portOpen());
    EXPECT_FALSE(watch->watching());
}

// ---- Emulator input --------------------------------------------------------------

TEST_F(AcquisitionRunTest, EmulatorMailboxReplacesTheSerialPort)
{
    start();
    feed.active = true;
    send("serial\r\n");
    feed.output = "1 :: 2\r\n";
    tick();
    EXPECT_EQ(cell(1, 1), "1");
    EXPECT_EQ(comm.pending, "serial\r\n"); // not read while the emulator is loaded
    EXPECT_TRUE(feed.output.isEmpty());
    EXPECT_EQ(run->bytesReceived(), 8);
    tick(); // empty mailbox: nothing
    EXPECT_EQ(run->bytesReceived(), 8);
}

TEST_F(AcquisitionRunTest, InjectTabTurnsTheNextNumberIntoATwoFieldLine)
{
    start();
    feed.active = true;
    feed.injectTab = true;

    // A separator carries no number: it passes and the request waits.
    feed.output = "\r\n\r\n\r\n";
    tick();
    EXPECT_TRUE(feed.injectTab);
    EXPECT_EQ(feed.injectTabCleared, 0);
    EXPECT_EQ(run->blockColumn(), 2);

    feed.output = "9999\r\n";
    tick();
    EXPECT_EQ(cell(2, 2), "9999");
    EXPECT_EQ(cell(2, 3), "10000");
    EXPECT_FALSE(feed.injectTab);
    EXPECT_EQ(feed.injectTabCleared, 1);
    EXPECT_EQ(run->bytesReceived(), 6 + 12);

    feed.injectTab = true;
    feed.output = " -2.5\r\n";
    tick();
    EXPECT_EQ(cell(3, 2), "-2.5");
    EXPECT_EQ(cell(3, 3), "-1.5");

    feed.injectTab = true;
    feed.output = "1.5E20\r\n";
    tick();
    EXPECT_EQ(cell(4, 2), "1.5E+20");

    // Beyond the range of a 64-bit integer, and beyond a double's.
    feed.injectTab = true;
    feed.output = "-1E19\r\n";
    tick();
    EXPECT_EQ(cell(5, 2), "-1E+19");
    feed.injectTab = true;
    feed.output = "1e999\r\n";
    tick();
    EXPECT_EQ(cell(6, 2), "INF");
    EXPECT_EQ(cell(6, 3), "INF");
}

// ---- Pause and resume ---------------------------------------------------------------

TEST_F(AcquisitionRunTest, PauseAndResumeOnlyActInTheirState)
{
    run->pause();
    run->resume();
    EXPECT_EQ(view.calls, 0);

    start();
    const int calls = view.calls;
    run->resume();
    EXPECT_EQ(view.calls, calls);

    run->pause();
    EXPECT_EQ(run->state(), RunState::Paused);
    EXPECT_TRUE(view.timerEnabled); // the tick goes on reading the port
    EXPECT_FALSE(view.pauseEnabled);
    EXPECT_TRUE(view.resumeEnabled);
    EXPECT_FALSE(view.pauseInFront);
    EXPECT_EQ(view.comPortLamp, Lamp::Yellow);
    EXPECT_EQ(view.excelLamp, Lamp::Yellow);
    EXPECT_EQ(view.status, "Paused");

    const int pausedCalls = view.calls;
    run->pause();
    EXPECT_EQ(view.calls, pausedCalls);

    run->resume();
    EXPECT_EQ(run->state(), RunState::Running);
    EXPECT_TRUE(view.timerEnabled);
    EXPECT_TRUE(view.pauseEnabled);
    EXPECT_FALSE(view.resumeEnabled);
    EXPECT_TRUE(view.pauseInFront);
    EXPECT_EQ(view.comPortLamp, Lamp::Green);
    EXPECT_EQ(view.excelLamp, Lamp::Green);
    EXPECT_EQ(view.status, "Ready");
    EXPECT_EQ(run->nextRow(), 1);
}

TEST_F(AcquisitionRunTest, DataSentDuringPauseArrivesInOrderAfterResume)
{
    start();
    tickWith("1\r\n2");
    run->pause();
    send("\r\n3\r\n");
    send(QByteArray(12340, 'x')); // a partial line, to make the count grouped
    run->resume();
    EXPECT_EQ(view.status, "Bytes Received: 4"); // nothing read yet

    tick();
    EXPECT_EQ(cell(1, 1), "1");
    EXPECT_EQ(cell(2, 1), "2");
    EXPECT_EQ(cell(3, 1), "3");
    EXPECT_EQ(view.status, "Bytes Received: 12349");

    // Grouped by the user's thousands separator.
    run->pause();
    run->resume();
    EXPECT_EQ(view.status, "Bytes Received: 12,349");
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    run->pause();
    run->resume();
    EXPECT_EQ(view.status, "Bytes Received: 12.349");
    QLocale::setDefault(before);
}

} // namespace

TEST_F(AcquisitionRunTest, AFullSheetGoesOnInANewSheetAfterIt)
{
    start();
    app->keepCells = false; // a million cells are only counted
    const qint64 lines = 1048576 + 4;
    feed.active = true;
    feed.output = QByteArray("7\r\n").repeated(lines);
    tick(); // fills the sheet; the lines beyond wait for the next tick
    EXPECT_EQ(run->nextRow(), 1048577);
    tick();
    EXPECT_EQ(app->cellsWritten, lines);
    EXPECT_EQ(app->addedSheets, QStringList{"Sheet1 2"});
    EXPECT_EQ(run->nextRow(), 5);

    app->keepCells = true;
    feed.output = "8\r\n";
    tick();
    EXPECT_TRUE(workingBook()->cell(5, 1, "Sheet1 2").has_value());
    EXPECT_FALSE(view.status.contains("closed"));

    // The summary counts the rows of both sheets and every cell written.
    run->stop(macro);
    const QByteArray summary = readFile(run->journal().summaryPath());
    EXPECT_TRUE(summary.contains("Rows used: " + QByteArray::number(lines + 1) + " (in 2 sheets)\n"))
        << summary.toStdString();
    EXPECT_TRUE(summary.contains("Cells written: " + QByteArray::number(app->cellsWritten) + "\n"))
        << summary.toStdString();
}
