#include "OfficeFolders.h"

#include "LogCategories.h"
#include "OfficeProcess.h"
#include "PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSysInfo>
#include <QStandardPaths>
#include <QUrl>
#include <QHash>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
const QString kPrefix = QStringLiteral("office-");
const QString kPidFile = QStringLiteral("launcher.pid");
const QString kOwnerLock = QStringLiteral("owner.lock");
// An instance name: the launching program's process id and eight hex digits.
const QString kUniquePattern = QStringLiteral("[0-9]+-[0-9a-f]{8}");

// Settings for a fresh profile: no first-start dialogs and no question about
// keeping the Excel format when the user saves with the office's own button.
const char kRegistry[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="ShowTipOfTheDay" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Save/Document"><prop oor:name="WarnAlienFormat" oor:op="fuse"><value>false</value></prop></item>
</oor:items>
)";

// An office meeting a profile without its build id empties the profile's
// extension cache and then restarts itself once. A client that connected to
// the first process in that moment loses its connection, so the profile gets
// the installed office's build id before the office first sees it.
void seedBuildId(const QString &profileUser, const QString &programFolder)
{
    QFile versionrc(programFolder + QStringLiteral("/versionrc"));
    if (!versionrc.open(QIODevice::ReadOnly)) {
        qCWarning(lcOffice).noquote() << "The office's build id is unknown, it may restart once on start:"
                                      << versionrc.fileName() << versionrc.errorString();
        return;
    }
    const QByteArray key = "buildid=";
    while (!versionrc.atEnd()) {
        const QByteArray line = versionrc.readLine().trimmed();
        if (!line.startsWith(key))
            continue;
        QFile buildId(profileUser + QStringLiteral("/extensions/buildid"));
        if (!PrivateFolder::make(profileUser + QStringLiteral("/extensions")) || !buildId.open(QIODevice::WriteOnly)
            || buildId.write(line.mid(key.size())) != line.size() - key.size()) {
            qCWarning(lcOffice).noquote()
                << "The office's build id was not written, it may restart once on start:" << buildId.fileName()
                << buildId.errorString();
        }
        return;
    }
    qCWarning(lcOffice).noquote() << "No build id in" << versionrc.fileName()
                                  << "- the office may restart once on start";
}
} // namespace

QString OfficeFolders::dataRoot()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/Halvern");
}

std::optional<Failure> OfficeFolders::create(const QString &programFolder)
{
    const QString root = dataRoot();
    if (!PrivateFolder::make(root))
        return Failure{QStringLiteral("Cannot create the office folder %1").arg(root)};
    for (int attempt = 0; attempt < 20; ++attempt) {
        const QString unique =
            QStringLiteral("%1-%2").arg(::getpid()).arg(QRandomGenerator::global()->generate(), 8, 16, QChar('0'));
        const QString folder = root + '/' + kPrefix + unique;
        if (QFileInfo::exists(folder))
            continue;
        // The profile holds what the office keeps of the user's documents.
        if (!PrivateFolder::make(folder + QStringLiteral("/profile/user"))
            || !PrivateFolder::make(folder + QStringLiteral("/tmp"))) {
            return Failure{QStringLiteral("Cannot create the office folder %1").arg(folder)};
        }
        QFile registry(folder + QStringLiteral("/profile/user/registrymodifications.xcu"));
        if (registry.open(QIODevice::WriteOnly))
            registry.write(kRegistry);
        seedBuildId(folder + QStringLiteral("/profile/user"), programFolder);
        m_unique = unique;
        m_folder = folder;
        return std::nullopt;
    }
    return Failure{QStringLiteral("Cannot find a free office folder name in %1").arg(root)};
}

QString OfficeFolders::profileUrl() const
{
    return QUrl::fromLocalFile(m_folder + QStringLiteral("/profile")).toString(QUrl::FullyEncoded);
}

QString OfficeFolders::tempFolder() const { return m_folder + QStringLiteral("/tmp"); }

void OfficeFolders::recordLauncher(pid_t pid, bool headless) const
{
    QFile file(m_folder + '/' + kPidFile);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QByteArray::number(pid) + (headless ? " headless" : ""));
}

QString OfficeFolders::ownerLockPath() const { return m_folder + '/' + kOwnerLock; }

QString OfficeFolders::pipePath(const QString &unique)
{
    return QStringLiteral("/tmp/OSL_PIPE_%1_%2").arg(::getuid()).arg(unique);
}

void OfficeFolders::remove() const
{
    if (!m_folder.isEmpty())
        QDir(m_folder).removeRecursively();
}

namespace {
// The launcher's process id and whether the office is headless, from the
// instance folder; pid 0 when unknown.
std::pair<pid_t, bool> launcherOf(const QString &folder)
{
    QFile file(folder + '/' + kPidFile);
    if (!file.open(QIODevice::ReadOnly))
        return {0, false};
    const QList<QByteArray> fields = file.readAll().trimmed().split(' ');
    return {fields.value(0).toInt(), fields.value(1) == "headless"};
}
} // namespace

bool OfficeFolders::instanceAlive(const QString &unique)
{
    // No folder or no launcher: nothing can be running on it.
    return OfficeProcess::groupAlive(launcherOf(dataRoot() + '/' + kPrefix + unique).first);
}

