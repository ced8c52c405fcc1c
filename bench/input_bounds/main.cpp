// Hostile input, measured: for each case the time and the growth of the
// peak resident memory over what the input itself takes. Sizes go up tenfold
// (or threefold), so a time ratio near the size ratio shows linear time and a
// flat memory figure shows bounded memory.
//  - serial settings text: 1 MB and 10 MB of "a,", parsed, and the same texts
//    split whole first (the former way), for comparison; a text whose last
//    field is the whole megabytes;
//  - number reader: 10^5 and 10^6 digits of decimal, &H and &O numbers, and
//    as long an exponent;
//  - firmware acknowledgement wait: 1 MB and 3 MB of loader noise arriving a
//    kilobyte a poll before the final ":OK :", on a clock that only counts.
#include "DownloadView.h"
#include "FirmwareTransfer.h"
#include "MessageBoxes.h"
#include "NumberReader.h"
#include "SerialComm.h"
#include "SerialSettings.h"
#include "SessionLog.h"
#include "WaitClock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

namespace {

// Peak resident memory in kB (VmHWM), and a reset of it (Linux clear_refs 5).
long peakKb()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

long currentKb()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

void resetPeak()
{
    QFile refs("/proc/self/clear_refs");
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

// Runs `work` and prints its time and how far the peak memory rose above
// the memory in use just before.
void measure(const char *what, const std::function<void()> &work)
{
    resetPeak();
    const long before = currentKb();
    QElapsedTimer timer;
    timer.start();
    work();
    const double ms = timer.nsecsElapsed() / 1e6;
    std::printf("  %-46s %10.1f ms %10.1f MB above the input\n", what, ms, (peakKb() - before) / 1024.0);
}

// --- a loader that only babbles, on a clock that only counts ---------------

class NoisyPort : public SerialComm {
public:
    std::int16_t commPort() const override { return 1; }
    void setCommPort(std::int16_t) override {}
    bool portOpen() const override { return true; }
    void setPortOpen(bool) override {}
    QString settings() const override { return {}; }
    void setSettings(const QString &) override {}
    QByteArray input() override { return std::exchange(pending, {}); }
    int inBufferCount() override { return int(pending.size()); }
    void setInBufferCount(int) override { pending.clear(); }
    void output(const QByteArray &) override { sending = true; }
    int inputLen() const override { return 0; }
    void setInputLen(int) override {}
    int inputMode() const override { return 0; }
    void setInputMode(int) override {}

    // One poll's worth of loader text.
    void tick()
    {
        if (!sending)
            return;
        if (noiseLeft > 0) {
            pending += QByteArray(1024, 'x');
            noiseLeft -= 1024;
        } else if (!acknowledged) {
            pending += "\r\nword 0000000 rec 000001\r\n:OK :";
            acknowledged = true;
        }
    }

    QByteArray pending = ":OK :\r\n:LST:01";
    qint64 noiseLeft = 0;
    bool sending = false;
    bool acknowledged = false;
};

class CountingClock : public WaitClock {
public:
    explicit CountingClock(NoisyPort &port) : m_port(port) {}
    qint64 elapsedMs() override { return m_now; }
    void pause() override { advance(10); }
    void waitSeconds(float seconds) override { advance(qint64(seconds * 1000)); }
    void processEvents() override { m_port.tick(); }

private:
    void advance(qint64 ms)
    {
        m_now += ms;
        m_port.tick();
    }
    NoisyPort &m_port;
    qint64 m_now = 0;
};

class NoBoxes : public MessageBoxes {
public:
    Answer show(const QString &text, const QString &title, Buttons) override
    {
        std::printf("  box: %s | %s\n", qPrintable(title), qPrintable(text.left(80)));
        return Answer::Ok;
    }
};

class NoView : public DownloadView {
public:
    void setPleaseBePatientVisible(bool) override {}
    void setDownloadingVisible(bool) override {}
    void setSuccessVisible(bool) override {}
    void setPleasePowerCycleVisible(bool) override {}
    void setProgressVisible(bool) override {}
    void setProgress(int) override {}
};

void loaderNoise(qint64 bytes)
{
    QTemporaryDir dir;
    QFile file(dir.path() + "/ff.ldf");
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write("send 1 2 3\r\n");
    file.close();
    NoisyPort port;
    port.noiseLeft = bytes;
    CountingClock clock(port);
    NoBoxes boxes;
    NoView view;
    SessionLog log;
    log.open(dir.path() + "/DownloadLog.txt");
    FirmwareTransfer transfer(port, boxes, clock, view, log, dir.path());
    const QByteArray label = QByteArray::number(bytes >> 20) + " MB of loader noise";
    FirmwareTransfer::Result result = FirmwareTransfer::Result::Failed;
    measure(label.constData(), [&] { result = transfer.sendFile("ff.ldf", "word 0000000 rec 000001"); });
    std::printf("  %-46s %s, %lld bytes scanned of %lld received\n", "",
                result == FirmwareTransfer::Result::Done ? "done" : "NOT DONE",
                static_cast<long long>(transfer.reply().scannedBytes()),
                static_cast<long long>(transfer.reply().size()));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);

    std::printf("serial settings text\n");
    for (int mb : {1, 10}) {
        QString text;
        text.reserve(mb << 20);
        while (text.size() < (mb << 20))
            text += QStringLiteral("a,");
        const QByteArray parse = QByteArray::number(mb) + " MB of \"a,\": parse";
        const QByteArray split = QByteArray::number(mb) + " MB of \"a,\": split whole (former way)";
        bool refused = false;
        measure(parse.constData(), [&] { refused = !SerialSettings::parse(text).has_value(); });
        if (!refused)
            std::printf("  NOT REFUSED\n");
        qsizetype fields = 0;
        measure(split.constData(), [&] { fields = text.split(',').size(); });
        // The longest walk: three short fields, then one that fills the text.
        const QString last = "9600,N,8," + QString(mb << 20, u'1');
        const QByteArray lastLabel = QByteArray::number(mb) + " MB in the last field: parse";
        measure(lastLabel.constData(), [&] { refused = !SerialSettings::parse(last).has_value(); });
    }

    std::printf("number reader\n");
    for (int digits : {100000, 1000000}) {
        const QByteArray n = QByteArray::number(digits);
        const QByteArray decimal = "1" + QByteArray(digits, '0') + "e-" + n;
        const QByteArray hex = "&H1" + QByteArray(digits, '0');
        const QByteArray octal = "&O7" + QByteArray(digits, '7');
        const QByteArray exponent = "1e" + QByteArray(digits, '0') + "1";
        double sum = 0;
        measure((n + " decimal digits").constData(), [&] { sum += NumberReader::leadingNumber(decimal); });
        measure((n + " &H digits").constData(), [&] { sum += NumberReader::leadingNumber(hex); });
        measure((n + " &O digits").constData(), [&] { sum += NumberReader::leadingNumber(octal); });
        measure((n + " exponent digits").constData(), [&] { sum += NumberReader::leadingNumber(exponent); });
        std::printf("  %-46s (values read: %g)\n", "", sum);
    }

    std::printf("firmware acknowledgement wait\n");
    loaderNoise(1 << 20);
    loaderNoise(3 << 20);
    return 0;
}
