#include "DownloadSession.h"
#include "FirmwareFixture.h"
#include "FolderLookup.h"
#include "NumberReader.h"

#include <QDir>
#include <QFile>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <memory>

namespace {
const QByteArray kAnnouncement = "\r\nQuentaro Works flash loader :V2.10 ready\r\n:OK :\r\n:LST:01";
const QByteArray kOk = ":OK :\r\n:LST:01";
const QByteArray kWordEnd = "\r\nword 0000000 rec 000001\r\n:OK :\r\n:LST:01";
const QByteArray kTermEnd = "\r\nTERM\r\n:OK :\r\n:LST:01";

QString logFolder() { return qEnvironmentVariable("XDG_DATA_DIRS").split(':').value(0) + "/Quentaro Works/Halvern"; }

// The session with a fake port, a fake clock and a loader that answers each
// packet; the firmware files are set per test.
class SessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeFile(dir.path() + "/KeyChain.txt", "Halvern,Halvern,Quentaro Works\r\n");
        writeFile(dir.path() + "/Firmware/hold.ldf", "; hold the loader\r\nsend 72 79\r\nsend 1\r\n");
        QDir(logFolder()).removeRecursively();
        QDir().mkpath(logFolder());
        port.setSettings("9600,N,8,1");
        port.setInputLen(5);
        port.setInputMode(1);
        // The loader announces itself whenever the window asks for a power cycle.
        clock.onTick = [this](qint64) {
            if (announce && port.portOpen() && view.pleasePowerCycle && port.pending.isEmpty())
                port.pending += announcement;
        };
        session = std::make_unique<DownloadSession>(port, boxes, clock, view, dir.path());
        ASSERT_TRUE(session->load());
    }

    void firmware(const QString &name, const QByteArray &content)
    {
        writeFile(dir.path() + "/Firmware/" + name, content);
    }
    QByteArray logText() { return withoutTimes(readFile(logFolder() + "/DownloadLog.txt")); }
    QStringList titles() const { return boxes.titles(); }

    QTemporaryDir dir;
    FakeSerialComm port;
    ScriptedLoader loader{port};
    RecordingMessageBoxes boxes;
    FakeWaitClock clock;
    RecordingView view;
    bool announce = true;
    QByteArray announcement = kAnnouncement;
    std::unique_ptr<DownloadSession> session;
};
} // namespace

TEST(DownloadEstimate, TextsAtTheMinuteBoundaries)
{
    EXPECT_EQ(DownloadSession::estimateText(376361), "This update will take less than a minute.");
    EXPECT_EQ(DownloadSession::estimateText(382740), "This update will take less than 2 minutes.");
    EXPECT_EQ(DownloadSession::estimateText(1000000), "This update will take less than 3 minutes.");
    EXPECT_EQ(DownloadSession::estimateText(0), "This update will take less than a minute.");
    EXPECT_THROW(DownloadSession::estimateText(INT32_MAX), std::overflow_error);
}

TEST(DownloadEstimate, VersionsCompareByCharacterCode)
{
    EXPECT_FALSE(DownloadSession::loaderIsUpToDate("2.10", "2.9"));
    EXPECT_TRUE(DownloadSession::loaderIsUpToDate("2.9", "2.9"));
    EXPECT_TRUE(DownloadSession::loaderIsUpToDate("2.9", "2.10"));
    EXPECT_FALSE(DownloadSession::loaderIsUpToDate("2", "2.9"));
    EXPECT_TRUE(DownloadSession::loaderIsUpToDate("", ""));
}

