#include "LogFile.h"

#include "DescriptorWrite.h"
#include "PlainFile.h"
#include "PrivateFolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {
struct Sink {
    std::mutex mutex;
    QByteArray path; // encoded; empty when no file is open
    int fd = -1;
    qint64 size = 0;
    qint64 maxBytes = LogFile::kMaxBytes;
    QtMessageHandler previous = nullptr;
    bool installed = false;
};

Sink &sink()
{
    static Sink *s = new Sink; // never destroyed: messages may come during exit
    return *s;
}

// Opens the log for appending: never through a link, never anything but a
// plain file with one name, readable by its owner alone.
std::optional<Failure> openFile(Sink &s)
{
    // A hard link in its place is refused too: the rights set below would
    // land on somebody else's file.
    const Result<int> fd = PlainFile::openDescriptor(QFile::decodeName(s.path), PlainFile::Mode::Append);
    if (!fd)
        return fd.failure();
    struct stat info = {};
    ::fstat(*fd, &info);
    ::fchmod(*fd, S_IRUSR | S_IWUSR);
    s.fd = *fd;
    s.size = info.st_size;
    return std::nullopt;
}

// halvern.log.2 -> .3, .1 -> .2, halvern.log -> .1; the oldest is dropped.
void rotate(Sink &s)
{
    ::close(s.fd);
    s.fd = -1;
    for (int i = LogFile::kKeptFiles - 1; i >= 0; --i) {
        const QByteArray from = i == 0 ? s.path : s.path + '.' + QByteArray::number(i);
        ::rename(from.constData(), (s.path + '.' + QByteArray::number(i + 1)).constData());
    }
    if (openFile(s))
        s.path.clear(); // stderr alone from now on
}

void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const QByteArray line = LogFile::line(QDateTime::currentDateTimeUtc(), type, context.category, text);
    Sink &s = sink();
    std::lock_guard lock(s.mutex);
    DescriptorWrite::all(STDERR_FILENO, line.constData(), line.size());
    if (s.fd < 0)
        return;
    if (s.size > 0 && s.size + line.size() > s.maxBytes) {
        rotate(s);
        if (s.fd < 0)
            return;
    }
    DescriptorWrite::all(s.fd, line.constData(), line.size());
    s.size += line.size();
}

const char *levelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "critical";
    case QtFatalMsg:
        return "fatal";
    }
    return "?";
}
} // namespace

QString LogFile::defaultPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/Halvern/halvern.log");
}

std::optional<Failure> LogFile::install(const QString &path, qint64 maxBytes)
{
    Sink &s = sink();
    std::optional<Failure> failure;
    // The folder is ours alone; a link or a file in its place is left as it
    // is. It is made before the sink is taken: making it may log, and the
    // log's handler takes the sink's lock.
    const QString folder = QFileInfo(path).absolutePath();
    const QByteArray encoded = QFile::encodeName(folder);
    struct stat info = {};
    const bool other = ::lstat(encoded.constData(), &info) == 0 && !S_ISDIR(info.st_mode);
    const bool made = !other && PrivateFolder::make(folder);
    {
        std::lock_guard lock(s.mutex);
        if (s.fd >= 0)
            ::close(s.fd);
        s.fd = -1;
        s.maxBytes = maxBytes;
        if (!other && !made)
            failure = Failure{QStringLiteral("%1: the folder cannot be made").arg(folder)};
        else if (other || ::lstat(encoded.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
            failure = Failure{QStringLiteral("%1: not a folder").arg(folder)};
        if (!failure) {
            s.path = QFile::encodeName(path);
            failure = openFile(s);
        }
        if (failure)
            s.path.clear();
        if (!s.installed)
            s.previous = qInstallMessageHandler(handle);
        s.installed = true;
    }
    return failure;
}

void LogFile::uninstall()
{
    Sink &s = sink();
    std::lock_guard lock(s.mutex);
    if (!s.installed)
        return;
    qInstallMessageHandler(s.previous);
    s.installed = false;
    if (s.fd >= 0)
        ::close(s.fd);
    s.fd = -1;
    s.path.clear();
}

QByteArray LogFile::line(const QDateTime &time, QtMsgType type, const char *category, const QString &text)
{
    QByteArray out = time.toUTC().toString(Qt::ISODateWithMs).toLatin1();
    out += ' ';
    out += levelName(type);
    out += ' ';
    out += category ? category : "default";
    out += ": ";
    // One message, one line: a line end inside it would start a false entry.
    QString flat = text;
    flat.replace(QLatin1Char('\n'), QLatin1String(" | "));
    out += flat.toUtf8();
    out += '\n';
    return out;
}
