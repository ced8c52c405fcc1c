#include "PortAccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString programName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return QStringLiteral("process %1").arg(pid);
    QString name = QString::fromUtf8(comm.readAll()).trimmed();
    // The kernel keeps only 15 characters of the name; the command line has it whole.
    if (name.size() == 15) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly)) {
            QString program = QFileInfo(QString::fromLocal8Bit(cmdline.readAll().split('\0').value(0))).fileName();
            if (program.startsWith(name))
                return program;
        }
    }
    return name;
}

bool alive(qint64 pid) { return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

// The pid a lock file names: ten ASCII digits in the usual form, a binary
// int in the oldest.
qint64 lockPid(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray head = file.read(64);
    bool ok = false;
    const qint64 pid = head.split('\n').value(0).trimmed().toLongLong(&ok);
    if (ok)
        return pid;
    if (head.size() == 4) {
        qint32 binary = 0;
        memcpy(&binary, head.constData(), 4);
        return binary;
    }
    return 0;
}

QString groupName(gid_t gid)
{
    if (const group *g = ::getgrgid(gid))
        return QString::fromLocal8Bit(g->gr_name);
    return QString::number(gid);
}

QString userName(uid_t uid)
{
    if (const passwd *p = ::getpwuid(uid))
        return QString::fromLocal8Bit(p->pw_name);
    return QString::number(uid);
}

bool processInGroup(gid_t gid)
{
    if (::getegid() == gid)
        return true;
    gid_t groups[256];
    const int n = ::getgroups(256, groups);
    for (int i = 0; i < n; ++i) {
        if (groups[i] == gid)
            return true;
    }
    return false;
}

// Whether the group database lists the user in the group (it may have been
// added after this session began).
bool userListedInGroup(uid_t uid, gid_t gid)
{
    const passwd *p = ::getpwuid(uid);
    if (!p)
        return false;
    gid_t groups[256];
    int n = 256;
    if (::getgrouplist(p->pw_name, p->pw_gid, groups, &n) < 0)
        return false;
    for (int i = 0; i < n; ++i) {
        if (groups[i] == gid)
            return true;
    }
    return false;
}

QString deviceText(const QString &port, const QString &path) { return QStringLiteral("%1 (%2)").arg(port, path); }

} // namespace

bool PortAccess::permitted(const QString &path)
{
    return ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), R_OK | W_OK, AT_EACCESS) == 0;
}

std::optional<PortAccess::Holder> PortAccess::lockOwner(const QString &path)
{
    // Lock files carry the name the device was opened under: its base name
    // ("LCK..ttyUSB0", the UUCP way) or, from QSerialPort, the path without
    // "/dev/" and with '/' as '_' ("LCK..pts_3").
    QSet<QString> names;
    for (QString name : {path, QFileInfo(path).canonicalFilePath()}) {
        if (name.isEmpty())
            continue;
        names.insert(QFileInfo(name).fileName());
        if (name.startsWith(QLatin1String("/dev/")))
            name.remove(0, 5);
        names.insert(name.replace('/', '_'));
    }

    static const QStringList folders{"/run/lock",       "/var/lock", "/var/spool/lock",
                                     "/var/spool/uucp", "/tmp",      "/var/tmp"};
    QSet<QString> seen;
    for (const QString &folder : folders) {
        const QString real = QFileInfo(folder).canonicalFilePath();
        if (real.isEmpty() || seen.contains(real))
            continue;
        seen.insert(real);
        for (const QString &name : std::as_const(names)) {
            const qint64 pid = lockPid(real + QStringLiteral("/LCK..") + name);
            if (pid != ::getpid() && alive(pid))
                return Holder{pid, programName(pid)};
        }
    }
    return std::nullopt;
}

QList<PortAccess::Holder> PortAccess::holders(const QString &path)
{
    QList<Holder> found;
    struct stat device {};
    if (::stat(QFile::encodeName(path).constData(), &device) != 0 || !S_ISCHR(device.st_mode))
        return found;
    const qint64 self = ::getpid();
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : pids) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (!ok || pid == self)
            continue;
        const QString fdFolder = QStringLiteral("/proc/%1/fd").arg(pid);
        const QStringList fds = QDir(fdFolder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        for (const QString &fd : fds) {
            struct stat open {};
            if (::stat(QFile::encodeName(fdFolder + '/' + fd).constData(), &open) == 0 && S_ISCHR(open.st_mode)
                && open.st_rdev == device.st_rdev) {
                found.append(Holder{pid, programName(pid)});
                break;
            }
        }
    }
    return found;
}

QString PortAccess::holderText(const QList<Holder> &holders)
{
    QStringList parts;
    for (const Holder &h : holders)
        parts << QStringLiteral("%1 (process %2)").arg(h.name).arg(h.pid);
    if (parts.size() <= 1)
        return parts.value(0);
    const QString last = parts.takeLast();
    return parts.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

QString PortAccess::permissionAdvice(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    const QString group = groupName(st.st_gid);
    const bool groupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    if (groupMayUse && !processInGroup(st.st_gid)) {
        if (userListedInGroup(::geteuid(), st.st_gid))
            return QStringLiteral("You are in the group %1, but this session began before you joined it: "
                                  "log out and in again.")
                .arg(group);
        return QStringLiteral("To use it, add yourself to the group %1: sudo adduser $USER %1, then log in again.")
            .arg(group);
    }
    return QStringLiteral("Its permissions (owner %1, group %2, mode %3) do not let user %4 read and write it.")
        .arg(userName(st.st_uid), group)
        .arg(st.st_mode & 07777, 3, 8, QLatin1Char('0'))
        .arg(userName(::geteuid()));
}

OpenFailure PortAccess::explainRefusal(const QString &port, const QString &path)
{
    if (!permitted(path) && errno == EACCES)
        return {OpenFailure::Kind::Permission,
                QStringLiteral("This user may not open %1. %2").arg(deviceText(port, path), permissionAdvice(path))};

    QList<Holder> holding;
    if (const std::optional<Holder> owner = lockOwner(path))
        holding << *owner;
    else
        holding = holders(path);
    if (holding.isEmpty())
        return {
            OpenFailure::Kind::InUse,
            QStringLiteral("%1 is in use by another program. Close it, then start again.").arg(deviceText(port, path))};

    QString text = QStringLiteral("%1 is in use by %2.").arg(deviceText(port, path), holderText(holding));
    const bool modemManager = std::any_of(holding.cbegin(), holding.cend(),
                                          [](const Holder &h) { return h.name == QLatin1String("ModemManager"); });
    if (modemManager)
        text += QStringLiteral(" ModemManager tries new ttyACM devices for a modem for a few seconds after they "
                               "appear: start again shortly, or stop it with: sudo systemctl stop ModemManager");
    else
        text += QStringLiteral(" Close that program, then start again.");
    return {OpenFailure::Kind::InUse, text};
}

OpenFailure PortAccess::missing(const QString &port, const QString &path)
{
    return {OpenFailure::Kind::Missing,
            QStringLiteral("%1 leads to %2, which is not there. Plug the adapter in; halvern --list-ports shows "
                           "the ports found.")
                .arg(port, path)};
}
