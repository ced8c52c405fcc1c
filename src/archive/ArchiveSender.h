#pragma once

#include "ArchiveStatus.h"
#include "ArchiveStore.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <functional>
#include <memory>

// Sends what the runs folder holds and the archive lacks. The folder is the
// queue: each pass asks the archive how far it has a run (once, then keeps
// count), sends the journal's new bytes and times as pieces of at most
// kPieceBytes, and once the run's summary is written its record, its start
// workbook (once by its hash) and each saved workbook as stored. A workbook
// the summary names later goes as a rebuild only when the summary says it
// was rebuilt; a file that no longer has the hash the summary gives is not
// sent. Blocking: runs on the archive's thread (ArchiveThread) or a command.
class ArchiveSender {
public:
    static constexpr qint64 kPieceBytes = 1024 * 1024;
    // The workbook a run started from, by its raw file; empty when not known.
    using StartWorkbook = std::function<QString(const QString &rawPath)>;

    ArchiveSender(QString runsFolder, QString host, ArchiveStatus &status, StartWorkbook startWorkbook = {});

    // One pass over the folder with `store`. A failure means the connection
    // is lost (the pass stops, to be tried again); a run the archive refuses
    // is told in the status and the log, and the pass goes on.
    std::optional<Failure> pass(ArchiveStore &store);
    // Forget what is known of the archive (a new connection asks again).
    void forget() { m_known.clear(); }
    // Every run is marked waiting with `why` (the server does not answer).
    void markWaiting(const QString &why);

private:
    struct Known {
        bool asked = false; // the archive was asked how far it has the run
        ArchiveStore::RunProgress progress;
        QSet<QString> workbooks; // "<file name> <sha256 hex>"
        QDateTime summaryTime;   // of the summary last looked at
        bool refused = false;
    };
    // Failure: the connection is lost. A refusal is kept in `known`.
    std::optional<Failure> sendRun(ArchiveStore &store, const QString &rawPath, Known &known);
    std::optional<Failure> sendStream(ArchiveStore &store, const QString &name, const QString &path,
                                      ArchiveStore::Stream stream, qint64 &end);
    std::optional<Failure> sendRecord(ArchiveStore &store, const QString &rawPath, const QString &summaryText,
                                      Known &known);
    std::optional<Failure> sendWorkbooks(ArchiveStore &store, const QString &name, const QString &summaryText,
                                         Known &known, bool rebuiltOnly);
    bool lost(const ArchiveStore &store) const;

    QString m_folder;
    QString m_host;
    ArchiveStatus &m_status;
    StartWorkbook m_startWorkbook;
    QHash<QString, Known> m_known; // by raw file name
};
