// Plays a run journal into a pseudo-terminal, as the instrument sent it:
//   halvern_journal_player --link /tmp/halvern-instrument [--speed N] RAWFILE
// Map a COM number to the link in ~/.config/Halvern/ports.conf, press Start in
// Halvern, then press Enter here (or give --now). Pieces keep their original
// spacing divided by --speed; a journal without its .times file goes at
// 9600 baud times --speed.
#include "JournalReader.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <QThread>

#include <cerrno>
#include <cstdio>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {
bool writeAll(int fd, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const ssize_t n = ::write(fd, bytes.data(), static_cast<size_t>(bytes.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes = bytes.sliced(n);
    }
    return true;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("halvern_journal_player");
    QCommandLineParser parser;
    parser.setApplicationDescription("Plays a Halvern run journal into a pseudo-terminal.");
    parser.addHelpOption();
    const QCommandLineOption link("link", "Link the instrument end of a new pseudo-terminal here.", "path");
    const QCommandLineOption speed("speed", "Times the original speed (default 1).", "n", "1");
    const QCommandLineOption now("now", "Start at once instead of waiting for Enter.");
    parser.addOptions({link, speed, now});
    parser.addPositionalArgument("RAWFILE", "The journal's .raw file.");
    parser.process(app);
    QTextStream err(stderr);
    if (parser.positionalArguments().size() != 1 || !parser.isSet(link)) {
        err << "journal_player: give --link and one RAWFILE (see --help)\n";
        return 1;
    }
    const double factor = parser.value(speed).toDouble();
    if (!(factor > 0)) {
        err << "journal_player: --speed takes a number above 0\n";
        return 1;
    }
    JournalReader reader;
    if (const std::optional<Failure> unread = reader.open(parser.positionalArguments().constFirst())) {
        err << "journal_player: " << unread->reason << "\n";
        return 1;
    }

    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        err << "journal_player: no pseudo-terminal\n";
        return 1;
    }
    termios t{};
    if (tcgetattr(slave, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
    }
    const QString linkPath = parser.value(link);
    QFile::remove(linkPath);
    if (!QFile::link(QString::fromLocal8Bit(name), linkPath)) {
        err << "journal_player: cannot make the link " << linkPath << "\n";
        return 1;
    }
    err << "instrument end: " << name << " (link " << linkPath << "), " << reader.rawSize() << " bytes"
        << (reader.hasTimes() ? "" : ", no times: 9600 baud") << "\n";
    if (!parser.isSet(now)) {
        err << "press Enter to start\n";
        err.flush();
        std::getchar();
    }

    QElapsedTimer clock;
    clock.start();
    QDateTime first;
    qint64 sent = 0;
    JournalReader::Piece piece;
    bool refused = false;
    while (!refused && reader.next(piece)) {
        // Without times, pieces go out in small parts at the line rate.
        const qsizetype part = piece.arrived.isValid() ? piece.bytes.size() : 96;
        for (qsizetype at = 0; at < piece.bytes.size() && !refused; at += part) {
            // When this part is due, counted from the start of the play.
            qint64 dueMs = 0;
            if (piece.arrived.isValid()) {
                if (!first.isValid())
                    first = piece.arrived;
                dueMs = static_cast<qint64>(first.msecsTo(piece.arrived) / factor);
            } else {
                dueMs = static_cast<qint64>(sent * 1000.0 / (960.0 * factor));
            }
            const qint64 wait = dueMs - clock.elapsed();
            if (wait > 0)
                QThread::msleep(static_cast<unsigned long>(wait));
            const QByteArrayView bytes =
                QByteArrayView(piece.bytes).sliced(at, std::min(part, piece.bytes.size() - at));
            refused = !writeAll(master, bytes);
            sent += bytes.size();
        }
    }
    if (refused)
        err << "journal_player: the pseudo-terminal refused the bytes\n";
    if (reader.failure())
        err << "journal_player: " << reader.failure()->reason << "\n";
    // The pseudo-terminal stays until the reader has taken everything: ended
    // by Enter, or (with --now) by a signal.
    err << "played " << sent << " bytes in " << clock.elapsed() / 1000.0 << " s; "
        << (parser.isSet(now) ? "stop me when done\n" : "press Enter to end\n");
    err.flush();
    if (parser.isSet(now))
        ::pause();
    else
        std::getchar();
    QFile::remove(linkPath);
    return reader.failure() ? 1 : 0;
}
