// A port that vanishes during a run and comes back, against test doubles of
// the main window, the port and the spreadsheet.
#include "ReceivedText.h"
#include "RunFixture.h"

namespace {

class RunPortLossTest : public RunFixture {};

TEST_F(RunPortLossTest, PortVanishingMidRunKeepsWhatWasReceived)
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
    stop();
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

TEST_F(RunPortLossTest, AReturningDeviceIsReopenedAndTheRunGoesOnInTheNextRows)
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
    stop();
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_EQ(app->books[0]->savedAs, QStringList{documents + "/replug.xls"});
    EXPECT_EQ(readFile(run->journal().rawPath()), "1\r\n2.3456\r\n7\r\n8\r\n9\r\n");
    EXPECT_TRUE(readFile(run->journal().summaryPath()).contains("left out when the port was lost: 2\n"));

    // The journal marks where the port came back, so a replay drops the same
    // lines and fills the same cells.
    FakeSpreadsheetApp replayed;
    replayed.open(master);
    JournalReader reader;
    const std::optional<Failure> unread = reader.open(run->journal().rawPath());
    ASSERT_FALSE(unread) << unread->reason.toStdString();
    const std::optional<Failure> failure = RunReplay(replayed).replay(reader);
    ASSERT_FALSE(failure) << failure->reason.toStdString();
    EXPECT_EQ(replayed.books[0]->sheets, app->books[0]->sheets);
}

TEST_F(RunPortLossTest, AReopenThatFailsIsTriedAgainAtTheNextLook)
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

TEST_F(RunPortLossTest, PauseAndResumeWorkAtAnyPointOfAVanish)
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

TEST_F(RunPortLossTest, StopWhileThePortIsGoneEndsTheWatchAndStopsAsUsual)
{
    start();
    tickWith("1\r\n");
    pullOut();
    tick();
    ASSERT_TRUE(watch->watching());
    app->saveAnswers = {documents + "/gone.xls"};
    stop();
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

} // namespace
