#include "FirmwareFixture.h"
#include "FirmwareTransfer.h"
#include "NumberReader.h"
#include "SessionLog.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <memory>

namespace {
using Result = FirmwareTransfer::Result;
const QByteArray kOk = ":OK :\r\n:LST:01";
const QByteArray kWordEnd = "\r\nword 0000000 rec 000001\r\n:OK :";
const QByteArray kEndMarker = "word 0000000 rec 000001";

class TransferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port.setPortOpen(true);
        firmware = dir.path() + "/Firmware";
        QDir().mkpath(firmware);
        ASSERT_TRUE(log.open(dir.path() + "/DownloadLog.txt"));
        transfer = std::make_unique<FirmwareTransfer>(port, boxes, clock, view, log, firmware);
        transfer->setLastPacket("H");
        // The loader's answer to the hold packet, already waiting.
        port.pending = kOk;
    }

    bool send(const QByteArray &content, const QByteArray &endMarker = kEndMarker)
    {
        writeFile(firmware + "/ff.ldf", content);
        transfer->setTotalBytes(content.size());
        return transfer->sendFile("ff.ldf", endMarker) == Result::Done;
    }

    QByteArray logText()
    {
        log.close();
        return withoutTimes(readFile(dir.path() + "/DownloadLog.txt"));
    }

    QTemporaryDir dir;
    QString firmware;
    FakeSerialComm port;
    ScriptedLoader loader{port};
    RecordingMessageBoxes boxes;
    FakeWaitClock clock;
    RecordingView view;
    SessionLog log;
    std::unique_ptr<FirmwareTransfer> transfer;
};
} // namespace

TEST_F(TransferTest, SendsEveryPacketAndLogsTheFile)
{
    const QByteArray head = "; version 1\r\n:10000000\r\n send 1 2\r\n";
    const QByteArray content = head + "SEND 3\r\nsend 4\t5 6\r\n";
    loader.replies = {kOk, kOk, kWordEnd};
    ASSERT_TRUE(send(content));

    EXPECT_EQ(port.sent, (QList<QByteArray>{"\x01\x02", "\x03", "\x2d\x06"}));
    EXPECT_EQ(transfer->lastPacket(), QByteArray("\x2d\x06"));
    EXPECT_EQ(logText(), "********* File: ff.ldf started at: NOW\r\n"
                         "; version 1\r\n"
                         "\r\nword 0000000 rec 000001\r\n:OK :\r\n"
                         "********* File completed successfully at: NOW\r\n");
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_FALSE(transfer->foundUnrecognized());

    // Progress follows the read position (counted from 1) and stops at 100.
    const int first = int(NumberReader::roundHalfEven((head.size() + 1) * 100.0 / content.size()));
    ASSERT_EQ(view.progress.size(), 3);
    EXPECT_EQ(view.progress[0], first);
    EXPECT_EQ(view.progress[2], 100);
    EXPECT_EQ(transfer->bytesDone(), content.size() + 1);
}

TEST_F(TransferTest, TextEndingInADotIsNotEvaluated)
{
    // The loader is still busy although ":OK :" and ":!!" are already there.
    port.pending = ":OK :\r\n:!! \r\n:LST:01 writing.";
    qint64 sentAt = -1;
    clock.onTick = [&](qint64 now) {
        if (now == 200)
            port.pending += "..";
        if (now == 400)
            port.pending += "\r\n";
    };
    port.onOutput = [&, next = port.onOutput](const QByteArray &bytes) {
        if (sentAt < 0)
            sentAt = clock.now;
        next(bytes);
    };
    loader.replies = {kOk, kWordEnd};
    ASSERT_TRUE(send("send 7\r\n"));
    // Only the text after 400 ms was looked at: the rejection won, so the
    // last packet went again before the file's packet.
    EXPECT_GE(sentAt, 400);
    EXPECT_EQ(port.sent, (QList<QByteArray>{"H", "\x07"}));
}

