#include "ArchiveStore.h"

#include <QCryptographicHash>

namespace {
QByteArray text(const QString &value) { return value.isNull() ? QByteArray("") : value.toUtf8(); }
QByteArray number(qint64 value) { return QByteArray::number(value); }
QByteArray time(const QDateTime &at)
{
    return at.isValid() ? at.toUTC().toString(Qt::ISODateWithMs).toLatin1() : QByteArray();
}
// A bytea column in text form: "\x" and hex.
QByteArray bytea(const QByteArray &column) { return QByteArray::fromHex(column.mid(2)); }
QDateTime epochMs(const QByteArray &column) { return QDateTime::fromMSecsSinceEpoch(column.toLongLong()); }

const char *kReceived = "(extract(epoch from received_at) * 1000)::bigint";
} // namespace

ArchiveStore::ArchiveStore(std::shared_ptr<ArchiveConnection> connection, QString host)
    : m_connection(std::move(connection)), m_host(std::move(host))
{
}

QByteArray ArchiveStore::sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

QString ArchiveStore::streamName(Stream stream)
{
    switch (stream) {
    case Stream::Raw:
        return QStringLiteral("raw");
    case Stream::Times:
        return QStringLiteral("times");
    case Stream::Manifest:
        break;
    }
    return QStringLiteral("manifest");
}

std::optional<Failure> ArchiveStore::addRun(const QString &name, const QDateTime &started)
{
    const Result<ArchiveConnection::Rows> done =
        m_connection->query("INSERT INTO halvern.runs (host, name, started) VALUES ($1, $2, $3) "
                            "ON CONFLICT DO NOTHING",
                            {text(m_host), text(name), time(started)});
    if (!done)
        return done.failure();
    return std::nullopt;
}

Result<ArchiveStore::RunProgress> ArchiveStore::progress(const QString &name)
{
    const Result<ArchiveConnection::Rows> ends = m_connection->query(
        "SELECT stream, max(byte_offset + length(bytes)) FROM halvern.pieces WHERE host = $1 AND name = $2 "
        "GROUP BY stream",
        {text(m_host), text(name)});
    if (!ends)
        return ends.failure();
    RunProgress progress;
    for (const QList<QByteArray> &row : ends.value()) {
        const QByteArray &stream = row.value(0);
        (stream == "raw"     ? progress.rawEnd
         : stream == "times" ? progress.timesEnd
                             : progress.manifestEnd) = row.value(1).toLongLong();
    }
    const Result<ArchiveConnection::Rows> record = m_connection->query(
        "SELECT record FROM halvern.records WHERE host = $1 AND name = $2", {text(m_host), text(name)});
    if (!record)
        return record.failure();
    progress.hasRecord = !record.value().isEmpty();
    if (progress.hasRecord)
        progress.recordText = QString::fromUtf8(record.value().constFirst().value(0));
    return progress;
}

Result<QSet<QString>> ArchiveStore::recordedRuns()
{
    const Result<ArchiveConnection::Rows> rows =
        m_connection->query("SELECT name FROM halvern.records WHERE host = $1", {text(m_host)});
    if (!rows)
        return rows.failure();
    QSet<QString> names;
    for (const QList<QByteArray> &row : rows.value())
        names.insert(QString::fromUtf8(row.value(0)));
    return names;
}

Result<QSet<QString>> ArchiveStore::workbookKeys(const QString &name)
{
    const Result<ArchiveConnection::Rows> rows = m_connection->query(
        "SELECT file_name, encode(sha256, 'hex') FROM halvern.workbooks WHERE host = $1 AND name = $2",
        {text(m_host), text(name)});
    if (!rows)
        return rows.failure();
    QSet<QString> keys;
    for (const QList<QByteArray> &row : rows.value())
        keys.insert(QString::fromUtf8(row.value(0)) + ' ' + QString::fromLatin1(row.value(1)));
    return keys;
}

