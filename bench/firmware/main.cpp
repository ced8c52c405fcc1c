// Firmware update benchmark: a whole session against the loader simulator on
// a socat pseudo-terminal pair, the simulator answering at once and pacing
// the line at 56000 baud. Prints the transfer's wall time against the pure
// line time of the bytes sent, and the updater's CPU time.
#include "DownloadSession.h"
#include "DownloadView.h"
#include "EventLoopClock.h"
#include "FirmwareText.h"
#include "MSComm.h"
#include "ConsoleMessageBoxes.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <sys/resource.h>

namespace {
constexpr int kBaud = 56000;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Notes when the transfer starts (the progress bar appears) and ends.
class TimingView : public DownloadView {
public:
    void setPleaseBePatientVisible(bool) override {}
    void setDownloadingVisible(bool visible) override
    {
        if (visible) {
            wall.start();
            cpuAtStart = cpuSeconds();
        }
    }
    void setSuccessVisible(bool visible) override
    {
        if (visible) {
            transferSeconds = wall.nsecsElapsed() / 1e9;
            transferCpu = cpuSeconds() - cpuAtStart;
        }
    }
    void setPleasePowerCycleVisible(bool) override {}
    void setProgressVisible(bool) override {}
    void setProgress(int) override {}

    QElapsedTimer wall;
    double cpuAtStart = 0;
    double transferSeconds = 0;
    double transferCpu = 0;
};

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
}

// A firmware file of packets of `length` bytes, about `size` bytes of text.
QByteArray firmwareFile(int number, qint64 size, int length, qint64 *rawBytes)
{
    QByteArray text = "; firmware file " + QByteArray::number(number) + "\r\n";
    for (int p = 0; text.size() < size; ++p) {
        text += "send " + QByteArray::number(number) + " " + QByteArray::number(p % 256) + " "
                + QByteArray::number(p / 256);
        for (int i = 3; i < length; ++i)
            text += " " + QByteArray::number((p * 31 + i * 17 + number) % 256);
        text += "\r\n";
        *rawBytes += length;
    }
    return text;
}
} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    const QString shared = home.path() + "/shared";
    qputenv("XDG_DATA_DIRS", shared.toUtf8());
    QCoreApplication app(argc, argv);

    // Program folder: KeyChain.txt, hold.ldf and three files of ~380 KB in all.
    const QString program = home.path() + "/program";
    QDir().mkpath(program + "/Firmware");
    QDir().mkpath(shared + "/Quentaro Works/Halvern");
    writeFile(program + "/KeyChain.txt", "Halvern,Halvern,Quentaro Works\r\n");
    writeFile(program + "/Firmware/hold.ldf", "send 72 79 76 68\r\n");
    qint64 rawBytes = 4 * 3; // the hold packet goes three times
    qint64 fileBytes = 0;
    const QList<QPair<QString, qint64>> files = {{"fc.ldf", 120000}, {"ff.ldf", 200000}, {"af.ldf", 60000}};
    for (int i = 0; i < files.size(); ++i) {
        const QByteArray text = firmwareFile(i + 1, files[i].second, 256, &rawBytes);
        writeFile(program + "/Firmware/" + files[i].first, text);
        fileBytes += text.size();
    }

    // The line: a socat pair; the loader simulator on one end.
    const QString endA = home.path() + "/ttyA";
    const QString endB = home.path() + "/ttyB";
    QProcess socat;
    socat.start("socat", {"pty,raw,echo=0,link=" + endA, "pty,raw,echo=0,link=" + endB});
    for (int i = 0; i < 100 && !(QFileInfo::exists(endA) && QFileInfo::exists(endB)); ++i)
        QThread::msleep(20);
    if (!QFileInfo::exists(endA)) {
        std::printf("socat did not start\n");
        return 1;
    }
    QProcess simulator;
    simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    simulator.start(QCoreApplication::applicationDirPath() + "/halvern_loader_sim",
                    {"--port", endB, "--firmware", program + "/Firmware", "--baud", QString::number(kBaud),
                     "--cycle-after", "1", "--gap", "3"});
    if (!simulator.waitForReadyRead(5000)) {
        std::printf("the loader simulator did not start\n");
        return 1;
    }

    writeFile(home.path() + "/ports.conf", ("COM1=" + endA + "\n").toUtf8());
    MSComm port{PortMap(home.path())};
    ConsoleMessageBoxes boxes("bench");
    EventLoopClock clock;
    TimingView view;
    DownloadSession session(port, boxes, clock, view, program);
    if (!session.load())
        return 1;

    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = cpuSeconds();
    session.run();
    const double sessionSeconds = wall.nsecsElapsed() / 1e9;
    const double sessionCpu = cpuSeconds() - cpuBefore;

    simulator.terminate();
    simulator.waitForFinished(3000);
    socat.terminate();
    socat.waitForFinished(3000);

    const double lineSeconds = rawBytes * 10.0 / kBaud;
    std::printf("firmware files:            %lld bytes of text (fc, ff, af), packets of 256 bytes\n",
                static_cast<long long>(fileBytes));
    std::printf("bytes sent to the loader:  %lld (hold packets included)\n", static_cast<long long>(rawBytes));
    std::printf("line time at %d baud:   %.2f s\n", kBaud, lineSeconds);
    if (view.transferSeconds <= 0) {
        std::printf("the transfer did not complete\n");
        return 1;
    }
    std::printf("transfer wall time:        %.2f s  (%.3fx the line time; target <= 1.10x)\n", view.transferSeconds,
                view.transferSeconds / lineSeconds);
    std::printf("updater CPU in transfer:   %.3f s  (%.2f%% of a core; target < 5%%)\n", view.transferCpu,
                100.0 * view.transferCpu / view.transferSeconds);
    std::printf("whole session:             %.2f s wall, %.3f s CPU (%.2f%% of a core), power-cycle waits included\n",
                sessionSeconds, sessionCpu, 100.0 * sessionCpu / sessionSeconds);
    return 0;
}
