#include "PlainFile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
int flagsOf(PlainFile::Mode mode)
{
    // O_TRUNC is left out on purpose: a file is emptied only once it is known
    // to be a plain file with no other name.
    switch (mode) {
    case PlainFile::Mode::Read:
        return O_RDONLY;
    case PlainFile::Mode::Replace:
        return O_WRONLY | O_CREAT;
    case PlainFile::Mode::Append:
        return O_WRONLY | O_CREAT | O_APPEND;
    case PlainFile::Mode::CreateNew:
        return O_WRONLY | O_CREAT | O_EXCL;
    }
    return O_RDONLY;
}

QString notPlain(const QString &path, mode_t mode)
{
    return QStringLiteral("%1 is %2, not a plain file").arg(path, PlainFile::kindOf(mode));
}

// Why the open itself failed: what stands in the file's place when that is the
// reason (a FIFO with no reader, a socket, a link), else the system's words.
Failure openFailure(const QString &path, PlainFile::Mode mode, int error)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISREG(info.st_mode))
        return Failure{notPlain(path, info.st_mode)};
    const QString what =
        mode == PlainFile::Mode::Read ? QStringLiteral("cannot be read") : QStringLiteral("cannot be written");
    return Failure{QStringLiteral("%1 %2: %3").arg(path, what, QString::fromLocal8Bit(std::strerror(error)))};
}
} // namespace

QString PlainFile::kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return QStringLiteral("a plain file");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISLNK(mode))
        return QStringLiteral("a link");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    return QStringLiteral("not a file");
}

Result<int> PlainFile::openDescriptor(const QString &path, Mode mode, mode_t permissions)
{
    const int flags = flagsOf(mode);
    int fd = -1;
    do
        fd = ::open(QFile::encodeName(path).constData(), flags | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, permissions);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return openFailure(path, mode, errno);

    struct stat info = {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return openFailure(path, mode, error);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return Failure{notPlain(path, info.st_mode)};
    }
    if (mode != Mode::Read && info.st_nlink > 1) {
        ::close(fd);
        return Failure{QStringLiteral("%1 has %2 names (hard links), and Halvern writes only a file with one")
                           .arg(path)
                           .arg(info.st_nlink)};
    }
    if ((mode == Mode::Replace && info.st_size > 0 && ::ftruncate(fd, 0) != 0)
        || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd);
        return openFailure(path, mode, error);
    }
    return fd;
}

Result<std::unique_ptr<QFile>> PlainFile::open(const QString &path, Mode mode, mode_t permissions)
{
    const Result<int> fd = openDescriptor(path, mode, permissions);
    if (!fd)
        return fd.failure();
    auto file = std::make_unique<QFile>(path);
    const QIODevice::OpenMode how = mode == Mode::Read     ? QIODevice::ReadOnly
                                    : mode == Mode::Append ? QIODevice::WriteOnly | QIODevice::Append
                                                           : QIODevice::WriteOnly;
    if (!file->open(*fd, how, QFileDevice::AutoCloseHandle)) {
        ::close(*fd);
        return Failure{QStringLiteral("%1: %2").arg(path, file->errorString())};
    }
    return file;
}

Result<QByteArray> PlainFile::readAll(const QString &path)
{
    const Result<std::unique_ptr<QFile>> file = open(path, Mode::Read);
    if (!file)
        return file.failure();
    QByteArray bytes = (*file)->readAll();
    if ((*file)->error() != QFileDevice::NoError)
        return Failure{QStringLiteral("%1 cannot be read: %2").arg(path, (*file)->errorString())};
    return bytes;
}

std::optional<Failure> PlainFile::check(const QString &path)
{
    const Result<int> fd = openDescriptor(path, Mode::Read);
    if (!fd)
        return fd.failure();
    ::close(*fd);
    return std::nullopt;
}