TEST_F(TransferTest, RejectionWinsAndThePacketIsResentOnce)
{
    port.pending = ":OK :\r\n:!!\r\n:LST:01";
    // The next packet is rejected once too: it is resent as the first was.
    loader.replies = {kOk, ":!!", kOk, kWordEnd};
    ASSERT_TRUE(send("send 1\r\nsend 2\r\n"));
    EXPECT_EQ(port.sent, (QList<QByteArray>{"H", "\x01", "\x01", "\x02"}));
    EXPECT_EQ(logText(), "********* File: ff.ldf started at: NOW\r\n"
                         ":OK :\r\n:!!\r\n:LST:01\r\n"
                         "*********** Re-Transmission in response.  iWasOK = 45 *************\r\n"
                         ":!!\r\n"
                         "*********** Re-Transmission in response.  iWasOK = 45 *************\r\n"
                         "\r\nword 0000000 rec 000001\r\n:OK :\r\n"
                         "********* File completed successfully at: NOW\r\n");
    EXPECT_EQ(clock.waits, (QList<float>{0.1f, 0.1f}));
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(TransferTest, ASecondRejectionGivesUp)
{
    port.pending = ":!!";
    loader.replies = {":!! again"};
    EXPECT_FALSE(send("send 1\r\nsend 2\r\n"));
    EXPECT_EQ(port.sent, QList<QByteArray>{"H"});
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, "Retransmission did not cure problems with this packet.");
    EXPECT_EQ(boxes.boxes[0].title, "Updating abandoned, due to ERROR:");
    EXPECT_TRUE(
        logText().endsWith(":!! again\r\n"
                           "********Retransmission did not cure problems with this packet. iWasOK = 45 ********\r\n"));
}

TEST_F(TransferTest, RejectionOfTheLastPacketIsResentOnceThenGivesUp)
{
    loader.replies = {":!!", kWordEnd};
    EXPECT_TRUE(send("send 1\r\n"));
    EXPECT_EQ(port.sent, (QList<QByteArray>{"\x01", "\x01"}));
    EXPECT_TRUE(logText().contains("*********** Re-Transmission in response.  iWasOK = 92 *************\r\n"));

    // As after a hold packet: the loader's last text is gone.
    transfer->reply().clear();
    port.pending = kOk;
    loader.outputs = 0;
    loader.replies = {":!!", ":!!"};
    boxes.boxes.clear();
    EXPECT_EQ(transfer->sendFile("ff.ldf", kEndMarker), Result::Failed);
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, "Retransmission did not cure problems with this packet.");
}

TEST_F(TransferTest, PromptAtTheFirstCharacterDoesNotCount)
{
    port.pending = ":LST:01:OK :";
    clock.onTick = [&](qint64 now) {
        if (now == 1000)
            port.pending += "\r\n:LST:01";
    };
    EXPECT_FALSE(send("send 1\r\n"));
    EXPECT_TRUE(port.sent.isEmpty());
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].title, "Updating abandoned, due to ERROR. iWasOK = 65");
    EXPECT_EQ(boxes.boxes[0].text,
              "Cannot recognize response from the loader.  Incoming text is: :LST:01:OK :\r\n:LST:01");
}

TEST_F(TransferTest, PromptOneCharacterLaterReleasesThePacket)
{
    port.pending = "\n:LST:01:OK :";
    loader.replies = {kWordEnd};
    EXPECT_TRUE(send("send 1\r\n"));
    EXPECT_EQ(port.sent, QList<QByteArray>{"\x01"});
    EXPECT_EQ(clock.now, 0);
}

TEST_F(TransferTest, EndMarkerBeforeTheLastPacketEndsTheFile)
{
    loader.replies = {kWordEnd + "\r\n:LST:01"};
    EXPECT_TRUE(send("send 1\r\nsend 2\r\nsend 3\r\n"));
    EXPECT_EQ(port.sent, QList<QByteArray>{"\x01"});
    EXPECT_TRUE(logText().endsWith("********* File completed successfully at: NOW\r\n"));
}

TEST_F(TransferTest, SilenceBeforeTheAcknowledgementGivesUpAfterSixteenSeconds)
{
    port.pending.clear();
    // A character at 10 s starts the 16 seconds afresh.
    clock.onTick = [&](qint64 now) {
        if (now == 10000)
            port.pending += "x";
    };
    EXPECT_FALSE(send("send 1\r\n"));
    EXPECT_GT(clock.now, 26000);
    EXPECT_LE(clock.now, 26100);
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].title, "Updating abandoned, due to ERROR. iWasOK = 55");
    EXPECT_EQ(boxes.boxes[0].text, "Cannot recognize response from the loader.  Incoming text is: x");
    EXPECT_TRUE(logText().endsWith("x\r\n********Cannot recognize response from the loader. iWasOK = 55 ********\r\n"));
}

TEST_F(TransferTest, SilenceBeforeThePromptGivesUpAfterSixteenSeconds)
{
    port.pending = ":OK :";
    EXPECT_FALSE(send("send 1\r\n"));
    EXPECT_GT(clock.now, 16000);
    EXPECT_LE(clock.now, 16100);
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].title, "Updating abandoned, due to ERROR. iWasOK = 65");
}

