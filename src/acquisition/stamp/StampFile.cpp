#include "StampFile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString StampFile::pathFor(const QString &rawPath)
{
    QString base = rawPath;
    if (base.endsWith(QStringLiteral(".raw")))
        base.chop(4);
    return base + QStringLiteral(".stamps");
}

std::optional<Failure> StampFile::append(const QString &rawPath, const Stamp &stamp)
{
    const QString path = pathFor(rawPath);
    const QByteArray line = stamp.digest.toHex() + ' ' + stamp.token.toBase64() + '\n';
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return Failure{QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)))};
    struct stat info {};
    // One write: a line is appended whole or not at all, short of a full disk.
    const bool done = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)
                      && ::write(fd, line.constData(), size_t(line.size())) == line.size() && ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!done)
        return Failure{QStringLiteral("cannot keep the time stamp in %1: %2")
                           .arg(path, QString::fromLocal8Bit(std::strerror(error)))};
    return std::nullopt;
}

StampFile::Read StampFile::read(const QString &rawPath)
{
    Read read;
    const QString path = pathFor(rawPath);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            read.failure = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return read;
    }
    struct stat info {};
    QFile file;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)
        || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        read.failure = path + QStringLiteral(": not a plain file");
        return read;
    }
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> fields = line.split(' ');
        const QByteArray digest = fields.size() == 2 ? QByteArray::fromHex(fields[0]) : QByteArray();
        const auto token = fields.size() == 2
                               ? QByteArray::fromBase64Encoding(fields[1], QByteArray::AbortOnBase64DecodingErrors)
                               : QByteArray::FromBase64Result{};
        if (digest.size() != 32 || fields[0].size() != 64 || !token || (*token).isEmpty()) {
            ++read.unreadableLines;
            continue;
        }
        read.stamps.append({digest, *token});
    }
    return read;
}
