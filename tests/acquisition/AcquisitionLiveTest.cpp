// An acquisition run with the real parts: the serial port over a socat
// pseudo-terminal pair (the test plays the instrument on the far end), a
// headless LibreOffice Calc, and a 100 ms Qt timer driving the tick. The
// saved workbook is read back by converting it to CSV with another office.
#include "AcquisitionRun.h"
#include "CalcSpreadsheetApp.h"
#include "CalcSpreadsheetFactory.h"
#include "FakeAcquisitionView.h"
#include "FolderLookup.h"
#include "KeepingCalcFactory.h"
#include "FakeEmulatorFeed.h"
#include "MacroSettings.h"
#include "MSComm.h"
#include "OfficeProcess.h"
#include "PtyPair.h"
#include "QStringPrinter.h"
#include "RecordingMessageBoxes.h"
#include "SavedSheet.h"
#include "WaitUntil.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace {

const QString kBlocked =
    "MS Excel is blocked: please close the cell you're editing or finish the dialog that's open.";
const QString kClosed =
    "Our MS Excel spreadsheet has been closed:  we cannot record any more of your data.";

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

// A living (not zombie) process left in the office's process group.
bool officeAlive(pid_t group) { return group > 0 && OfficeProcess::groupAlive(group); }

class AcquisitionLiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        programFolder = qEnvironmentVariable("HALVERN_BIN_DIR");
        ASSERT_TRUE(QFileInfo::exists(programFolder + "/spreadsheet.xls"))
            << "master workbook missing in " << programFolder.toStdString();
        ASSERT_TRUE(pty.start());
        QFile map(settings.path() + "/ports.conf");
        ASSERT_TRUE(map.open(QIODevice::WriteOnly));
        map.write(("COM5=" + pty.endA() + "\nCOM6=" + settings.path() + "/no-such-device\n").toUtf8());
        map.close();
        comm = std::make_unique<MSComm>(PortMap(settings.path()));
        comm->setCommPort(5);
        peer = ::open(pty.endB().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        ASSERT_GE(peer, 0);

        ASSERT_TRUE(GetFolderPath(CSIDL_PERSONAL, documents, boxes));
        QFile::remove(documents + "/spreadsheet.xls");

        calc = std::make_unique<CalcSpreadsheetFactory>(
            [this](const QString &title, const QString &filter) {
                prompts.append(title + "|" + filter);
                return saveAnswer;
            });
        factory = std::make_unique<KeepingCalcFactory>(*calc);
        run = std::make_unique<AcquisitionRun>(view, *comm, *factory, boxes, feed, programFolder);
        QObject::connect(&view.timer, &QTimer::timeout, [this] { run->tick(); });
    }

    void TearDown() override
    {
        if (run && run->state() != RunState::Stopped) {
            saveAnswer = "False";
            run->stop(macro);
        }
        run.reset();
        if (peer >= 0)
            ::close(peer);
    }

    void send(const QByteArray &bytes)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(peer, bytes.constData() + done, bytes.size() - done);
            ASSERT_GT(n, 0);
            done += n;
        }
        sent += bytes.size();
    }
    // Waits until the run has taken in everything sent so far.
    bool received(int timeoutMs = 10000)
    {
        return waitUntil([this] { return run->bytesReceived() >= sent; }, timeoutMs);
    }

    QString programFolder;
    QTemporaryDir settings;
    QTemporaryDir output;
    PtyPair pty;
    int peer = -1;
    std::unique_ptr<MSComm> comm;
    QString documents;
    QStringList prompts;
    QString saveAnswer = "False";
    MacroSettings macro;
    FakeEmulatorFeed feed;
    LiveView view;
    RecordingMessageBoxes boxes;
    std::unique_ptr<CalcSpreadsheetFactory> calc;
    std::unique_ptr<KeepingCalcFactory> factory;
    std::unique_ptr<AcquisitionRun> run;
    qint64 sent = 0;
};

