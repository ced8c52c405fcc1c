#pragma once

#include "ArchiveConnection.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <optional>

// What Halvern asks of the archive's tables, one statement each, over one
// connection. Every insert is idempotent: what the server already has is
// stored once, and a row that differs from the one stored is refused.
class ArchiveStore {
public:
    // How far the archive has a run: where each stream's pieces end, and
    // whether its record is there.
    struct RunProgress {
        qint64 rawEnd = 0;
        qint64 timesEnd = 0;
        qint64 manifestEnd = 0;
        bool hasRecord = false;
        QString recordText; // the record as received
    };
    // The record of a run at Stop, with the columns a query wants.
    struct Record {
        QString login, fullName, port, adapter, halvernVersion, officeVersion, macro;
        QDateTime started, stopped;
        qint64 rawBytes = 0;
        QString rawSha256, timesSha256;
        QByteArray startWorkbookSha256; // raw 32 bytes, or empty
        QString text;                   // the whole record as written in the runs folder
    };
    struct Piece {
        qint64 offset = 0;
        QByteArray bytes;
        QDateTime receivedAt;
    };
    struct StoredWorkbook {
        QString kind, fileName;
        QByteArray sha256; // raw 32 bytes
        QDateTime receivedAt;
    };
    enum class Stream { Raw, Times, Manifest };

    ArchiveStore(std::shared_ptr<ArchiveConnection> connection, QString host);

    const QString &host() const { return m_host; }
    ArchiveConnection &connection() { return *m_connection; }

    std::optional<Failure> addRun(const QString &name, const QDateTime &started);
    Result<RunProgress> progress(const QString &name);
    // The runs of this host whose records the archive has.
    Result<QSet<QString>> recordedRuns();
    // The workbooks of a run the archive has, "<file name> <sha256 hex>" each.
    Result<QSet<QString>> workbookKeys(const QString &name);

    // Stores a piece; the stored piece at the same offset, when there is one
    // already, must hold the same bytes: its length comes back.
    Result<qint64> addPiece(const QString &name, Stream stream, qint64 offset, const QByteArray &bytes);
    std::optional<Failure> addRecord(const QString &name, const Record &record);
    std::optional<Failure> addWorkbook(const QString &name, const QString &kind, const QString &fileName,
                                       const QByteArray &bytes);
    // The start workbook, sent only when the archive lacks it.
    std::optional<Failure> addStartWorkbook(const QByteArray &bytes);

    // Reading back, for the checks and the fetch. `host` empty: any computer.
    Result<QList<Piece>> pieces(const QString &name, Stream stream, const QString &host);
    Result<QList<StoredWorkbook>> workbooks(const QString &name, const QString &host);
    Result<QByteArray> workbookBytes(const QString &name, const QString &host, const QByteArray &sha256);
    Result<QByteArray> startWorkbook(const QByteArray &sha256);
    // The record of a run (text and its start workbook's hash), with when it arrived.
    struct StoredRecord {
        QString host;
        QString text;
        QByteArray startWorkbookSha256;
        QDateTime receivedAt;
    };
    Result<std::optional<StoredRecord>> record(const QString &name, const QString &host);

    static QByteArray sha256(const QByteArray &bytes);
    static QString streamName(Stream stream);

private:
    std::shared_ptr<ArchiveConnection> m_connection;
    QString m_host;
};