TEST_F(SessionTest, FullSessionSendsTheFilesInOrderAndGivesThePortBack)
{
    firmware("fc.ldf", "send 10\r\nsend 11\r\n");
    firmware("lf.ldf", "; loader\r\n;  Version 2.9\r\nsend 20\r\n");
    firmware("ff.ldf", "send 30\r\n");
    firmware("af.ldf", "send 40\r\n");
    // hold, fc 10, fc 11 (TERM), hold, lf 20, hold, ff 30, hold, af 40
    loader.replies = {kOk, kOk, kTermEnd, kOk, kWordEnd, kOk, kWordEnd, kOk, kWordEnd};
    session->run();

    const QByteArray hold = "HO";
    EXPECT_EQ(port.sent, (QList<QByteArray>{hold, "\x0a", "\x0b", hold, "\x14", hold, "\x1e", hold, "\x28"}));
    ASSERT_EQ(titles(), QStringList{"Verify request for update"});
    EXPECT_EQ(boxes.boxes[0].text, "This update will take less than a minute.\r\nClick OK to begin the update.");
    EXPECT_EQ(boxes.boxes[0].buttons, MessageBoxes::Buttons::OkCancel);

    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(port.settings(), "9600,N,8,1");
    EXPECT_EQ(port.inputLen(), 5);
    EXPECT_EQ(port.inputMode(), 1);
    EXPECT_FALSE(session->inSession());
    EXPECT_TRUE(view.success);
    EXPECT_FALSE(view.progressVisible);
    EXPECT_EQ(view.progress.last(), 100);

    const QByteArray log = logText();
    EXPECT_TRUE(log.startsWith("************ Session started: NOW **************\r\n" + kAnnouncement
                               + "\r\n"
                                 "********* File: fc.ldf started at: NOW\r\n"));
    EXPECT_TRUE(log.endsWith("********* File: af.ldf started at: NOW\r\n" + kWordEnd
                             + "\r\n********* File completed successfully at: NOW\r\n"
                               "************ Session ended: NOW **************\r\n"));
    EXPECT_LT(log.indexOf("File: lf.ldf"), log.indexOf("File: ff.ldf"));
}

TEST_F(SessionTest, EqualVersionsSkipTheLoaderFileButCountItsLength)
{
    announcement = "\r\nloader :V 2.9\tx :OK :\r\n:LST:01";
    const QByteArray lf = "; VERSION 2.9\r\nsend 20\r\n";
    const QByteArray ff = "send 30\r\nsend 31\r\n";
    firmware("lf.ldf", lf);
    firmware("ff.ldf", ff);
    // hold, hold, ff 30, ff 31, hold
    loader.replies = {kOk, kOk, kOk, kWordEnd};
    session->run();

    EXPECT_EQ(port.sent, (QList<QByteArray>{"HO", "HO", "\x1e", "\x1f", "HO"}));
    EXPECT_FALSE(logText().contains("lf.ldf"));
    const double total = lf.size() + ff.size();
    ASSERT_GE(view.progress.size(), 2);
    EXPECT_EQ(view.progress[1], int(NumberReader::roundHalfEven((lf.size() + 9 + 1) / total * 100)));
}

TEST_F(SessionTest, CancelInTheConfirmationTouchesNothing)
{
    boxes.answers = {MessageBoxes::Answer::Cancel};
    session->run();
    EXPECT_EQ(titles(), QStringList{"Verify request for update"});
    EXPECT_FALSE(QFile::exists(logFolder() + "/DownloadLog.txt"));
    EXPECT_EQ(port.openCount, 0);
}

TEST_F(SessionTest, FileProblemsBeforeTheConfirmation)
{
    QFile::remove(dir.path() + "/Firmware/hold.ldf");
    session->run();
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_TRUE(boxes.boxes[0].text.startsWith("When opening file: " + dir.path() + "/Firmware/hold.ldf, got Error: "));
    EXPECT_TRUE(boxes.boxes[0].title.startsWith("File OPEN Error #: "));

    boxes.boxes.clear();
    firmware("hold.ldf", "; only a comment\r\nsend\r\nhello\r\n");
    session->run();
    ASSERT_EQ(titles(), QStringList{"File CONTENTS error:"});
    EXPECT_EQ(boxes.boxes[0].text, "No byte stream definition found in file: " + dir.path() + "/Firmware/hold.ldf");

    boxes.boxes.clear();
    firmware("hold.ldf", "send 1\r\n");
    firmware("lf.ldf", "; loader\r\nsend 1\r\n; version 3\r\n");
    session->run();
    ASSERT_EQ(titles(), QStringList{"Error in file: lf.ldf"});
    EXPECT_EQ(boxes.boxes[0].text, "The file does not have a version header.");
    EXPECT_EQ(port.openCount, 0);
}

