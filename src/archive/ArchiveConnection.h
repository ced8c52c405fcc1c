#pragma once

#include "Result.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

struct pg_conn;
struct pg_cancel;

// One libpq connection to the lab archive. Blocking: used only on the
// archive's own thread or by a command-line command, never by a window.
// Failures come back in plain words (see ArchiveWords); the connection
// string itself is never logged, only its form without a password.
class ArchiveConnection {
public:
    // A query's rows, each column as text (or as raw bytes for binary results).
    using Rows = QList<QList<QByteArray>>;

    // Connects with `conninfo` ("service=halvern" when empty) and checks that
    // the archive's schema is there and this login may write to it.
    static Result<std::shared_ptr<ArchiveConnection>> open(const QString &conninfo);
    // The same, without the checks of the schema and the rights.
    static Result<std::shared_ptr<ArchiveConnection>> openOnly(const QString &conninfo);

    ~ArchiveConnection();
    ArchiveConnection(const ArchiveConnection &) = delete;
    ArchiveConnection &operator=(const ArchiveConnection &) = delete;

    // Runs `sql` with `params` ($1, $2, ...: text, or binary where the
    // matching `binary` flag is set). Results come back as text unless
    // `binaryResult`.
    Result<Rows> query(const char *sql, const QList<QByteArray> &params = {}, const QList<bool> &binary = {},
                       bool binaryResult = false);
    // False once the server went away.
    bool isAlive() const;
    // "user@host/dbname" of the connection, for the log and the window.
    QString describe() const;
    // Asks the server to stop the running query; safe from any thread.
    void cancel();

private:
    explicit ArchiveConnection(pg_conn *conn);
    pg_conn *m_conn;
    pg_cancel *m_cancel; // made on the connection's thread, used from any
};
