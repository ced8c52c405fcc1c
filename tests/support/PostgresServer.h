#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

// A throw-away PostgreSQL 15 server for a test: initdb into a temporary
// folder as the postgres system user (the tests run as root), listening on a
// Unix socket in that folder only (no TCP), stopped and removed with the
// object. The login "postgres" is trusted; logins made with
// addLogin(password) must give their password (scram-sha-256).
class PostgresServer {
public:
    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer &) = delete;
    PostgresServer &operator=(const PostgresServer &) = delete;

    // Empty when the server runs; else why it does not.
    const QString &problem() const { return m_problem; }

    bool start();
    bool stop();
    // SIGKILL to the server and every process of it, as a crash would.
    void kill();

    // "host=<socket folder> dbname=lab user=<login>".
    QString conninfo(const QString &login = QStringLiteral("postgres")) const;
    // Runs SQL through psql as `login`; empty on success, else psql's error.
    QString psql(const QString &sql, const QString &login = QStringLiteral("postgres")) const;
    // A login in halvern_writer (after the schema exists) with a password.
    void addLogin(const QString &login, const QString &password, bool writer = true);

private:
    QString runAsPostgres(const QStringList &command, int timeoutMs = 60000) const;
    qint64 postmasterPid() const;

    QTemporaryDir m_folder;
    QString m_data;
    QString m_problem;
};
