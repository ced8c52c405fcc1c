#include "FolderProbe.h"

#include <QByteArray>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

QString FolderProbe::problem(const QString &folder)
{
    const QByteArray probe = QFile::encodeName(folder + QStringLiteral("/.halvern-save-check"));
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    const QByteArray block(64 * 1024, '\0');
    const ssize_t written = ::write(fd, block.constData(), static_cast<size_t>(block.size()));
    const int writeErrno = errno;
    const bool synced = written == block.size() && ::fsync(fd) == 0;
    const int syncErrno = errno;
    ::close(fd);
    ::unlink(probe.constData());
    if (written != block.size())
        return QString::fromLocal8Bit(std::strerror(written < 0 ? writeErrno : ENOSPC));
    return synced ? QString() : QString::fromLocal8Bit(std::strerror(syncErrno));
}