TEST_F(TransferTest, SilenceAfterTheLastPacketGivesUpAfterOneHundredSixtyPolls)
{
    loader.replies = {""};
    EXPECT_FALSE(send("send 1\r\n"));
    EXPECT_EQ(clock.waits.size(), 160);
    EXPECT_EQ(clock.waits.first(), 0.1f);
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].title, "Updating abandoned, due to ERROR. iWasOK = 95");
    EXPECT_TRUE(logText().endsWith("********Cannot recognize response from the loader. iWasOK = 95 ********\r\n"));
}

TEST_F(TransferTest, FinalAcknowledgementWithoutTheEndMarkerFails)
{
    loader.replies = {kOk};
    EXPECT_FALSE(send("send 1\r\n", "TERM"));
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text,
              "Update failure; file incorrect or incomplete.  Loader's response text: :OK :\r\n:LST:01");
    EXPECT_EQ(boxes.boxes[0].title, "Updating abandoned, due to ERROR:");
    EXPECT_TRUE(logText().endsWith(":OK :\r\n:LST:01\r\n"
                                   "********Loading failure; file incorrect or incomplete**********\r\n"));
}

TEST_F(TransferTest, FileWithoutPacketsAwaitsTheFinalAcknowledgementAtOnce)
{
    port.pending = "\r\nTERM\r\n:OK :";
    EXPECT_TRUE(send("; nothing to send\r\n:0000\r\n", "TERM"));
    EXPECT_TRUE(port.sent.isEmpty());
}

TEST_F(TransferTest, UnrecognizedItemsAreLoggedAndNothingIsSentForThem)
{
    QByteArray tooLong = "send";
    for (int i = 0; i < 301; ++i)
        tooLong += " 1";
    loader.replies = {kWordEnd};
    ASSERT_TRUE(send("hello\r\nsend\r\n" + tooLong + "\r\n; a, b\r\nsend 9\r\n"));
    EXPECT_EQ(port.sent, QList<QByteArray>{"\x09"});
    EXPECT_TRUE(transfer->foundUnrecognized());
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].title, "Program Error in frmDownload:ByteArrayOf");
    const QByteArray marker = "************ the previous (input) line was unrecognized ******************\r\n";
    EXPECT_TRUE(logText().startsWith("********* File: ff.ldf started at: NOW\r\n"
                                     "hello\r\n"
                                     + marker + "send\r\n" + marker + tooLong + "\r\n" + marker + "; a\r\nb\r\n"
                                     + marker));
}

TEST_F(TransferTest, FailuresOfTheFileAndThePortAreProgramErrors)
{
    EXPECT_EQ(transfer->sendFile("absent.ldf", kEndMarker), Result::Failed);
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, "iWasOK = 5");
    EXPECT_EQ(boxes.boxes[0].title, "Program Error in frmDownload:DownloadDataFile");

    port.failInput = [] { throw CommError(8020, "The device was lost"); };
    EXPECT_FALSE(send("send 1\r\n"));
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(boxes.boxes[1].text, "iWasOK = 30");
    EXPECT_TRUE(logText().endsWith("********Program Error while downloading. iWasOK = 30 ********\r\n"));
}

TEST_F(TransferTest, BinaryAndHugeFilesEndWithoutCrashOrHang)
{
    QByteArray binary(3 << 20, '\0');
    QRandomGenerator generator(42);
    for (qsizetype i = 0; i < binary.size(); ++i)
        binary[i] = char(generator.bounded(256));
    // A megabyte line of digits after a packet, then binary data.
    loader.replies = {kOk};
    const bool ok = send("send 1\r\nsend " + QByteArray(1 << 20, '5') + "\r\n" + binary);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(transfer->foundUnrecognized());
    EXPECT_EQ(port.sent.first(), QByteArray("\x01"));
    for (int percent : view.progress)
        EXPECT_LE(percent, 100);
}

