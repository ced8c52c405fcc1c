// Pause and resume of an acquisition run, against test doubles of the main
// window, the port and the spreadsheet.
#include "ReceivedText.h"
#include "RunFixture.h"

#include <QLocale>

namespace {

class RunPauseTest : public RunFixture {};

// ---- Pause and resume ---------------------------------------------------------------

TEST_F(RunPauseTest, PauseAndResumeOnlyActInTheirState)
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

TEST_F(RunPauseTest, DataSentDuringPauseArrivesInOrderAfterResume)
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
