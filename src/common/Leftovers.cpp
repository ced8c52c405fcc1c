#include "Leftovers.h"

#include "LogCategories.h"
#include "PlainFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QSysInfo>
#include <QUrl>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
constexpr qint64 kMaxLock = 4096;

const QRegularExpression &saveTemporary()
{
    static const QRegularExpression name(QStringLiteral("^\\.~halvern-save-([0-9]+)-[0-9a-z]+\\.[A-Za-z]+$"));
    return name;
}
const QRegularExpression &rebuildCopy()
{
    static const QRegularExpression name(QStringLiteral("^\\.halvern-rebuild-([0-9]+)\\.xls$"));
    return name;
}
const QRegularExpression &lock()
{
    static const QRegularExpression name(QStringLiteral("^\\.~lock\\.(.+)#$"));
    return name;
}
const QRegularExpression &officeTemporary()
{
    static const QRegularExpression name(QStringLiteral("^lu[0-9A-Za-z_]+\\.tmp$"));
    return name;
}

bool processAlive(qint64 pid) { return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM); }

// The process named in a save temporary's or rebuild copy's name; 0 for
// any other name.
qint64 ownerOf(const QString &fileName)
{
    for (const QRegularExpression *pattern : {&saveTemporary(), &rebuildCopy()}) {
        const QRegularExpressionMatch m = pattern->match(fileName);
        if (m.hasMatch())
            return m.captured(1).toLongLong();
    }
    return 0;
}

// The command lines of this user's processes, NUL-separated as /proc has them.
QList<QByteArray> commandLines()
{
    QList<QByteArray> lines;
    for (const QString &name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        name.toInt(&number);
        if (!number || QFileInfo(QStringLiteral("/proc/") + name).ownerId() != ::getuid())
            continue;
        QFile cmdline(QStringLiteral("/proc/") + name + QStringLiteral("/cmdline"));
        if (cmdline.open(QIODevice::ReadOnly))
            lines.append(cmdline.read(16384));
    }
    return lines;
}

// Every file this user's processes hold open.
QSet<QString> openFiles()
{
    QSet<QString> files;
    for (const QString &name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        name.toInt(&number);
        if (!number)
            continue;
        const QDir fds(QStringLiteral("/proc/") + name + QStringLiteral("/fd"));
        for (const QFileInfo &fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
            files.insert(fd.symLinkTarget());
    }
    return files;
}

bool remove(const QString &path, const char *what, QStringList &removed)
{
    if (!QFile::remove(path)) {
        qCWarning(lcApp) << "cannot remove" << what << "left behind:" << path;
        return false;
    }
    qCInfo(lcApp) << "removed" << what << "left behind:" << path;
    removed << path;
    return true;
}
} // namespace

QString Leftovers::saveTemporaryName(const QString &suffix)
{
    return QStringLiteral(".~halvern-save-%1-%2.%3")
        .arg(::getpid())
        .arg(QString::number(QRandomGenerator::global()->generate64(), 36), suffix);
}

bool Leftovers::isSaveTemporary(const QString &fileName) { return saveTemporary().match(fileName).hasMatch(); }

QString Leftovers::rebuildCopyName() { return QStringLiteral(".halvern-rebuild-%1.xls").arg(::getpid()); }

QString Leftovers::lockNameOf(const QString &fileName) { return QStringLiteral(".~lock.") + fileName + '#'; }

bool Leftovers::lockIsStale(const QByteArray &content)
{
    // ",<user>,<host>,<time>,<profile URL>;": the office that wrote it is
    // told by its profile, one of ours under .../Halvern/office-<id>/.
    const QList<QByteArray> fields = content.trimmed().split(',');
    if (fields.size() < 5)
        return false;
    const QString profileUrl = QString::fromUtf8(fields.last()).section(';', 0, 0).trimmed();
    static const QRegularExpression ours(QStringLiteral("/Halvern/office-[0-9]+-[0-9a-f]{8}/profile$"));
    const QString profile = QUrl(profileUrl).toLocalFile();
    if (!ours.match(profile).hasMatch())
        return false; // somebody else's office: its lock is respected
    // An office on another computer sharing this folder cannot be seen from here.
    if (QString::fromUtf8(fields.value(2)) != QSysInfo::machineHostName())
        return false;
    const QByteArray id = QFile::encodeName(profile.section('/', -2, -2)) + "/profile";
    for (const QByteArray &line : commandLines())
        if (line.contains("-env:UserInstallation=") && line.contains(id))
            return false;
    return true;
}

QStringList Leftovers::removeIn(const QString &folder)
{
    QStringList removed;
    if (folder.isEmpty())
        return removed;
    const QDir dir(folder);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    bool deadSave = false;
    for (const QString &name : names) {
        const QString path = dir.filePath(name);
        if (const qint64 owner = ownerOf(name)) {
            if (!processAlive(owner) && remove(path, "a killed save's or rebuild's file", removed))
                deadSave = true;
            continue;
        }
        const QRegularExpressionMatch m = lock().match(name);
        if (!m.hasMatch())
            continue;
        if (const qint64 owner = ownerOf(m.captured(1))) {
            if (!processAlive(owner))
                deadSave = remove(path, "the office's lock of a killed save or rebuild", removed) || deadSave;
            continue;
        }
        const Result<std::unique_ptr<QFile>> file = PlainFile::open(path, PlainFile::Mode::Read);
        if (file && lockIsStale((*file)->read(kMaxLock)))
            remove(path, "the lock of an office that has gone", removed);
    }
    if (!deadSave)
        return removed;
    // The office's own temporary files of the killed save: the ones nobody holds.
    const QSet<QString> held = openFiles();
    for (const QString &name : names)
        if (officeTemporary().match(name).hasMatch() && !held.contains(dir.absoluteFilePath(name)))
            remove(dir.filePath(name), "the office's temporary file of a killed save", removed);
    return removed;
}

QStringList Leftovers::removeDeadPipes(const QString &pipeFolder)
{
    QStringList removed;
    const QString prefix = QStringLiteral("OSL_PIPE_%1_").arg(::getuid());
    const QDir dir(pipeFolder);
    for (const QString &name : dir.entryList({prefix + '*'}, QDir::System | QDir::Files | QDir::Hidden)) {
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        struct stat info {};
        if (::lstat(path.constData(), &info) != 0 || !S_ISSOCK(info.st_mode) || info.st_uid != ::getuid()
            || path.size() >= qsizetype(sizeof(sockaddr_un::sun_path)))
            continue;
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (probe < 0)
            continue;
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        const bool refused = ::connect(probe, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0
                             && errno == ECONNREFUSED;
        ::close(probe);
        if (refused)
            remove(dir.filePath(name), "an office pipe nobody listens on", removed);
    }
    return removed;
}