TEST_F(SessionTest, MissingLogFolderLeavesThePortAlone)
{
    QDir(logFolder()).removeRecursively();
    session->run();
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_TRUE(boxes.boxes[1].text.startsWith("When opening download logfile, got the Error: "));
    EXPECT_TRUE(boxes.boxes[1].text.endsWith("\r\nYou may need privileges as administrator to access this file."));
    EXPECT_TRUE(boxes.boxes[1].title.startsWith("File operation Error #: "));
    EXPECT_TRUE(boxes.boxes[1].title.endsWith(", iWasOK = 22"));
    EXPECT_FALSE(QDir(logFolder()).exists());
    EXPECT_EQ(port.openCount, 0);
}

TEST_F(SessionTest, ALinkOrAnythingButAFileInTheLogsPlaceIsRefusedAndNotWrittenThrough)
{
    const QString log = logFolder() + "/DownloadLog.txt";
    const QString theirs = dir.path() + "/another users file";
    const struct {
        std::function<void()> place;
        const char *reason;
    } cases[] = {
        {[&] {
             writeFile(theirs, "theirs\n");
             QFile::link(theirs, log);
         },
         "is a symbolic link"},
        {[&] { ::mkfifo(QFile::encodeName(log).constData(), 0666); }, "is a pipe"},
        {[&] { QDir().mkpath(log); }, "is a folder"},
    };
    for (const auto &c : cases) {
        QDir(logFolder()).removeRecursively();
        QDir().mkpath(logFolder());
        c.place();
        boxes.boxes.clear();
        session->run();
        ASSERT_EQ(boxes.boxes.size(), 2) << c.reason;
        EXPECT_TRUE(boxes.boxes[1].text.contains(c.reason)) << boxes.boxes[1].text.toStdString();
        EXPECT_TRUE(boxes.boxes[1].title.endsWith(", iWasOK = 22"));
        EXPECT_EQ(port.openCount, 0);
    }
    EXPECT_EQ(readFile(theirs), "theirs\n");
}

TEST_F(SessionTest, PortFailureIsLoggedAndShown)
{
    port.failOpen = [] { throw CommError(8005, "Port already open: COM1"); };
    session->run();
    const QString m = "When configuring COM port:  1, got Error: Port already open: COM1";
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(boxes.boxes[1].text, m);
    EXPECT_EQ(boxes.boxes[1].title, "COM port configuration error #: 8005");
    EXPECT_EQ(logText(), "************ Session started: NOW **************\r\n" + m.toLatin1() + "\r\n");
    EXPECT_FALSE(port.portOpen());
}

namespace {
// A port that refuses the loader's line settings after opening.
class PickyPort : public FakeSerialComm {
public:
    void setSettings(const QString &settings) override
    {
        if (settings == DownloadSession::kLineSettings)
            throw CommError(8015, "The device refuses the line settings");
        FakeSerialComm::setSettings(settings);
    }
};
} // namespace

TEST_F(SessionTest, APortOpenedBeforeAFailureIsClosedAgain)
{
    PickyPort picky;
    DownloadSession pickySession(picky, boxes, clock, view, dir.path());
    ASSERT_TRUE(pickySession.load());
    pickySession.run();
    EXPECT_EQ(boxes.boxes.last().title, "COM port configuration error #: 8015");
    EXPECT_EQ(picky.openCount, 1);
    EXPECT_FALSE(picky.portOpen());
    EXPECT_EQ(picky.settings(), "9600,N,8,1");
}