namespace {
struct RunningOffice {
    QString root; // the data root its profile lies in, URL-encoded
    QList<pid_t> pids;
};

// Launched offices running now, by instance name: every process of this user
// whose command line names an instance profile like ours, in any data root.
QHash<QString, RunningOffice> runningOffices()
{
    QHash<QString, RunningOffice> offices;
    static const QRegularExpression profile(QStringLiteral("^-env:UserInstallation=file://(.*)/") + kPrefix + '('
                                            + kUniquePattern + QStringLiteral(")/profile$"));
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : pids) {
        bool ok = false;
        const pid_t pid = name.toInt(&ok);
        if (!ok || QFileInfo(QStringLiteral("/proc/") + name).ownerId() != ::getuid())
            continue;
        QFile cmdline(QStringLiteral("/proc/") + name + QStringLiteral("/cmdline"));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        const QByteArray args = cmdline.read(16384);
        if (!args.contains("-env:UserInstallation="))
            continue;
        for (const QByteArray &arg : args.split('\0')) {
            const QRegularExpressionMatch m = profile.match(QString::fromLocal8Bit(arg));
            if (m.hasMatch()) {
                RunningOffice &office = offices[m.captured(2)];
                office.root = m.captured(1);
                office.pids.append(pid);
            }
        }
    }
    return offices;
}

// True when the owner of an instance has gone: its owner lock is free (taken
// into *lock, to be held while the instance is cleared), or, for a folder
// from before owner locks, the program that made it has ended.
bool ownerGone(const QString &folder, const QString &unique, int *lock)
{
    *lock = ::open(QFile::encodeName(folder + '/' + kOwnerLock).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (*lock >= 0) {
        if (::flock(*lock, LOCK_EX | LOCK_NB) == 0)
            return true;
        ::close(*lock);
        *lock = -1;
        return false;
    }
    // A folder without one may be one being set up right now: left alone
    // unless it is older than a minute.
    if (QFileInfo(folder).lastModified().secsTo(QDateTime::currentDateTime()) < 60)
        return false;
    const pid_t owner = unique.section('-', 0, 0).toInt();
    return owner != ::getpid() && ::kill(owner, 0) != 0 && errno == ESRCH;
}

bool living(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.read(512);
    const qsizetype close = text.lastIndexOf(')');
    return close >= 0 && text.size() > close + 2 && text[close + 2] != 'Z' && text[close + 2] != 'X';
}

void endProcesses(const QList<pid_t> &pids)
{
    for (const pid_t pid : pids)
        ::kill(pid, SIGKILL);
    for (int i = 0; i < 100 && std::any_of(pids.begin(), pids.end(), living); ++i)
        ::usleep(20000);
}
} // namespace

void OfficeFolders::sweepEnded()
{
    const QString rootPath = dataRoot();
    PrivateFolder::tighten(rootPath, PrivateFolder::Files::Leave);
    const QString encodedRoot = QUrl::fromLocalFile(rootPath).path(QUrl::FullyEncoded);
    const QHash<QString, RunningOffice> running = runningOffices();
    QDir root(rootPath);
    const QStringList entries = root.entryList({kPrefix + '*'}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        const QString unique = entry.mid(kPrefix.size());
        const QString folder = root.filePath(entry);
        int lock = -1;
        if (!ownerGone(folder, unique, &lock))
            continue;
        // Nobody can reach its office any more.
        const auto office = running.constFind(unique);
        if (office != running.cend() && office->root == encodedRoot)
            endProcesses(office->pids);
        QFile::remove(pipePath(unique));
        QDir(folder).removeRecursively();
        if (lock >= 0)
            ::close(lock);
    }
    // Pipes named like ours that no running office serves and no instance
    // folder here stands for (an office in another data root keeps its own).
    static const QRegularExpression ourPipe(QStringLiteral("^OSL_PIPE_%1_(%2)$").arg(::getuid()).arg(kUniquePattern));
    const QStringList pipes =
        QDir(QStringLiteral("/tmp")).entryList({QStringLiteral("OSL_PIPE_*")}, QDir::System | QDir::Files);
    for (const QString &name : pipes) {
        const QRegularExpressionMatch m = ourPipe.match(name);
        if (m.hasMatch() && !running.contains(m.captured(1)) && !root.exists(kPrefix + m.captured(1)))
            QFile::remove(QStringLiteral("/tmp/") + name);
    }
}

QString OfficeFolders::lockFilePath(const QString &documentPath)
{
    const QFileInfo info(documentPath);
    return info.absolutePath() + QStringLiteral("/.~lock.") + info.fileName() + '#';
}

bool OfficeFolders::removeStaleLock(const QString &documentPath, const QString &onlyUnique)
{
    const QString lockPath = lockFilePath(documentPath);
    QFile lock(lockPath);
    if (!lock.open(QIODevice::ReadOnly))
        return false;
    // The lock names the profile of the office that wrote it.
    const QString content = QString::fromUtf8(lock.read(4096));
    lock.close();
    static const QRegularExpression ours(QStringLiteral("/Halvern/office-([0-9]+-[0-9a-f]{8})/profile"));
    const QRegularExpressionMatch m = ours.match(content);
    if (!m.hasMatch())
        return false; // somebody else's lock: respect it
    const QString unique = m.captured(1);
    if (!onlyUnique.isEmpty() && unique != onlyUnique)
        return false;
    // ",<user>,<host>,...": an office on another computer sharing the folder
    // cannot be seen from here.
    if (content.section(',', 2, 2) != QSysInfo::machineHostName())
        return false;
    if (instanceAlive(unique))
        return false;
    return QFile::remove(lockPath);
}
