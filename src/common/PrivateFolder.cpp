#include "PrivateFolder.h"

#include "LogCategories.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
void restrict(const QByteArray &path, mode_t mode)
{
    if (::chmod(path.constData(), mode) != 0)
        qCWarning(lcApp) << "cannot make" << path << "private:" << std::strerror(errno);
}
} // namespace

bool PrivateFolder::make(const QString &folder)
{
    const QString absolute = QDir::cleanPath(QDir(folder).absolutePath());
    QStringList missing;
    for (QString at = absolute; !QFileInfo::exists(at) && at != QStringLiteral("/"); at = QFileInfo(at).path())
        missing.prepend(at);
    for (const QString &path : missing) {
        if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST) {
            qCWarning(lcApp) << "cannot make the folder" << path << ":" << std::strerror(errno);
            return false;
        }
    }
    // Made before with the umask's rights, or its mode set apart from the umask now.
    restrict(QFile::encodeName(absolute), 0700);
    return true;
}

void PrivateFolder::tighten(const QString &folder, Files files)
{
    const QFileInfo info(folder);
    if (!info.isDir() || info.isSymLink())
        return;
    restrict(QFile::encodeName(folder), 0700);
    if (files == Files::Leave)
        return;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks)) {
        const QByteArray path = QFile::encodeName(folder + '/' + name);
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            qCWarning(lcApp) << "cannot make" << path << "private:" << std::strerror(errno);
            continue;
        }
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0777) != 0600 && ::fchmod(fd, 0600) != 0)
            qCWarning(lcApp) << "cannot make" << path << "private:" << std::strerror(errno);
        ::close(fd);
    }
}
