#include "FolderProbe.h"

#include <QByteArray>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr qint64 kBlock = 64 * 1024;

// Takes `bytes` of room in the open file: allocated where the file system
// can, written where it cannot. 0, or the errno of the failure.
int takeRoom(int fd, qint64 bytes)
{
    const int allocated = ::posix_fallocate(fd, 0, static_cast<off_t>(bytes));
    if (allocated != EOPNOTSUPP && allocated != EINVAL)
        return allocated;
    const QByteArray block(kBlock, '\0');
    for (qint64 left = bytes; left > 0;) {
        const ssize_t written = ::write(fd, block.constData(), static_cast<size_t>(std::min(left, kBlock)));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : ENOSPC;
        left -= written;
    }
    return 0;
}
} // namespace

std::optional<Failure> FolderProbe::check(const QString &folder, qint64 bytes)
{
    QByteArray probe = QFile::encodeName(folder + QStringLiteral("/.halvern-save-check-XXXXXX"));
    const int fd = ::mkostemp(probe.data(), O_CLOEXEC);
    if (fd < 0)
        return Failure{QString::fromLocal8Bit(std::strerror(errno))};
    int error = takeRoom(fd, std::max(bytes, kBlock));
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    ::close(fd);
    ::unlink(probe.constData());
    if (error != 0)
        return Failure{QString::fromLocal8Bit(std::strerror(error))};
    return std::nullopt;
}