TEST_F(AcquisitionLiveTest, InstrumentTextLandsInTheSavedWorkbook)
{
    run->start();
    ASSERT_EQ(run->state(), RunState::Running) << view.status.toStdString();
    EXPECT_EQ(view.status, "Ready");
    EXPECT_TRUE(view.timer.isActive());

    send("5.1\r\n5.2\r\n");
    ASSERT_TRUE(received());
    // A separator and a line split across ticks, a CR LF split across ticks.
    send("\r\n\r\n\r\n6.");
    ASSERT_TRUE(received());
    runEventLoop(250);
    send("1\r");
    ASSERT_TRUE(received());
    runEventLoop(250);
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
    send(separators + "a\tb\tc\r\n");
    ASSERT_TRUE(received());
    ASSERT_TRUE(waitUntil([this] { return run->pendingText().isEmpty(); }, 10000));
    EXPECT_EQ(run->blockColumn(), 255);
    EXPECT_EQ(view.status, "Bytes Received: " + QString::number(sent));
    EXPECT_EQ(view.excelLamp, Lamp::Green);

    const QString saved = output.path() + "/results.xls";
    saveAnswer = saved;
    const pid_t office = factory->last->processGroup();
    run->stop(macro);
    EXPECT_EQ(prompts, QStringList{"Please rename this workbook|Excel workbook (*.xls)"});
    ASSERT_TRUE(QFileInfo::exists(saved));
    EXPECT_EQ(run->spreadsheet(), nullptr);
    EXPECT_TRUE(waitUntil([office] { return !officeAlive(office); }, 15000));

    const SavedSheet rows = SavedSheet::read(saved);
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_EQ(rows.at(1, 1), "5.1");
    EXPECT_EQ(rows.at(2, 1), "5.2");
    bool isNumber = false;
    const double stamp = rows.at(1, 2).toDouble(&isNumber);
    EXPECT_TRUE(isNumber && stamp >= 0 && stamp <= 24) << rows.at(1, 2).toStdString();
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
    comm->setCommPort(6);
    run->start();
    EXPECT_EQ(run->state(), RunState::Stopped);
    EXPECT_EQ(view.status, "COM port not available");
    EXPECT_EQ(view.comPortLamp, Lamp::Red);
    EXPECT_EQ(view.excelLamp, Lamp::Green);
    ASSERT_TRUE(factory->last);
    const pid_t office = factory->last->processGroup();
    EXPECT_EQ(run->spreadsheet(), nullptr);
    // Still referenced here, so only the run's Quit can end it.
    EXPECT_TRUE(waitUntil([office] { return !officeAlive(office); }, 15000));
}

TEST_F(AcquisitionLiveTest, OfficeMissing)
{
    CalcSpreadsheetFactory missing({}, "/nonexistent/soffice");
    missing.setConnectTimeout(std::chrono::milliseconds(3000));
    AcquisitionRun other(view, *comm, missing, boxes, feed, programFolder);
    other.start();
    EXPECT_EQ(other.state(), RunState::Stopped);
    EXPECT_EQ(view.status, "We cannot start MS Excel; it may not be loaded on this computer.");
    EXPECT_EQ(view.excelLamp, Lamp::Red);
    EXPECT_FALSE(comm->portOpen());
}

TEST_F(AcquisitionLiveTest, StoppedOfficeIsBlockedThenCatchesUpKilledOfficeIsClosed)
{
    run->start();
    ASSERT_EQ(run->state(), RunState::Running);
    send("1\r\n");
    ASSERT_TRUE(received());
    ASSERT_TRUE(waitUntil([this] { return run->nextRow() == 2; }, 5000));

    const pid_t office = factory->last->processGroup();
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
    send("1\r\n2");
    ASSERT_TRUE(received());
    pty.stop();
    ASSERT_TRUE(waitUntil([this] { return view.status == "COM port not available"; }, 5000));
    EXPECT_EQ(view.comPortLamp, Lamp::Red);
    EXPECT_EQ(run->state(), RunState::Running);
    EXPECT_EQ(run->nextRow(), 2);
    runEventLoop(300); // ticks go on quietly
    EXPECT_EQ(view.status, "COM port not available");

    saveAnswer = output.path() + "/vanished.xls";
    run->stop(macro);
    EXPECT_TRUE(QFileInfo::exists(saveAnswer));
    EXPECT_EQ(view.comPortLamp, Lamp::Frame);
}

} // namespace