TEST_F(SessionTest, CancelDuringTheLoaderWait)
{
    announce = false;
    qint64 cancelledAt = -1;
    qint64 boxAt = -1;
    clock.onTick = [&](qint64 now) {
        if (now >= 1000 && cancelledAt < 0) {
            cancelledAt = now;
            session->requestCancel();
        }
        // The instrument answers the end path's power cycle.
        if (boxAt >= 0 && view.pleasePowerCycle && port.portOpen() && port.pending.isEmpty())
            port.pending += kAnnouncement;
    };
    boxes.onShow = [&](const RecordingMessageBoxes::Box &box) {
        if (box.title == "Response to CANCEL:")
            boxAt = clock.now;
    };
    session->run();
    EXPECT_EQ(titles(), (QStringList{"Verify request for update", "Response to CANCEL:"}));
    EXPECT_EQ(boxes.boxes[1].text, "Update abandoned before completion, by your request.");
    EXPECT_LE(boxAt - cancelledAt, 200);
    EXPECT_TRUE(port.sent.isEmpty());
    EXPECT_EQ(logText(), "************ Session started: NOW **************\r\n"
                         "************ Session ended early; CANCELLED by user **************\r\n"
                         "************ Session ended: NOW **************\r\n");
    EXPECT_FALSE(port.portOpen());
}

TEST_F(SessionTest, SecondCancelEndsThePowerCycleWaitWithoutAnInstrument)
{
    announce = false;
    int clicks = 0;
    clock.onTick = [&](qint64 now) {
        if (now % 1000 == 0 && clicks < 10) {
            ++clicks;
            session->requestCancel();
        }
    };
    session->run();
    // One click cancels the loader wait; two more end the power-cycle wait.
    EXPECT_LT(clicks, 10);
    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(port.settings(), "9600,N,8,1");
    EXPECT_TRUE(logText().endsWith("************ Session ended: NOW **************\r\n"));
}

TEST_F(SessionTest, CancelDuringATransferIsHonouredAtTheNextFile)
{
    firmware("fc.ldf", "send 10\r\nsend 11\r\n");
    firmware("ff.ldf", "send 30\r\n");
    loader.replies = {kOk, kOk, kTermEnd};
    port.onOutput = [&, next = port.onOutput](const QByteArray &bytes) {
        if (bytes == "\x0a")
            session->requestCancel();
        next(bytes);
    };
    session->run();
    EXPECT_TRUE(view.pleaseBePatient == false); // hidden again by the end path
    EXPECT_EQ(port.sent, (QList<QByteArray>{"HO", "\x0a", "\x0b"}));
    const QByteArray log = logText();
    EXPECT_LT(log.indexOf("File completed successfully"), log.indexOf("CANCELLED by user"));
    EXPECT_FALSE(view.success);
}

TEST_F(SessionTest, ASecondCancelEndsAWaitTheLoaderFillsWithNoise)
{
    firmware("fc.ldf", "send 10\r\nsend 11\r\n");
    firmware("ff.ldf", "send 30\r\n");
    loader.replies = {kOk, ""};
    // After the first packet the loader only babbles, never acknowledging.
    qint64 noiseSince = -1;
    QList<qint64> clicks;
    qint64 boxAt = -1;
    clock.onTick = [&, announceTick = clock.onTick](qint64 now) {
        announceTick(now);
        if (port.sent.size() < 2 || !view.downloading)
            return;
        port.pending += "babble ";
        if (noiseSince < 0)
            noiseSince = now;
        if (now - noiseSince >= 1000 * (clicks.size() + 1)) {
            clicks.append(now);
            session->requestCancel();
        }
    };
    boxes.onShow = [&](const RecordingMessageBoxes::Box &box) {
        if (box.title == "Response to CANCEL:")
            boxAt = clock.now;
    };
    session->run();

    // The first click lets the file go on; the second ends the wait.
    ASSERT_EQ(clicks.size(), 2);
    EXPECT_GE(boxAt, clicks[1]);
    EXPECT_LE(boxAt - clicks[1], 100);
    EXPECT_EQ(titles(), (QStringList{"Verify request for update", "Response to CANCEL:"}));
    EXPECT_EQ(port.sent, (QList<QByteArray>{"HO", "\x0a"}));
    const QByteArray log = logText();
    EXPECT_TRUE(
        log.contains("babble babble \r\n************ Session ended early; CANCELLED by user **************\r\n"));
    EXPECT_TRUE(log.endsWith("************ Session ended: NOW **************\r\n"));
    EXPECT_FALSE(view.success);
    EXPECT_FALSE(port.portOpen());
}

