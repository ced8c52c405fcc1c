// An acquisition run with the real parts: the serial port over a socat
// pseudo-terminal pair (the test plays the instrument on the far end), a
// headless LibreOffice Calc, and a 100 ms Qt timer driving the tick. The
// saved workbook is read back by converting it to CSV with another office.
#include "AcquisitionRig.h"
#include "AcquisitionRun.h"
#include "FakeAcquisitionView.h"
#include "FakeEmulatorFeed.h"
#include "MacroSettings.h"
#include "QStringPrinter.h"
#include "SavedSheet.h"
#include "StatusTexts.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <signal.h>

namespace {

// The main window as the run sees it, with a real 100 ms timer and a real
// event run.
class LiveView : public FakeAcquisitionView {
public:
    LiveView() { timer.setInterval(100); }
    void setTimerEnabled(bool enabled) override
    {
        FakeAcquisitionView::setTimerEnabled(enabled);
        if (enabled)
            timer.start();
        else
            timer.stop();
    }
    void processEvents() override
    {
        FakeAcquisitionView::processEvents();
        QCoreApplication::processEvents();
    }
    QTimer timer;
};

class AcquisitionLiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(rig.setUp(), "");
        run = std::make_unique<AcquisitionRun>(view, *rig.comm, *rig.factory, rig.boxes, feed, rig.programFolder);
        QObject::connect(&view.timer, &QTimer::timeout, [this] { run->tick(); });
    }

    void TearDown() override
    {
        if (run && run->state() != RunState::Stopped) {
            rig.saveAnswer.clear();
            run->stop(macro);
        }
        run.reset();
    }

    void send(const QByteArray &bytes) { ASSERT_TRUE(rig.send(bytes)); }
    // Sends and waits until the run has taken in everything sent so far.
    bool sendReceived(const QByteArray &bytes)
    {
        return rig.send(bytes) && waitUntil([this] { return run->bytesReceived() >= rig.sent; }, 10000);
    }

    AcquisitionRig rig;
    MacroSettings macro;
    FakeEmulatorFeed feed;
    LiveView view;
    std::unique_ptr<AcquisitionRun> run;
};

TEST_F(AcquisitionLiveTest, InstrumentTextLandsInTheSavedWorkbook)
{
    run->start();
    ASSERT_EQ(run->state(), RunState::Running) << view.status.toStdString();
    EXPECT_EQ(view.status, "Ready");
    EXPECT_TRUE(view.timer.isActive());

    ASSERT_TRUE(sendReceived("5.1\r\n5.2\r\n"));
    // A separator and a line split across ticks, a CR LF split across ticks.
    ASSERT_TRUE(sendReceived("\r\n\r\n\r\n6."));
    ASSERT_TRUE(waitForTicks(view.timer, 2));
    ASSERT_TRUE(sendReceived("1\r"));
    ASSERT_TRUE(waitForTicks(view.timer, 2));
    EXPECT_EQ(run->pendingText(), "6.1\r");
    send("\n");
    // Record lines: single and several spaces, two in one piece.
    send("1 0001 :: 06/12/2026 14:30:00 = 523 X\r\n"
         "2  0002  ::   06/12/2026  14:31:00   =  524  Y  \r\n");
    // Four empty lines: a separator and one empty data line.
    send("\r\n\r\n\r\n\r\n7\r\n");
    // On to column 255, then a three-field line against the column limit.
    QByteArray separators;
    for (int i = 0; i < 252; ++i)
        separators += "\r\n\r\n\r\n";
    ASSERT_TRUE(sendReceived(separators + "a\tb\tc\r\n"));
    ASSERT_TRUE(waitUntil([this] { return run->pendingText().isEmpty(); }, 10000));
    EXPECT_EQ(run->blockColumn(), 255);
    EXPECT_EQ(view.status, "Bytes Received: " + QString::number(rig.sent));
    EXPECT_EQ(view.excelLamp, Lamp::Green);

    const QString saved = rig.outputFile("results.xls");
    rig.saveAnswer = saved;
    const pid_t office = rig.factory->last->processGroup();
    run->stop(macro);
    EXPECT_EQ(rig.prompts, QStringList{"Please rename this workbook|Excel workbook (*.xls)"});
    ASSERT_TRUE(QFileInfo::exists(saved));
    EXPECT_EQ(run->spreadsheet(), nullptr);
    EXPECT_TRUE(AcquisitionRig::officeEnded(office));

    const SavedSheet rows = SavedSheet::read(saved);
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_EQ(rows.at(1, 1), "5.1");
    EXPECT_EQ(rows.at(2, 1), "5.2");
    EXPECT_TRUE(SavedSheet::isHours(rows.at(1, 2))) << rows.at(1, 2).toStdString();
    EXPECT_EQ(rows.at(2, 2), "6.1");
    EXPECT_EQ(rows.at(3, 2), "1"); // "0001" is a plain number
    EXPECT_EQ(rows.at(3, 4), "14:30:00");
    EXPECT_EQ(rows.at(3, 5), "523");
    EXPECT_EQ(rows.at(3, 6), "X");
    EXPECT_EQ(rows.at(3, 7), "");
    EXPECT_EQ(rows.at(4, 1), "2");
    EXPECT_EQ(rows.at(4, 4), "14:31:00");
    EXPECT_EQ(rows.at(4, 6), "Y");
    EXPECT_FALSE(rows.at(1, 3).isEmpty()); // time stamp of the third block
    EXPECT_EQ(rows.at(2, 3), "");
    EXPECT_EQ(rows.at(3, 3), "7"); // the third block's data overwrites the record line's cell
    EXPECT_FALSE(rows.at(1, 255).isEmpty());
    EXPECT_EQ(rows.at(2, 255), "a");
    EXPECT_EQ(rows.at(2, 256), "b");
    EXPECT_EQ(rows.at(2, 257), "");
}

