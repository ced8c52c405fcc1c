// halvern_loader_sim: an instrument's firmware loader on a pseudo-terminal,
// for running the firmware updater without an instrument.
#include "LoaderSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>
#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {
const char *kDescription = R"(Plays an instrument's firmware loader on a serial line, so that Halvern's
"Update firmware" can be run and tested without an instrument.

Line:   --port PATH opens an existing device, e.g. one end of a socat pair
        (socat pty,raw,echo=0,link=/tmp/ttyA pty,raw,echo=0,link=/tmp/ttyB);
        --link PATH makes a pseudo-terminal pair itself and puts a link to
        the updater's end at PATH (the path is also printed).
Power:  the loader announces itself ("... flash loader :V<version> ready",
        then ":OK :" and ":LST:01") after a simulated power cycle. A power
        cycle happens whenever the line has been quiet for --cycle-after
        seconds, when Enter is pressed on standard input, and on SIGUSR1.
Files:  every packet is answered with ":OK :" and then ":LST:01". A packet
        is the bytes that arrive together (the line quiet for --gap ms after
        them). The loader reads the firmware folder at each power cycle: the
        hold packet of hold.ldf, and the last packet of fc.ldf (answered with
        "TERM" before ":OK :") and of lf.ldf, ff.ldf and af.ldf (answered with
        "word 0000000 rec 000001"). So a file ends where its last packet is
        met; give every file a last packet that occurs nowhere before it.
Faults: packets are numbered from 1 in the order received since the start,
        hold packets and resent packets included (packets sent back to back,
        without waiting for an answer, arrive as one); --reject, --busy,
        --silent-before-ok and --silent-before-prompt take such numbers.
        After a deliberate silence no power cycle comes for --silence-hold
        seconds, so the updater's time limit runs out first.
Timing: both directions are paced at --baud (10 bits a byte), since a
        pseudo-terminal itself moves data at any speed.)";

QSet<int> numbers(const QString &text)
{
    QSet<int> out;
    for (const QString &part : text.split(',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int n = part.trimmed().toInt(&ok);
        if (ok && n > 0)
            out.insert(n);
    }
    return out;
}

void onSignal(int signal)
{
    if (signal == SIGUSR1)
        LoaderSimulator::requestPowerCycle();
    else
        LoaderSimulator::requestStop();
}

void makeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("halvern_loader_sim");

    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addHelpOption();
    const QCommandLineOption port("port", "Serve this existing device.", "path");
    const QCommandLineOption link("link", "Create a pseudo-terminal pair; link its updater end here.", "path");
    const QCommandLineOption firmware("firmware", "Firmware folder (default: Firmware beside this program).", "dir");
    const QCommandLineOption version("loader-version", "Loader version announced (default 2.10).", "text", "2.10");
    const QCommandLineOption baud("baud", "Line speed to pace at; 0 paces nothing (default 56000).", "n", "56000");
    const QCommandLineOption cycle("cycle-after", "Quiet seconds before a power cycle; 0: only on request (default 4).",
                                   "s", "4");
    const QCommandLineOption hold("silence-hold", "No power cycle this long after a deliberate silence (default 20).",
                                  "s", "20");
    const QCommandLineOption gap("gap", "Quiet milliseconds that end a packet (default 5).", "ms", "5");
    const QCommandLineOption record("record", "Append every received byte to this file.", "file");
    const QCommandLineOption reject("reject", "Answer these packets with \":!!\".", "n[,n...]");
    const QCommandLineOption busy("busy", "Send busy text ending in \".\" before answering these packets.", "n[,n...]");
    const QCommandLineOption silentOk("silent-before-ok", "Never answer these packets.", "n[,n...]");
    const QCommandLineOption silentPrompt("silent-before-prompt", "Answer these packets with \":OK :\" only.",
                                          "n[,n...]");
    const QCommandLineOption noAnnounce("no-announce", "Never announce (an instrument whose loader is silent).");
    const QCommandLineOption verbose("verbose", "Tell on standard error what the loader does.");
    parser.addOptions({port, link, firmware, version, baud, cycle, hold, gap, record, reject, busy, silentOk,
                       silentPrompt, noAnnounce, verbose});
    parser.process(app);

    LoaderSimulator::Options options;
    options.firmwareFolder =
        parser.isSet(firmware) ? parser.value(firmware) : QCoreApplication::applicationDirPath() + "/Firmware";
    options.version = parser.value(version);
    options.baud = parser.value(baud).toInt();
    options.cycleAfterSeconds = parser.value(cycle).toDouble();
    options.silenceHoldSeconds = parser.value(hold).toDouble();
    options.gapMs = std::max(1, parser.value(gap).toInt());
    options.recordFile = parser.value(record);
    options.reject = numbers(parser.value(reject));
    options.busy = numbers(parser.value(busy));
    options.silentBeforeOk = numbers(parser.value(silentOk));
    options.silentBeforePrompt = numbers(parser.value(silentPrompt));
    options.announce = !parser.isSet(noAnnounce);
    options.verbose = parser.isSet(verbose);

    QTextStream out(stdout);
    int fd = -1;
    int keepSlave = -1;
    QString linkPath;
    if (parser.isSet(port)) {
        fd = ::open(QFile::encodeName(parser.value(port)).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) {
            QTextStream(stderr) << "loader_sim: cannot open " << parser.value(port) << "\n";
            return 2;
        }
        makeRaw(fd);
    } else if (parser.isSet(link)) {
        int master = -1;
        char name[256] = {};
        if (::openpty(&master, &keepSlave, name, nullptr, nullptr) != 0) {
            QTextStream(stderr) << "loader_sim: cannot create a pseudo-terminal\n";
            return 2;
        }
        // The simulator keeps the updater's end open too, so the line stays
        // up while the updater has it closed; raw, so nothing is echoed.
        makeRaw(keepSlave);
        makeRaw(master);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        fd = master;
        linkPath = parser.value(link);
        QFile::remove(linkPath);
        if (!QFile::link(QString::fromLocal8Bit(name), linkPath)) {
            QTextStream(stderr) << "loader_sim: cannot make the link " << linkPath << "\n";
            return 2;
        }
        out << "updater end: " << name << " (link " << linkPath << ")\n";
    } else {
        QTextStream(stderr) << "loader_sim: give --port or --link (see --help)\n";
        return 2;
    }
    out << "loader simulator ready, version " << options.version << "\n";
    out.flush();

    std::signal(SIGUSR1, onSignal);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    LoaderSimulator simulator(options);
    const int code = simulator.run(fd, STDIN_FILENO);
    ::close(fd);
    if (keepSlave >= 0)
        ::close(keepSlave);
    if (!linkPath.isEmpty())
        QFile::remove(linkPath);
    return code;
}