TEST_F(SessionTest, CancelDuringTheLastFileEndsAsASuccess)
{
    firmware("af.ldf", "send 40\r\n");
    loader.replies = {kOk, kOk, kOk, kWordEnd};
    port.onOutput = [&, next = port.onOutput](const QByteArray &bytes) {
        if (bytes == "\x28")
            session->requestCancel();
        next(bytes);
    };
    session->run();
    EXPECT_TRUE(view.success);
    EXPECT_FALSE(logText().contains("CANCELLED"));
    // With ff.ldf absent the hold packet still went before af.ldf.
    EXPECT_EQ(port.sent, (QList<QByteArray>{"HO", "HO", "HO", "\x28"}));
}

TEST_F(SessionTest, UnrecognizedTextIsReportedAfterTheLogIsClosed)
{
    firmware("ff.ldf", "send 30\r\nwhat is this\r\n");
    loader.replies = {kOk, kOk, kWordEnd};
    QByteArray logAtBox;
    boxes.onShow = [&](const RecordingMessageBoxes::Box &box) {
        if (box.title == "Unexpected input from file:")
            logAtBox = logText();
    };
    session->run();
    EXPECT_EQ(titles().last(), "Unexpected input from file:");
    EXPECT_EQ(boxes.boxes.last().text,
              "Unrecognized text was found while updating.  Please see the DownloadLog.txt file for details.");
    EXPECT_TRUE(logAtBox.endsWith("************ Session ended: NOW **************\r\n"));
    EXPECT_TRUE(logAtBox.contains("what is this\r\n************ the previous (input) line was unrecognized"));
}

TEST_F(SessionTest, AnnouncementsItCannotRead)
{
    announcement = "\r\nhello :OK :\r\n:LST:01";
    session->run();
    EXPECT_EQ(titles().last(), "Download abandoned because of ERROR:");
    EXPECT_EQ(boxes.boxes.last().text, "Cannot recognize version of loader.");
    EXPECT_TRUE(port.sent.isEmpty());
    EXPECT_TRUE(logText().endsWith("************ Session ended: NOW **************\r\n"));

    // No ":OK" at all: a program error; the port is given back at once.
    boxes.boxes.clear();
    announcement = "\r\nloader :V1 :LST:01";
    session->run();
    EXPECT_EQ(titles().last(), "Program Error in frmDownload:Activate");
    EXPECT_EQ(boxes.boxes.last().text, "iWasOK = 47");
    EXPECT_TRUE(
        logText().endsWith("************ Program Error in frmDownload:Activate.  iWasOK = 47 **************\r\n"));
    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(port.settings(), "9600,N,8,1");
}

TEST_F(SessionTest, UnusableKeyChainStopsTheLoad)
{
    writeFile(dir.path() + "/KeyChain.txt", "Halvern,,\r\n");
    EXPECT_FALSE(session->load());
    writeFile(dir.path() + "/KeyChain.txt", "");
    QFile::remove(dir.path() + "/KeyChain.txt");
    EXPECT_FALSE(session->load());
    EXPECT_EQ(titles(), (QStringList{"Firmware cannot be updated.", "Firmware cannot be updated."}));
    EXPECT_EQ(boxes.boxes[0].text, "KeyChain file does not contain the company and product name.");
    EXPECT_EQ(boxes.boxes[1].text, "Cannot open KeyChain file: " + dir.path() + "/KeyChain.txt");
}
