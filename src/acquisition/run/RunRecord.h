#pragma once

#include "JournalBacklog.h"
#include "ManifestRun.h"
#include "RunJournal.h"
#include "RunSummary.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>

// What a run keeps of what it received: the journal with the arrival times,
// and while a pause holds the writing, what waits for the sheet (read back
// from the journal at Resume). It tells each new failure of the journal once.
class RunRecord {
public:
    // What waits from a pause is handed on this much at a time.
    static constexpr qsizetype kHeldPart = qsizetype{256} * 1024;

    // Where the journals go (RunJournal::defaultFolder() unless set), and the
    // clock of the arrival times (the system's unless set).
    void setFolder(QString folder) { m_folder = std::move(folder); }
    QString folder() const { return m_folder.isEmpty() ? RunJournal::defaultFolder() : m_folder; }
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }
    QDateTime now() const { return m_clock ? m_clock() : QDateTime::currentDateTime(); }

    // A new journal for a run on COM `comNumber` that starts now, and its
    // manifest begun (see RunRecordKeeper); a journal that cannot be made
    // says so in journal().problem().
    void open(int comNumber, const QString &startingWorkbookSha256 = {});
    QDateTime started() const { return m_started; }
    int comNumber() const { return m_comNumber; }
    const RunJournal &journal() const { return m_journal; }
    RunJournal &journal() { return m_journal; }

    // Keeps `text`, which arrived `at` (see now()), in the journal. True when
    // it goes on to the sheet now; false while a pause holds it back.
    bool keep(const QByteArray &text, const QDateTime &at);
    void syncIfDue() { m_journal.syncIfDue(now()); }
    // A pause: what arrives from now on waits.
    void hold() { m_backlog.hold(m_journal); }
    bool holding() const { return m_backlog.holding(); }
    // The next part of what waits with its arrival times, when `pending`
    // bytes wait for the sheet already and that is less than a part; empty
    // otherwise. The failure tells what could not be read back.
    Result<QList<JournalBacklog::Part>> takeHeld(qsizetype pending);
    // The notice of a journal failure not told yet, or empty.
    QString untoldFailure();
    // The box at Stop when the journal is incomplete, or empty.
    QString incompleteAtStop() const;

    // A summary with what the record knows: times, port, bytes, lines, files.
    RunSummary summary() const;
    // Syncs the journal with its last checkpoint, ends its manifest with
    // `summary` and the workbook files it names while the journal is still
    // held (a journal that nobody holds and whose manifest has no end is a
    // run that ended without Stop), then closes it.
    void close(const RunSummary &summary);

private:
    RunJournal m_journal;
    JournalBacklog m_backlog;
    QString m_folder;
    std::function<QDateTime()> m_clock;
    QDateTime m_started;
    int m_comNumber = 0;
    int m_failuresTold = 0;
    ManifestRun m_manifestRun; // as begun; also begins a manifest that could not be made at Start
};
