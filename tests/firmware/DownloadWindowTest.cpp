// The update window end to end: the real serial component on a socat
// pseudo-terminal pair, the loader simulator on the other end.
#include "EventLoopClock.h"
#include "FirmwareFixture.h"
#include "FirmwareText.h"
#include "MSComm.h"
#include "PtyPair.h"
#include "frmDownload.h"

#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSerialPort>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace {
QString logFolder() { return qEnvironmentVariable("XDG_DATA_DIRS").split(':').value(0) + "/Quentaro Works/Halvern"; }

// A firmware file of `count` packets; every packet differs from the others.
QByteArray firmwareFile(int fileNumber, int count, int length, const QByteArray &header = {})
{
    QByteArray text = header + "; firmware file " + QByteArray::number(fileNumber) + "\r\n:020000040000FA\r\n";
    for (int p = 0; p < count; ++p) {
        text += "send " + QByteArray::number(fileNumber) + " " + QByteArray::number(p);
        for (int i = 2; i < length; ++i)
            text += " " + QByteArray::number((p * 7 + i * 13 + fileNumber) % 256);
        text += "\r\n";
    }
    return text;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pair.start());
        writeFile(settings.path() + "/ports.conf", ("COM1=" + pair.endA() + "\n").toUtf8());
        port = std::make_unique<MSComm>(PortMap(settings.path()));
        writeFile(program.path() + "/KeyChain.txt", "Halvern,Halvern,Quentaro Works\r\n");
        writeFile(firmware("hold.ldf"), "; hold\r\nsend 72 79 76 68\r\n");
        QDir(logFolder()).removeRecursively();
        QDir().mkpath(logFolder());
        window = std::make_unique<frmDownload>(*port, boxes, program.path(), nullptr, &clock);
    }

    void TearDown() override
    {
        window.reset();
        if (simulator.state() != QProcess::NotRunning) {
            simulator.terminate();
            simulator.waitForFinished(3000);
        }
    }

    QString firmware(const QString &name) const { return program.path() + "/Firmware/" + name; }
    QString recordPath() const { return program.path() + "/received.bin"; }

    // The loader simulator on the other end: power cycles after a second of
    // quiet, nothing held back for long after a deliberate silence.
    void startSimulator(const QStringList &extra = {})
    {
        simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        simulator.start(qEnvironmentVariable("HALVERN_BIN_DIR") + "/halvern_loader_sim",
                        QStringList{"--port", pair.endB(), "--firmware", program.path() + "/Firmware", "--record",
                                    recordPath(), "--cycle-after", "1", "--silence-hold", "3", "--baud", "0", "--gap",
                                    "15"}
                            + extra);
        ASSERT_TRUE(simulator.waitForReadyRead(5000));
    }

    // The packets of the files, each preceded by the hold packet where the
    // session sends it.
    QByteArray packetsOf(const QString &name)
    {
        QByteArray bytes;
        QFile file(firmware(name));
        if (!file.open(QIODevice::ReadOnly))
            return bytes;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const QByteArray item = FirmwareText::stripLeadingBlanks(line.trimmed());
            if (FirmwareText::kindOf(item) == FirmwareText::ItemKind::Packet)
                bytes += FirmwareText::byteArrayOf(QByteArrayView(item).sliced(4), boxes);
        }
        return bytes;
    }

    QByteArray logText() { return withoutTimes(readFile(logFolder() + "/DownloadLog.txt")); }
    QStringList titles() const { return boxes.titles(); }

    // Clicks Cancel whenever `when` holds, every few milliseconds, while the window is open.
    void clickCancelWhen(std::function<bool()> when, int times)
    {
        auto *timer = new QTimer(window.get());
        QObject::connect(timer, &QTimer::timeout, window.get(), [this, timer, when, times]() mutable {
            if (times > 0 && window->isVisible() && when()) {
                --times;
                window->cmdCancel->click();
            }
        });
        timer->start(20);
    }

    PtyPair pair;
    QTemporaryDir settings;
    QTemporaryDir program;
    std::unique_ptr<MSComm> port;
    RecordingMessageBoxes boxes;
    EventLoopClock clock{8.0}; // the 16-second limits last 2 seconds
    std::unique_ptr<frmDownload> window;
    QProcess simulator;
};
} // namespace

