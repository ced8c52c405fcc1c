#include "PostgresServer.h"

#include "FileContents.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <csignal>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
const QString kBin = QStringLiteral("/usr/lib/postgresql/15/bin/");

bool chownToPostgres(const QString &path)
{
    const passwd *user = ::getpwnam("postgres");
    return user && ::chown(QFile::encodeName(path).constData(), user->pw_uid, user->pw_gid) == 0;
}
} // namespace

PostgresServer::PostgresServer() : m_folder(QDir::tempPath() + QStringLiteral("/halvern-pg-XXXXXX"))
{
    if (!m_folder.isValid() || !chownToPostgres(m_folder.path())) {
        m_problem = QStringLiteral("no temporary folder for the postgres user");
        return;
    }
    m_data = m_folder.filePath(QStringLiteral("data"));
    m_problem = runAsPostgres({kBin + "initdb", "-D", m_data, "-A", "trust", "-U", "postgres", "--no-sync"});
    if (!m_problem.isEmpty())
        return;
    // Password logins first; everyone else is trusted, on the socket only.
    writeFile(m_data + QStringLiteral("/pg_hba.conf"),
              "local all postgres trust\nlocal all halvern_pw scram-sha-256\nlocal all all trust\n");
    chownToPostgres(m_data + QStringLiteral("/pg_hba.conf"));
    if (start())
        m_problem = psql(QStringLiteral("CREATE DATABASE lab"), QString()).isEmpty() ? QString()
                                                                                     : QStringLiteral("no database");
}

PostgresServer::~PostgresServer()
{
    if (!m_data.isEmpty())
        runAsPostgres({kBin + "pg_ctl", "-D", m_data, "-m", "immediate", "-w", "stop"});
}

QString PostgresServer::runAsPostgres(const QStringList &command, int timeoutMs) const
{
    QProcess process;
    process.setWorkingDirectory(m_folder.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("runuser"), QStringList{"-u", "postgres", "--"} + command);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return command.first() + QStringLiteral(" did not finish");
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QString::fromLocal8Bit(process.readAll()).trimmed();
    return QString();
}

bool PostgresServer::start()
{
    const QString options = QStringLiteral("-c listen_addresses='' -c fsync=off -k ") + m_folder.path();
    const QString failure = runAsPostgres(
        {kBin + "pg_ctl", "-D", m_data, "-o", options, "-l", m_folder.filePath(QStringLiteral("log")), "-w", "start"});
    if (!failure.isEmpty())
        m_problem =
            failure + '\n' + QString::fromLocal8Bit(readFile(m_folder.filePath(QStringLiteral("log")))).right(600);
    return failure.isEmpty();
}

bool PostgresServer::stop()
{
    return runAsPostgres({kBin + "pg_ctl", "-D", m_data, "-m", "fast", "-w", "stop"}).isEmpty();
}

qint64 PostgresServer::postmasterPid() const
{
    QFile file(m_data + QStringLiteral("/postmaster.pid"));
    return file.open(QIODevice::ReadOnly) ? file.readLine().trimmed().toLongLong() : 0;
}

void PostgresServer::kill()
{
    const qint64 pid = postmasterPid();
    if (pid <= 0)
        return;
    // The server's own processes: the postmaster and its children.
    QList<qint64> children;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == pid)
            children << entry.toLongLong();
    }
    children.prepend(pid);
    for (const qint64 each : children)
        ::kill(pid_t(each), SIGKILL);
    // Gone only once reaped: the test program may be their reaper (a
    // subreaper), and a zombie postmaster still holds the lock file.
    for (const qint64 each : children)
        waitUntil(
            [each] {
                ::waitpid(pid_t(each), nullptr, WNOHANG);
                return ::kill(pid_t(each), 0) != 0;
            },
            10000);
}

QString PostgresServer::conninfo(const QString &login) const
{
    return QStringLiteral("host=%1 dbname=lab user=%2").arg(m_folder.path(), login);
}

QString PostgresServer::psql(const QString &sql, const QString &login) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString db = login.isNull() ? QStringLiteral("postgres") : QStringLiteral("lab");
    process.start(QStringLiteral("psql"), {"-X", "-q", "-v", "ON_ERROR_STOP=1", "-h", m_folder.path(), "-U",
                                           login.isNull() ? QStringLiteral("postgres") : login, "-d", db, "-c", sql});
    if (!process.waitForFinished(60000))
        return QStringLiteral("psql did not finish");
    const QString out = QString::fromLocal8Bit(process.readAll()).trimmed();
    return process.exitCode() == 0 ? QString() : (out.isEmpty() ? QStringLiteral("psql failed") : out);
}

void PostgresServer::addLogin(const QString &login, const QString &password, bool writer)
{
    psql(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2'%3")
             .arg(login, password, writer ? QStringLiteral(" IN ROLE halvern_writer") : QString()));
}
