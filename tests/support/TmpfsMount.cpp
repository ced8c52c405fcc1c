#include "TmpfsMount.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

TmpfsMount::TmpfsMount(const QString &folder, Access access, qint64 bytes) : m_folder(folder)
{
    if (::geteuid() != 0) {
        m_problem = QStringLiteral("mounting a file system needs root");
        return;
    }
    if (!QDir().mkpath(folder)) {
        m_problem = QStringLiteral("cannot make ") + folder;
        return;
    }
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
    if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", access == Access::ReadOnly ? MS_RDONLY : 0,
                options.constData())
        != 0) {
        m_problem = QStringLiteral("mount of a tmpfs on %1 failed: %2")
                        .arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_mounted = true;
}

TmpfsMount::~TmpfsMount()
{
    // Detached: a process that still holds a file there does not keep it.
    if (m_mounted)
        ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
}

bool TmpfsMount::fill()
{
    const int fd = ::open(QFile::encodeName(m_folder + QStringLiteral("/filler")).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const QByteArray block(4096, 'f');
    ssize_t n = 0;
    while ((n = ::write(fd, block.constData(), size_t(block.size()))) > 0) {
    }
    const bool full = n < 0 && errno == ENOSPC;
    ::close(fd);
    return full;
}