TEST_F(WindowTest, FullUpdateSendsEveryPacketAndGivesThePortBack)
{
    writeFile(firmware("fc.ldf"), firmwareFile(1, 5, 40));
    writeFile(firmware("lf.ldf"), firmwareFile(2, 3, 300, "; Version 2.9\r\n"));
    writeFile(firmware("ff.ldf"), firmwareFile(3, 6, 120));
    writeFile(firmware("af.ldf"), firmwareFile(4, 2, 17));
    startSimulator({"--loader-version", "2.10"});
    port->setSettings("9600,N,8,1");

    window->ShowForm();

    const QByteArray hold = packetsOf("hold.ldf");
    EXPECT_EQ(readFile(recordPath()), hold + packetsOf("fc.ldf") + hold + packetsOf("lf.ldf") + hold
                                          + packetsOf("ff.ldf") + hold + packetsOf("af.ldf"));
    EXPECT_EQ(titles(), QStringList{"Verify request for update"});
    EXPECT_FALSE(port->portOpen());
    EXPECT_EQ(port->settings(), "9600,N,8,1");
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->lblSuccess->isVisibleTo(window.get()));

    const QByteArray log = logText();
    const QList<QByteArray> marks = {"Session started: NOW",
                                     "flash loader :V2.10 ready",
                                     "File: fc.ldf started",
                                     "; firmware file 1",
                                     "TERM\r\n:OK :",
                                     "File completed successfully",
                                     "File: lf.ldf started",
                                     "File: ff.ldf started",
                                     "File: af.ldf started",
                                     "word 0000000 rec 000001\r\n:OK :",
                                     "File completed successfully",
                                     "Session ended: NOW"};
    qsizetype at = 0;
    for (const QByteArray &mark : marks) {
        const qsizetype found = log.indexOf(mark, at);
        EXPECT_GE(found, 0) << mark.constData();
        at = found < 0 ? at : found;
    }
    EXPECT_TRUE(log.endsWith("************ Session ended: NOW **************\r\n"));
    EXPECT_EQ(log.count("\r\n") - log.count("\r\n\r\n"), log.count("\n") - log.count("\r\n\r\n"));
}

TEST_F(WindowTest, CancelInTheConfirmationTouchesNeitherLogNorPort)
{
    startSimulator();
    boxes.answers = {MessageBoxes::Answer::Cancel};
    window->ShowForm();
    EXPECT_EQ(titles(), QStringList{"Verify request for update"});
    EXPECT_FALSE(QFile::exists(logFolder() + "/DownloadLog.txt"));
    EXPECT_FALSE(port->portOpen());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowTest, CancelDuringTheLoaderWaitAndTwiceMoreWithoutAnInstrument)
{
    startSimulator({"--no-announce"});
    // The first click cancels; in the end path two more end the power-cycle wait.
    clickCancelWhen([this] { return window->lblPleasePowerCycle->isVisible(); }, 1000);
    window->ShowForm();
    EXPECT_EQ(titles(), (QStringList{"Verify request for update", "Response to CANCEL:"}));
    EXPECT_EQ(logText(), "************ Session started: NOW **************\r\n"
                         "************ Session ended early; CANCELLED by user **************\r\n"
                         "************ Session ended: NOW **************\r\n");
    EXPECT_TRUE(readFile(recordPath()).isEmpty());
    EXPECT_FALSE(port->portOpen());
}

TEST_F(WindowTest, CancelDuringATransferIsHonouredAtTheNextFile)
{
    writeFile(firmware("fc.ldf"), firmwareFile(1, 12, 300));
    writeFile(firmware("ff.ldf"), firmwareFile(3, 3, 30));
    // Paced at the line's speed, so the first file takes a while.
    startSimulator({"--baud", "56000"});
    clickCancelWhen([this] { return window->prgPercentLoaded->isVisible() && window->prgPercentLoaded->value() > 0; },
                    1);
    window->ShowForm();
    // The label shown during the transfer has room for its whole text.
    EXPECT_GE(window->lblDownloading->width(), window->lblDownloading->sizeHint().width());
    EXPECT_EQ(readFile(recordPath()), packetsOf("hold.ldf") + packetsOf("fc.ldf"));
    EXPECT_EQ(titles(), (QStringList{"Verify request for update", "Response to CANCEL:"}));
    const QByteArray log = logText();
    EXPECT_LT(log.indexOf("File completed successfully"), log.indexOf("CANCELLED by user"));
    EXPECT_FALSE(log.contains("ff.ldf"));
}

TEST_F(WindowTest, ARejectedPacketIsResentOnce)
{
    writeFile(firmware("ff.ldf"), firmwareFile(3, 4, 50));
    // The simulator numbers what it receives: the hold packet after the
    // announcement and the one before ff.ldf go back to back, so they arrive
    // together as packet 1; 2 is the file's first packet, 3 its second.
    startSimulator({"--reject", "3"});
    window->ShowForm();
    const QByteArray hold = packetsOf("hold.ldf");
    const QByteArray packets = packetsOf("ff.ldf");
    ASSERT_EQ(packets.size(), 4 * 50);
    // The rejection comes with the answer to the second packet, so that one
    // goes twice; the hold packet goes once more for the absent "af.ldf".
    EXPECT_EQ(readFile(recordPath()), hold + hold + packets.left(100) + packets.mid(50) + hold);
    EXPECT_TRUE(logText().contains("*********** Re-Transmission in response.  iWasOK = 45 *************"));
    EXPECT_EQ(titles(), QStringList{"Verify request for update"});
}

