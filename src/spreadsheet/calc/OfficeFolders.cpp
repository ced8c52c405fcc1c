#include "OfficeFolders.h"

#include "OfficeProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {
const QString kPrefix = QStringLiteral("office-");
const QString kPidFile = QStringLiteral("launcher.pid");

// Settings for a fresh profile: no first-start dialogs and no question about
// keeping the Excel format when the user saves with the office's own button.
const char kRegistry[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="ShowTipOfTheDay" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Save/Document"><prop oor:name="WarnAlienFormat" oor:op="fuse"><value>false</value></prop></item>
</oor:items>
)";
} // namespace

QString OfficeFolders::dataRoot()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/Halvern");
}

bool OfficeFolders::create(QString *error)
{
    const QString root = dataRoot();
    for (int attempt = 0; attempt < 20; ++attempt) {
        const QString unique = QStringLiteral("%1-%2")
                                   .arg(::getpid())
                                   .arg(QRandomGenerator::global()->generate(), 8, 16, QChar('0'));
        const QString folder = root + '/' + kPrefix + unique;
        if (QFileInfo::exists(folder))
            continue;
        if (!QDir().mkpath(folder + QStringLiteral("/profile/user"))
            || !QDir().mkpath(folder + QStringLiteral("/tmp"))) {
            if (error)
                *error = QStringLiteral("Cannot create the office folder %1").arg(folder);
            return false;
        }
        QFile registry(folder + QStringLiteral("/profile/user/registrymodifications.xcu"));
        if (registry.open(QIODevice::WriteOnly))
            registry.write(kRegistry);
        m_unique = unique;
        m_folder = folder;
        return true;
    }
    if (error)
        *error = QStringLiteral("Cannot find a free office folder name in %1").arg(root);
    return false;
}

QString OfficeFolders::profileUrl() const
{
    return QUrl::fromLocalFile(m_folder + QStringLiteral("/profile")).toString(QUrl::FullyEncoded);
}

QString OfficeFolders::tempFolder() const
{
    return m_folder + QStringLiteral("/tmp");
}

void OfficeFolders::recordLauncher(pid_t pid, bool headless) const
{
    QFile file(m_folder + '/' + kPidFile);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QByteArray::number(pid) + (headless ? " headless" : ""));
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

void OfficeFolders::sweepEnded()
{
    QDir root(dataRoot());
    const QStringList entries = root.entryList({kPrefix + '*'}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        const QString unique = entry.mid(kPrefix.size());
        const QString folder = root.filePath(entry);
        // A folder without a launcher file may be one being set up right now:
        // leave it unless it is older than a minute.
        const bool hasPid = QFileInfo::exists(folder + '/' + kPidFile);
        if (!hasPid && QFileInfo(folder).lastModified().secsTo(QDateTime::currentDateTime()) < 60)
            continue;
        const auto [launcher, headless] = launcherOf(folder);
        // The unique name starts with the process id of the program that
        // launched the office.
        const pid_t owner = unique.section('-', 0, 0).toInt();
        if (headless && owner != ::getpid() && OfficeProcess::groupAlive(launcher)
            && ::kill(owner, 0) != 0 && errno == ESRCH) {
            ::kill(-launcher, SIGKILL);
            for (int i = 0; i < 50 && OfficeProcess::groupAlive(launcher); ++i)
                ::usleep(20000);
        }
        if (!OfficeProcess::groupAlive(launcher))
            QDir(folder).removeRecursively();
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
    if (instanceAlive(unique))
        return false;
    return QFile::remove(lockPath);
}
