#include "StampFile.h"

#include "PlainFile.h"

#include <QFileInfo>
#include <cerrno>
#include <cstring>
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
    const Result<int> fd = PlainFile::openDescriptor(path, PlainFile::Mode::Append);
    if (!fd)
        return Failure{QStringLiteral("cannot keep the time stamp: ") + fd.failure().reason};
    // One write: a line is appended whole or not at all, short of a full disk.
    const bool done = ::write(*fd, line.constData(), size_t(line.size())) == line.size() && ::fsync(*fd) == 0;
    const int error = errno;
    ::close(*fd);
    if (!done)
        return Failure{QStringLiteral("cannot keep the time stamp in %1: %2")
                           .arg(path, QString::fromLocal8Bit(std::strerror(error)))};
    return std::nullopt;
}

StampFile::Read StampFile::read(const QString &rawPath)
{
    Read read;
    const QString path = pathFor(rawPath);
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return read;
    const Result<QByteArray> bytes = PlainFile::readAll(path);
    if (!bytes) {
        read.failure = bytes.failure().reason;
        return read;
    }
    for (const QByteArray &line : bytes->split('\n')) {
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