TEST_F(WindowTest, ASecondRejectionAbandonsTheUpdate)
{
    writeFile(firmware("ff.ldf"), firmwareFile(3, 4, 50));
    startSimulator({"--reject", "3,4"});
    window->ShowForm();
    EXPECT_EQ(titles(), (QStringList{"Verify request for update", "Updating abandoned, due to ERROR:"}));
    EXPECT_EQ(boxes.boxes.last().text, "Retransmission did not cure problems with this packet.");
    EXPECT_TRUE(
        logText().contains("********Retransmission did not cure problems with this packet. iWasOK = 45 ********"));
    EXPECT_FALSE(port->portOpen());
}

TEST_F(WindowTest, SilenceOfTheLoaderEndsTheTransfer)
{
    writeFile(firmware("ff.ldf"), firmwareFile(3, 4, 50));
    startSimulator({"--silent-before-ok", "3"});
    window->ShowForm();
    EXPECT_EQ(titles().last(), "Updating abandoned, due to ERROR. iWasOK = 55");
    EXPECT_TRUE(logText().contains("********Cannot recognize response from the loader. iWasOK = 55 ********"));
    EXPECT_TRUE(logText().endsWith("************ Session ended: NOW **************\r\n"));
    EXPECT_FALSE(port->portOpen());
}

TEST_F(WindowTest, FileProblemsCloseTheWindowBeforeTheConfirmation)
{
    QFile::remove(firmware("hold.ldf"));
    window->ShowForm();
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_TRUE(boxes.boxes[0].title.startsWith("File OPEN Error #: "));
    EXPECT_TRUE(boxes.boxes[0].text.startsWith("When opening file: " + firmware("hold.ldf") + ", got Error: "));

    writeFile(firmware("hold.ldf"), "send 1\r\n");
    writeFile(firmware("lf.ldf"), "; loader\r\nsend 1 2 3\r\n");
    window->ShowForm();
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(boxes.boxes[1].title, "Error in file: lf.ldf");
    EXPECT_EQ(boxes.boxes[1].text, "The file does not have a version header.");
    EXPECT_FALSE(port->portOpen());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowTest, MissingLogFolderAndPortInUse)
{
    QDir(logFolder()).removeRecursively();
    window->ShowForm();
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_TRUE(boxes.boxes[1].title.endsWith(", iWasOK = 22"));
    EXPECT_FALSE(port->portOpen());

    QDir().mkpath(logFolder());
    QSerialPort other(QFileInfo(pair.endA()).canonicalFilePath());
    ASSERT_TRUE(other.open(QIODevice::ReadWrite));
    window->ShowForm();
    ASSERT_EQ(boxes.boxes.size(), 4);
    EXPECT_EQ(boxes.boxes[3].title, "COM port configuration error #: 8005");
    EXPECT_TRUE(boxes.boxes[3].text.startsWith("When configuring COM port:  1, got Error: "));
    EXPECT_TRUE(logText().endsWith(boxes.boxes[3].text.toLatin1() + "\r\n"));
    EXPECT_FALSE(port->portOpen());
}

TEST_F(WindowTest, UnrecognizedItemIsReportedAfterTheLogIsClosedAndAReopeningAppends)
{
    writeFile(firmware("ff.ldf"), firmwareFile(3, 2, 20) + "this is no packet\r\n" + firmwareFile(3, 3, 21));
    startSimulator();
    QByteArray logAtBox;
    boxes.onShow = [&](const RecordingMessageBoxes::Box &box) {
        if (box.title == "Unexpected input from file:")
            logAtBox = logText();
    };
    window->ShowForm();
    EXPECT_EQ(titles().last(), "Unexpected input from file:");
    EXPECT_TRUE(logAtBox.endsWith("************ Session ended: NOW **************\r\n"));
    EXPECT_TRUE(logAtBox.contains("this is no packet\r\n"
                                  "************ the previous (input) line was unrecognized ******************\r\n"));

    // A second opening runs a whole new session into the same log.
    boxes.boxes.clear();
    window->ShowForm();
    const QByteArray log = logText();
    EXPECT_EQ(log.count("Session started: NOW"), 2);
    EXPECT_EQ(log.count("Session ended: NOW"), 2);
    EXPECT_TRUE(log.startsWith(logAtBox));
    EXPECT_EQ(titles().last(), "Unexpected input from file:");
}
