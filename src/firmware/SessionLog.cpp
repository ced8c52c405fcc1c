#include "SessionLog.h"

#include <QDateTime>
#include <QLocale>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString kindOf(mode_t mode)
{
    if (S_ISLNK(mode))
        return QStringLiteral("a symbolic link");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a pipe");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    return QStringLiteral("not a regular file");
}
} // namespace

bool SessionLog::open(const QString &path, bool *existed)
{
    close();
    m_refusal.clear();
    m_file.setFileName(path);
    const QByteArray name = QFile::encodeName(path);
    auto notTheLog = [&](mode_t mode) {
        return refuse(path + QStringLiteral(" is ") + kindOf(mode)
                      + QStringLiteral(", not the log file; nothing is written to it"));
    };
    struct stat found {};
    if (::lstat(name.constData(), &found) == 0 && !S_ISREG(found.st_mode))
        return notTheLog(found.st_mode);
    // Checked again on what was opened, in case it was replaced meanwhile;
    // O_NONBLOCK: a pipe put in the log's place must not hold the session.
    const int fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP && ::lstat(name.constData(), &found) == 0)
            return notTheLog(found.st_mode);
        return refuse(path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error)));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return notTheLog(info.st_mode);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!m_file.open(fd, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    if (existed)
        *existed = info.st_size > 0;
    return true;
}

bool SessionLog::refuse(const QString &why)
{
    m_refusal = why;
    m_refusalNumber = static_cast<int>(QFileDevice::OpenError);
    return false;
}

bool SessionLog::writeLine(const QByteArray &bytes)
{
    if (!m_file.isOpen())
        return false;
    const bool ok = m_file.write(bytes) == bytes.size() && m_file.write("\r\n", 2) == 2;
    // Each entry reaches the disk at once: the log must tell where a session
    // stopped even when the program is killed in the middle of it.
    return m_file.flush() && ok;
}

void SessionLog::close()
{
    if (m_file.isOpen())
        m_file.close();
}

QString SessionLog::now()
{
    const QLocale locale = QLocale::system();
    const QDateTime t = QDateTime::currentDateTime();
    return locale.toString(t.date(), QLocale::ShortFormat) + " " + locale.toString(t.time(), QLocale::LongFormat);
}