TEST_F(AcquisitionLiveTest, PortMissingQuitsTheOffice)
{
    rig.comm->setCommPort(6);
    run->start();
    EXPECT_EQ(run->state(), RunState::Stopped);
    EXPECT_EQ(view.status, kNoPort);
    EXPECT_EQ(view.comPortLamp, Lamp::Red);
    EXPECT_EQ(view.excelLamp, Lamp::Green);
    ASSERT_TRUE(rig.factory->last);
    const pid_t office = rig.factory->last->processGroup();
    EXPECT_EQ(run->spreadsheet(), nullptr);
    // Still referenced here, so only the run's Quit can end it.
    EXPECT_TRUE(AcquisitionRig::officeEnded(office));
}

TEST_F(AcquisitionLiveTest, OfficeMissing)
{
    CalcSpreadsheetFactory missing({}, "/nonexistent/soffice");
    missing.setConnectTimeout(std::chrono::milliseconds(3000));
    AcquisitionRun other(view, *rig.comm, missing, rig.boxes, feed, rig.programFolder);
    other.start();
    EXPECT_EQ(other.state(), RunState::Stopped);
    EXPECT_EQ(view.status, "We cannot start MS Excel; it may not be loaded on this computer.");
    EXPECT_EQ(view.excelLamp, Lamp::Red);
    EXPECT_FALSE(rig.comm->portOpen());
}

TEST_F(AcquisitionLiveTest, StoppedOfficeIsBlockedThenCatchesUpKilledOfficeIsClosed)
{
    run->start();
    ASSERT_EQ(run->state(), RunState::Running);
    ASSERT_TRUE(sendReceived("1\r\n"));
    ASSERT_TRUE(waitUntil([this] { return run->nextRow() == 2; }, 5000));

    const pid_t office = rig.factory->last->processGroup();
    ASSERT_EQ(::kill(-office, SIGSTOP), 0);
    send("2\r\n");
    const bool blocked = waitUntil([this] { return view.status == kBlocked; }, 10000);
    ::kill(-office, SIGCONT);
    ASSERT_TRUE(blocked);
    EXPECT_EQ(view.excelLamp, Lamp::Yellow);
    EXPECT_FALSE(view.pauseEnabled);

    ASSERT_TRUE(waitUntil([this] { return run->nextRow() == 3; }, 10000));
    EXPECT_EQ(view.excelLamp, Lamp::Green);
    EXPECT_TRUE(view.pauseEnabled);

    ASSERT_EQ(::kill(-office, SIGKILL), 0);
    send("3\r\n");
    ASSERT_TRUE(waitUntil([this] { return view.status == kClosed; }, 10000));
    EXPECT_EQ(view.excelLamp, Lamp::Red);
    EXPECT_EQ(run->state(), RunState::Running);
    EXPECT_EQ(run->pendingText(), "3\r\n");
    run->stop(macro);
    EXPECT_EQ(run->state(), RunState::Stopped);
    EXPECT_EQ(run->spreadsheet(), nullptr);
}

TEST_F(AcquisitionLiveTest, PortVanishingMidRunIsShownAndStopStillWorks)
{
    run->start();
    ASSERT_EQ(run->state(), RunState::Running);
    ASSERT_TRUE(sendReceived("1\r\n2"));
    rig.pty.stop();
    ASSERT_TRUE(waitUntil([this] { return view.status == kNoPort; }, 5000));
    EXPECT_EQ(view.comPortLamp, Lamp::Red);
    EXPECT_EQ(run->state(), RunState::Running);
    EXPECT_EQ(run->nextRow(), 2);
    ASSERT_TRUE(waitForTicks(view.timer, 3)); // ticks go on quietly
    EXPECT_EQ(view.status, kNoPort);

    rig.saveAnswer = rig.outputFile("vanished.xls");
    run->stop(macro);
    EXPECT_TRUE(QFileInfo::exists(rig.saveAnswer));
    EXPECT_EQ(view.comPortLamp, Lamp::Frame);
}

} // namespace