TEST_F(TransferTest, LoaderNoiseIsScannedOnceAndKeptOnlyInPart)
{
    // After the packet, a megabyte of noise (a kilobyte a poll), then the
    // final acknowledgement.
    loader.replies = {""};
    int chunks = 0;
    clock.onTick = [&](qint64) {
        if (!port.sent.isEmpty() && chunks <= 1024)
            port.pending += chunks++ < 1024 ? QByteArray(1024, 'x') : kWordEnd;
    };
    ASSERT_TRUE(send("send 1\r\n"));

    const LoaderReply &reply = transfer->reply();
    EXPECT_EQ(reply.size(), (1 << 20) + kWordEnd.size());
    // Every byte once, and at most a marker's length again per arrival.
    EXPECT_LE(reply.scannedBytes(), reply.size() + 1025 * kEndMarker.size());
    // The log has the start and the end of it, and says how much is left out.
    const QByteArray text = reply.text();
    EXPECT_LE(text.size(), 3 * LoaderReply::kKeptBytes + 100);
    const QByteArray note = " bytes of loader text left out]\r\n";
    const qsizetype bracket = text.indexOf("\r\n[");
    const qsizetype close = text.indexOf(note);
    ASSERT_TRUE(bracket > 0 && close > bracket);
    const qint64 leftOut = text.mid(bracket + 3, close - bracket - 3).toLongLong();
    EXPECT_EQ(leftOut + text.size() - (close + note.size() - bracket), reply.size());
    EXPECT_TRUE(text.startsWith(QByteArray(LoaderReply::kKeptBytes, 'x') + "\r\n["));
    EXPECT_TRUE(logText().endsWith(text + "\r\n********* File completed successfully at: NOW\r\n"));
}

TEST_F(TransferTest, AStopRequestEndsEveryWaitAtItsNextPoll)
{
    writeFile(firmware + "/ff.ldf", "send 1\r\n");
    bool stop = false;
    transfer->setStopRequest([&] { return stop; });
    qint64 stoppedAt = -1;
    auto stopAt = [&](qint64 at) {
        return [&, at](qint64 now) {
            port.pending += "noise ";
            if (now >= at && !stop) {
                stop = true;
                stoppedAt = now;
            }
        };
    };
    struct Case {
        const char *wait;
        QByteArray first; // waiting before the file's first packet
        QList<QByteArray> replies;
    };
    const Case cases[] = {
        {"acknowledgement", "", {}},
        {"prompt", ":OK :", {}},
        {"final acknowledgement", kOk, {""}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.wait);
        stop = false;
        stoppedAt = -1;
        clock.now = 0;
        port.sent.clear();
        boxes.boxes.clear();
        transfer->reply().clear();
        port.pending = c.first;
        loader.outputs = 0;
        loader.replies = c.replies;
        clock.onTick = stopAt(5000);
        EXPECT_EQ(transfer->sendFile("ff.ldf", kEndMarker), Result::Cancelled);
        EXPECT_TRUE(boxes.boxes.isEmpty());
        EXPECT_LE(clock.now - stoppedAt, 100);
    }
    clock.onTick = nullptr;
    EXPECT_TRUE(logText().endsWith("noise noise \r\n"));
}

TEST(LoaderReply, MarkersSplitAcrossArrivalsAreFoundWhateverTheCase)
{
    const QByteArray text = "\r\nword 0000000 REC 000001\r\n:ok :\r\n:Lst:01 writing.";
    for (qsizetype piece : {1, 2, 3, 7, 100}) {
        SCOPED_TRACE(piece);
        LoaderReply reply;
        reply.setEndMarker("word 0000000 rec 000001");
        for (qsizetype at = 0; at < text.size(); at += piece)
            reply.append(QByteArrayView(text).sliced(at, std::min(piece, text.size() - at)));
        EXPECT_EQ(reply.okAt(), text.indexOf(":ok :"));
        EXPECT_TRUE(reply.endMarkerBeforeOk());
        EXPECT_TRUE(reply.hasPrompt());
        EXPECT_FALSE(reply.hasRejection());
        EXPECT_TRUE(reply.endsWithDot());
        EXPECT_EQ(reply.text(), text);
    }
}

TEST(LoaderReply, OnlyTheFirstPlaceOfAMarkerCounts)
{
    LoaderReply reply;
    reply.setEndMarker("TERM");
    reply.append(":LST:01 :OK : TERM :LST:01 :OK :");
    EXPECT_FALSE(reply.hasPrompt());         // first at the first character
    EXPECT_FALSE(reply.endMarkerBeforeOk()); // after the first ":OK :"
    reply.clear();
    reply.append("x");
    reply.setEndMarker("");
    reply.append(":OK :");
    EXPECT_TRUE(reply.endMarkerBeforeOk()); // an empty marker is everywhere
    reply.clear();
    reply.append("TE");
    reply.setEndMarker("TERM"); // text that came first is searched as well
    reply.append("RM:OK :");
    EXPECT_TRUE(reply.endMarkerBeforeOk());
}
