#include "DurableFile.h"

#include "DescriptorWrite.h"
#include "LogCategories.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
Failure failed(const QString &what, const QString &path)
{
    return Failure{QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(errno)))};
}

std::optional<Failure> syncFolder(const QString &path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return failed(QStringLiteral("cannot open the folder of"), path);
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    if (!synced)
        return failed(QStringLiteral("cannot sync the folder of"), path);
    return std::nullopt;
}
} // namespace

std::optional<Failure> DurableFile::create(const QString &path, const QByteArray &bytes)
{
    return write(path, bytes, false);
}

std::optional<Failure> DurableFile::replace(const QString &path, const QByteArray &bytes)
{
    return write(path, bytes, true);
}

std::optional<Failure> DurableFile::write(const QString &path, const QByteArray &bytes, bool replacing)
{
    const QByteArray target = QFile::encodeName(path);
    QByteArray temporary = target + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return failed(QStringLiteral("cannot make a temporary file for"), path);
    auto dropTemporary = [&temporary] { ::unlink(temporary.constData()); };
    const bool written =
        ::fchmod(fd, 0600) == 0 && DescriptorWrite::all(fd, bytes.constData(), bytes.size()) && ::fsync(fd) == 0;
    std::optional<Failure> failure;
    if (!written)
        failure = failed(QStringLiteral("cannot write"), path);
    if (::close(fd) != 0 && !failure)
        failure = failed(QStringLiteral("cannot write"), path);
    if (failure) {
        dropTemporary();
        return failure;
    }
    if (replacing) {
        // rename() replaces a link by the file; it never writes through it.
        if (::rename(temporary.constData(), target.constData()) != 0) {
            failure = failed(QStringLiteral("cannot replace"), path);
            dropTemporary();
            return failure;
        }
    } else {
        // link() fails when the name is taken, which rename() would not.
        if (::link(temporary.constData(), target.constData()) != 0) {
            failure = errno == EEXIST ? Failure{QStringLiteral("%1 is there already").arg(path)}
                                      : failed(QStringLiteral("cannot write"), path);
            dropTemporary();
            return failure;
        }
        dropTemporary();
    }
    return syncFolder(path);
}