Result<qint64> ArchiveStore::addPiece(const QString &name, Stream stream, qint64 offset, const QByteArray &bytes)
{
    const QByteArray digest = sha256(bytes);
    const Result<ArchiveConnection::Rows> added = m_connection->query(
        "INSERT INTO halvern.pieces (host, name, stream, byte_offset, bytes, sha256) VALUES ($1, $2, $3, $4, $5, $6) "
        "ON CONFLICT DO NOTHING RETURNING 1",
        {text(m_host), text(name), text(streamName(stream)), number(offset), bytes, digest},
        {false, false, false, false, true, true});
    if (!added)
        return added.failure();
    if (!added.value().isEmpty())
        return qint64(bytes.size());
    // Sent before (its answer lost): the stored piece must be a prefix of these bytes.
    const Result<ArchiveConnection::Rows> stored =
        m_connection->query("SELECT length(bytes), encode(sha256, 'hex') FROM halvern.pieces "
                            "WHERE host = $1 AND name = $2 AND stream = $3 AND byte_offset = $4",
                            {text(m_host), text(name), text(streamName(stream)), number(offset)});
    if (!stored)
        return stored.failure();
    const qint64 length = stored.value().value(0).value(0).toLongLong();
    if (length <= 0 || length > bytes.size() || sha256(bytes.left(length)).toHex() != stored.value().value(0).value(1))
        return Failure{QStringLiteral("the archive holds other %1 bytes at offset %2 of %3")
                           .arg(streamName(stream))
                           .arg(offset)
                           .arg(name)};
    return length;
}

std::optional<Failure> ArchiveStore::addRecord(const QString &name, const Record &r)
{
    const QByteArray recordText = r.text.toUtf8();
    const Result<ArchiveConnection::Rows> done = m_connection->query(
        "INSERT INTO halvern.records (host, name, login, full_name, port, adapter, halvern_version, office_version, "
        "started, stopped, raw_bytes, raw_sha256, times_sha256, macro, start_workbook, record, record_sha256) "
        "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16, $17) ON CONFLICT DO NOTHING",
        {text(m_host), text(name), text(r.login), text(r.fullName), text(r.port), text(r.adapter),
         text(r.halvernVersion), text(r.officeVersion), time(r.started), time(r.stopped), number(r.rawBytes),
         text(r.rawSha256), text(r.timesSha256), text(r.macro),
         r.startWorkbookSha256.isEmpty() ? QByteArray() : r.startWorkbookSha256, recordText, sha256(recordText)},
        {false, false, false, false, false, false, false, false, false, false, false, false, false, false, true, false,
         true});
    if (!done)
        return done.failure();
    return std::nullopt;
}

std::optional<Failure> ArchiveStore::addWorkbook(const QString &name, const QString &kind, const QString &fileName,
                                                 const QByteArray &bytes)
{
    const Result<ArchiveConnection::Rows> done = m_connection->query(
        "INSERT INTO halvern.workbooks (host, name, kind, file_name, bytes, sha256) VALUES ($1, $2, $3, $4, $5, $6) "
        "ON CONFLICT DO NOTHING",
        {text(m_host), text(name), text(kind), text(fileName), bytes, sha256(bytes)},
        {false, false, false, false, true, true});
    if (!done)
        return done.failure();
    return std::nullopt;
}

std::optional<Failure> ArchiveStore::addStartWorkbook(const QByteArray &bytes)
{
    const QByteArray digest = sha256(bytes);
    const Result<ArchiveConnection::Rows> known =
        m_connection->query("SELECT 1 FROM halvern.start_workbooks WHERE sha256 = $1", {digest}, {true});
    if (!known)
        return known.failure();
    if (!known.value().isEmpty())
        return std::nullopt;
    const Result<ArchiveConnection::Rows> done = m_connection->query(
        "INSERT INTO halvern.start_workbooks (sha256, bytes) VALUES ($1, $2) ON CONFLICT DO NOTHING", {digest, bytes},
        {true, true});
    if (!done)
        return done.failure();
    return std::nullopt;
}

