// An acquisition run's tick: what arrived is written and counted, with the
// emulator as a source, against test doubles of the main window, the port and
// the spreadsheet.
#include "ReceivedText.h"
#include "RunFixture.h"

namespace {

class RunTickTest : public RunFixture {};

// ---- Tick ----------------------------------------------------------------------

TEST_F(RunTickTest, TickWritesWhatArrivedAndCountsIt)
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

TEST_F(RunTickTest, TickWhenStoppedSwitchesTheTimerOffAndReadsNothing)
{
    view.timerEnabled = true;
    tick();
    EXPECT_FALSE(view.timerEnabled);
}

TEST_F(RunTickTest, APausedTickKeepsTheInstrumentsTextInTheJournalAndWritesItInOrderAfterResume)
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

TEST_F(RunTickTest, BlockedSpreadsheetHoldsTheLineAndDisablesPause)
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

TEST_F(RunTickTest, ClosedSpreadsheetIsShownRedAndTheRunGoesOn)
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

TEST_F(RunTickTest, LinesThatCannotBeWrittenWarnButDoNotStopTheRun)
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
    stop();
    start();
    send("x\r\n");
    tick();
    EXPECT_EQ(factory.last()->book("spreadsheet.xls")->text(1, 1), "x");
}

// ---- Emulator input --------------------------------------------------------------

TEST_F(RunTickTest, EmulatorMailboxReplacesTheSerialPort)
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

TEST_F(RunTickTest, AFullSheetGoesOnInANewSheetAfterIt)
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
    stop();
    const QByteArray summary = readFile(run->journal().summaryPath());
    EXPECT_TRUE(summary.contains("Rows used: " + QByteArray::number(lines + 1) + " (in 2 sheets)\n"))
        << summary.toStdString();
    EXPECT_TRUE(summary.contains("Cells written: " + QByteArray::number(app->cellsWritten) + "\n"))
        << summary.toStdString();
}

} // namespace
