#include "KeptFile.h"

#include "LogCategories.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

bool writeAll(int fd, const QByteArray &bytes)
{
    qint64 written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}
} // namespace

std::optional<Failure> KeptFile::write(const QString &path, const QByteArray &bytes)
{
    const QString temporary = path + QStringLiteral(".part-") + QString::number(::getpid());
    const QByteArray temporaryName = QFile::encodeName(temporary);
    const int fd = ::open(temporaryName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return Failure{QStringLiteral("%1: %2").arg(temporary, systemError(errno))};
    bool done = writeAll(fd, bytes) && ::fsync(fd) == 0;
    int error = errno;
    ::close(fd);
    if (done && ::rename(temporaryName.constData(), QFile::encodeName(path).constData()) != 0) {
        done = false;
        error = errno;
    }
    if (!done) {
        ::unlink(temporaryName.constData());
        return Failure{QStringLiteral("cannot write %1: %2").arg(path, systemError(error))};
    }
    const QString folder = QFileInfo(path).absolutePath();
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0 || ::fsync(dir) != 0)
        qCWarning(lcJournal) << "cannot sync the folder" << folder << ":" << std::strerror(errno);
    if (dir >= 0)
        ::close(dir);
    return std::nullopt;
}

Result<QByteArray> KeptFile::read(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Failure{QStringLiteral("%1: %2").arg(path, systemError(errno))};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return Failure{QStringLiteral("%1: not a plain file").arg(path)};
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Failure{QStringLiteral("%1: %2").arg(path, file.errorString())};
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Failure{QStringLiteral("%1: %2").arg(path, file.errorString())};
    return bytes;
}