Result<QList<ArchiveStore::Piece>> ArchiveStore::pieces(const QString &name, Stream stream, const QString &host)
{
    const QByteArray sql = QByteArrayLiteral("SELECT byte_offset, bytes, ") + kReceived
                           + " FROM halvern.pieces WHERE name = $1 AND stream = $2 AND ($3 = '' OR host = $3) "
                             "ORDER BY byte_offset";
    const Result<ArchiveConnection::Rows> rows =
        m_connection->query(sql.constData(), {text(name), text(streamName(stream)), text(host)});
    if (!rows)
        return rows.failure();
    QList<Piece> pieces;
    pieces.reserve(rows.value().size());
    for (const QList<QByteArray> &row : rows.value())
        pieces << Piece{row.value(0).toLongLong(), bytea(row.value(1)), epochMs(row.value(2))};
    return pieces;
}

Result<QList<ArchiveStore::StoredWorkbook>> ArchiveStore::workbooks(const QString &name, const QString &host)
{
    const QByteArray sql = QByteArrayLiteral("SELECT kind, file_name, sha256, ") + kReceived
                           + " FROM halvern.workbooks WHERE name = $1 AND ($2 = '' OR host = $2) ORDER BY id";
    const Result<ArchiveConnection::Rows> rows = m_connection->query(sql.constData(), {text(name), text(host)});
    if (!rows)
        return rows.failure();
    QList<StoredWorkbook> books;
    for (const QList<QByteArray> &row : rows.value())
        books << StoredWorkbook{QString::fromUtf8(row.value(0)), QString::fromUtf8(row.value(1)), bytea(row.value(2)),
                                epochMs(row.value(3))};
    return books;
}

Result<QByteArray> ArchiveStore::workbookBytes(const QString &name, const QString &host, const QByteArray &digest)
{
    const Result<ArchiveConnection::Rows> rows = m_connection->query(
        "SELECT bytes FROM halvern.workbooks WHERE name = $1 AND ($2 = '' OR host = $2) AND sha256 = $3 LIMIT 1",
        {text(name), text(host), digest}, {false, false, true});
    if (!rows)
        return rows.failure();
    if (rows.value().isEmpty())
        return Failure{QStringLiteral("the archive has no such workbook of ") + name};
    return bytea(rows.value().constFirst().value(0));
}

Result<QByteArray> ArchiveStore::startWorkbook(const QByteArray &digest)
{
    const Result<ArchiveConnection::Rows> rows =
        m_connection->query("SELECT bytes FROM halvern.start_workbooks WHERE sha256 = $1", {digest}, {true});
    if (!rows)
        return rows.failure();
    if (rows.value().isEmpty())
        return Failure{QStringLiteral("the archive has no start workbook ") + QString::fromLatin1(digest.toHex())};
    return bytea(rows.value().constFirst().value(0));
}

Result<std::optional<ArchiveStore::StoredRecord>> ArchiveStore::record(const QString &name, const QString &host)
{
    const QByteArray sql = QByteArrayLiteral("SELECT host, record, start_workbook, ") + kReceived
                           + " FROM halvern.records WHERE name = $1 AND ($2 = '' OR host = $2) ORDER BY received_at";
    const Result<ArchiveConnection::Rows> rows = m_connection->query(sql.constData(), {text(name), text(host)});
    if (!rows)
        return rows.failure();
    if (rows.value().isEmpty())
        return std::optional<StoredRecord>();
    const QList<QByteArray> &row = rows.value().constFirst();
    return std::optional<StoredRecord>(StoredRecord{QString::fromUtf8(row.value(0)), QString::fromUtf8(row.value(1)),
                                                    bytea(row.value(2)), epochMs(row.value(3))});
}
