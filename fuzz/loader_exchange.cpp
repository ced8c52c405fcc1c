// One firmware file handed to a loader whose replies are the fuzz input,
// timed by the fake clock. Whatever the loader says (or does not say), the
// transfer ends, sends only the file's packets in order (each at most twice,
// a resend following its first sending) and the hold packet's one resend,
// ends with one defined outcome (done: no box; failed: one box of the known
// ones; cancelled: only after a stop request, no box), keeps the progress in
// 0..100 and the kept loader text bounded.
//
// Input: byte 0 picks the file (0 to 3 packets, "TERM" or the word marker)
// and whether stop requests are honoured; the rest is a script of events,
// one a clock tick, each a control byte c and its payload:
//   c % 4 == 0: the next c / 4 bytes arrive now;
//   c % 4 == 1: c / 4 ticks of silence;
//   c % 4 == 2: the next c / 4 bytes are the loader's answer to the next packet;
//   c % 4 == 3: the user asks to stop.
#include "DownloadView.h"
#include "FakeSerialComm.h"
#include "FakeWaitClock.h"
#include "FirmwareTransfer.h"
#include "FuzzCheck.h"
#include "RecordingMessageBoxes.h"
#include "SessionLog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>

namespace {

const QByteArray kHold = "\xAA";

class ProgressView : public DownloadView {
public:
    void setPleaseBePatientVisible(bool) override {}
    void setDownloadingVisible(bool) override {}
    void setSuccessVisible(bool) override {}
    void setPleasePowerCycleVisible(bool) override {}
    void setProgressVisible(bool) override {}
    void setProgress(int percent) override { FUZZ_CHECK(percent >= 0 && percent <= 100); }
};

// Packet i of a file is the single byte i + 1: every sending is told apart.
QByteArray packet(int i) { return QByteArray(1, char(i + 1)); }

struct Fixture {
    Fixture()
    {
        for (int packets = 0; packets < 4; ++packets) {
            QByteArray text = "; file of " + QByteArray::number(packets) + " packets\r\n:00\r\n";
            for (int i = 0; i < packets; ++i)
                text += "send " + QByteArray::number(i + 1) + "\r\n";
            QFile file(dir.path() + "/f" + QString::number(packets) + ".ldf");
            if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
                std::abort();
        }
    }
    QTemporaryDir dir;
};

const QStringList kFailureTitles = {"Updating abandoned, due to ERROR:",
                                    "Program Error in frmDownload:DownloadDataFile"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static Fixture fixture;
    if (size < 1)
        return 0;
    const int packets = data[0] % 4;
    const QByteArray endMarker = (data[0] & 4) ? "TERM" : "word 0000000 rec 000001";
    const bool honourStop = (data[0] & 8) != 0;

    FakeSerialComm port;
    port.setPortOpen(true);
    FakeWaitClock clock;
    RecordingMessageBoxes boxes;
    ProgressView view;
    const QString logPath = fixture.dir.path() + "/DownloadLog.txt";
    QFile::remove(logPath);
    SessionLog log;
    FUZZ_CHECK(log.open(logPath));
    FirmwareTransfer transfer(port, boxes, clock, view, log, fixture.dir.path());
    transfer.setLastPacket(kHold);
    bool stop = false;
    bool stopAsked = false;
    transfer.setStopRequest([&] { return honourStop && stop; });

    std::size_t at = 1;
    QByteArray answer;
    qint64 ticks = 0;
    int silence = 0;
    clock.onTick = [&](qint64) {
        FUZZ_CHECK(++ticks < 10'000'000, "the transfer does not end");
        if (silence > 0) {
            --silence;
            return;
        }
        if (at >= size)
            return;
        const int c = data[at++];
        const std::size_t n = std::min<std::size_t>(c / 4, size - at);
        switch (c % 4) {
        case 0:
            port.pending += QByteArray(reinterpret_cast<const char *>(data) + at, qsizetype(n));
            at += n;
            break;
        case 1:
            silence = c / 4;
            break;
        case 2:
            answer = QByteArray(reinterpret_cast<const char *>(data) + at, qsizetype(n));
            at += n;
            break;
        case 3:
            stop = true;
            stopAsked = stopAsked || honourStop;
            break;
        }
    };
    port.onOutput = [&](const QByteArray &) { port.pending += std::exchange(answer, {}); };

    const FirmwareTransfer::Result result = transfer.sendFile("f" + QString::number(packets) + ".ldf", endMarker);
    log.close();

    // Only the file's packets, in order; each sent again at most once, right
    // after its first sending; the hold packet only resent, before the first.
    int next = 0;
    QByteArray last = kHold;
    bool resent = false;
    for (const QByteArray &sent : port.sent) {
        if (next < packets && sent == packet(next)) {
            last = sent;
            resent = false;
            ++next;
        } else {
            FUZZ_CHECK(sent == last && !resent, "a packet sent out of turn");
            resent = true;
        }
    }

    switch (result) {
    case FirmwareTransfer::Result::Done:
        FUZZ_CHECK(boxes.boxes.isEmpty());
        break;
    case FirmwareTransfer::Result::Failed:
        FUZZ_CHECK(boxes.boxes.size() == 1);
        FUZZ_CHECK(kFailureTitles.contains(boxes.boxes[0].title)
                       || boxes.boxes[0].title.startsWith("Updating abandoned, due to ERROR. iWasOK = "),
                   boxes.boxes[0].title);
        break;
    case FirmwareTransfer::Result::Cancelled:
        FUZZ_CHECK(stopAsked && boxes.boxes.isEmpty());
        break;
    default:
        FUZZ_CHECK(false, "no defined outcome");
    }
    FUZZ_CHECK(transfer.reply().text().size() <= 3 * LoaderReply::kKeptBytes + 100);

    QFile written(logPath);
    FUZZ_CHECK(written.open(QIODevice::ReadOnly));
    const QByteArray logText = written.readAll();
    FUZZ_CHECK(logText.startsWith("********* File: f") && logText.endsWith("\r\n"), logText);
    if (result == FirmwareTransfer::Result::Done)
        FUZZ_CHECK(logText.contains("********* File completed successfully at: "), logText);
    return 0;
}
