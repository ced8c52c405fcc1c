#include "ArchiveConnection.h"

#include "ArchiveWords.h"
#include "LogCategories.h"

#include <libpq-fe.h>
#include <vector>

namespace {
// A server that does not answer costs a try at most this long.
constexpr int kConnectSeconds = 5;

QString errorOf(const PGconn *conn) { return QString::fromUtf8(PQerrorMessage(conn)).trimmed(); }
} // namespace

ArchiveConnection::ArchiveConnection(pg_conn *conn) : m_conn(conn), m_cancel(PQgetCancel(conn)) {}

ArchiveConnection::~ArchiveConnection()
{
    PQfreeCancel(m_cancel);
    PQfinish(m_conn);
}

Result<std::shared_ptr<ArchiveConnection>> ArchiveConnection::openOnly(const QString &conninfo)
{
    const QString given = conninfo.trimmed().isEmpty() ? ArchiveWords::defaultConnection() : conninfo.trimmed();
    const QByteArray info = given.toUtf8();
    const QByteArray timeout = QByteArray::number(kConnectSeconds);
    // The string first; later keys add what it leaves out (a URI is taken as it is).
    const char *keys[] = {"dbname", "connect_timeout", "application_name", nullptr};
    const char *values[] = {info.constData(), timeout.constData(), "halvern", nullptr};
    PGconn *conn = PQconnectdbParams(keys, values, 1);
    if (!conn)
        return Failure{QStringLiteral("The archive connection cannot be made: out of memory")};
    if (PQstatus(conn) != CONNECTION_OK) {
        const QString words = ArchiveWords::connectFailure(errorOf(conn));
        PQfinish(conn);
        return Failure{words};
    }
    return std::shared_ptr<ArchiveConnection>(new ArchiveConnection(conn));
}

Result<std::shared_ptr<ArchiveConnection>> ArchiveConnection::open(const QString &conninfo)
{
    Result<std::shared_ptr<ArchiveConnection>> made = openOnly(conninfo);
    if (!made)
        return made;
    ArchiveConnection &connection = *made.value();
    // to_regnamespace and has_schema_privilege need no rights on the schema.
    const Result<Rows> schema =
        connection.query("SELECT to_regnamespace('halvern') IS NOT NULL, current_user, "
                         "to_regnamespace('halvern') IS NOT NULL AND has_schema_privilege('halvern', 'USAGE')");
    if (!schema)
        return schema.failure();
    const QList<QByteArray> row = schema.value().value(0);
    const QString login = QString::fromUtf8(row.value(1));
    if (row.value(0) != "t")
        return Failure{ArchiveWords::schemaMissing()};
    if (row.value(2) != "t")
        return Failure{ArchiveWords::noWriterRights(login)};
    const Result<Rows> rights = connection.query("SELECT to_regclass('halvern.pieces') IS NOT NULL AND "
                                                 "has_table_privilege('halvern.pieces', 'INSERT') AND "
                                                 "has_table_privilege('halvern.pieces', 'SELECT')");
    if (!rights)
        return rights.failure();
    if (rights.value().value(0).value(0) != "t")
        return Failure{ArchiveWords::noWriterRights(login)};
    return made;
}

Result<ArchiveConnection::Rows> ArchiveConnection::query(const char *sql, const QList<QByteArray> &params,
                                                         const QList<bool> &binary, bool binaryResult)
{
    std::vector<const char *> values;
    std::vector<int> lengths;
    std::vector<int> formats;
    for (qsizetype i = 0; i < params.size(); ++i) {
        values.push_back(params[i].isNull() ? nullptr : params[i].constData());
        lengths.push_back(int(params[i].size()));
        formats.push_back(binary.value(i, false) ? 1 : 0);
    }
    PGresult *result = PQexecParams(m_conn, sql, int(params.size()), nullptr, values.data(), lengths.data(),
                                    formats.data(), binaryResult ? 1 : 0);
    const ExecStatusType status = PQresultStatus(result);
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
        // Both read before PQclear frees the result they point into.
        const char *field = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
        const QString state = field ? QString::fromLatin1(field) : QString();
        const QString message =
            result && *PQresultErrorMessage(result) ? QString::fromUtf8(PQresultErrorMessage(result)) : errorOf(m_conn);
        PQclear(result);
        return Failure{ArchiveWords::queryFailure(state, message)};
    }
    Rows rows;
    const int count = PQntuples(result);
    const int columns = PQnfields(result);
    rows.reserve(count);
    for (int r = 0; r < count; ++r) {
        QList<QByteArray> row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row << (PQgetisnull(result, r, c) ? QByteArray()
                                              : QByteArray(PQgetvalue(result, r, c), PQgetlength(result, r, c)));
        rows << row;
    }
    PQclear(result);
    return rows;
}

bool ArchiveConnection::isAlive() const { return PQstatus(m_conn) == CONNECTION_OK; }

QString ArchiveConnection::describe() const
{
    const char *host = PQhost(m_conn);
    return QStringLiteral("%1@%2/%3")
        .arg(QString::fromUtf8(PQuser(m_conn)), host ? QString::fromUtf8(host) : QString(),
             QString::fromUtf8(PQdb(m_conn)));
}

void ArchiveConnection::cancel()
{
    char error[256];
    if (m_cancel && !PQcancel(m_cancel, error, sizeof error))
        qCWarning(lcArchive) << "the archive query could not be cancelled:" << error;
}
