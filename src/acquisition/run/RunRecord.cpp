#include "RunRecord.h"

#include "FolderProbe.h"
#include "JournalTexts.h"
#include "LogCategories.h"
#include "ManifestEnd.h"
#include "ManifestRun.h"
#include "ManifestSave.h"
#include "RunRecordKeeper.h"

#include <QFileInfo>

namespace {
ManifestEnd endOf(const RunSummary &summary, const RunJournal &journal)
{
    ManifestEnd end;
    end.stopped = summary.stopped;
    end.endedWithoutStop = summary.endedWithoutStop;
    end.bytes = summary.bytes;
    end.lines = summary.lines;
    end.rowsUsed = summary.rowsUsed;
    end.sheets = summary.sheets;
    end.counts = summary.counts;
    end.brokenLinesDropped = summary.brokenLinesDropped;
    end.linesMissing = summary.linesMissing;
    end.rebuilt = summary.rebuilt;
    end.macro = summary.macro;
    end.journalProblem = summary.journalProblem;
    end.journalIncomplete = summary.journalIncomplete;
    // The hashes taken as the journal was written, its last checkpoint included.
    end.rawSha256 = journal.rawSha256();
    end.timesSha256 = journal.timesSha256();
    end.officeVersion = summary.provenance.officeVersion;
    end.device = summary.device;
    end.adapter = summary.provenance.adapter;
    return end;
}

QList<ManifestSave> savesOf(const RunSummary &summary)
{
    QList<ManifestSave> saves;
    for (const RunProvenance::SavedFile &file : summary.provenance.saved) {
        const QString role = file.path == summary.alsoSavedAs ? QStringLiteral("whole") : QStringLiteral("saved");
        saves.append(ManifestSave{file.path, file.sha256 == QStringLiteral("(none)") ? QString() : file.sha256, role});
    }
    return saves;
}
} // namespace

void RunRecord::open(int comNumber, const QString &startingWorkbookSha256)
{
    m_started = now();
    m_comNumber = comNumber;
    m_failuresTold = 0;
    m_backlog.clear();
    if (const std::optional<Failure> unmade = m_journal.open(folder(), m_started, m_comNumber)) {
        // The run goes on without it; the lamp's tip and the summary tell it.
        qCWarning(lcJournal).noquote() << "The run's journal cannot be made:" << unmade->reason;
        return;
    }
    m_manifestRun = ManifestRun::gather(m_journal.rawPath(), m_started, m_comNumber);
    m_manifestRun.startingWorkbookSha256 = startingWorkbookSha256;
    RunRecordKeeper::begin(m_journal.rawPath(), m_manifestRun);
}

bool RunRecord::keep(const QByteArray &text, const QDateTime &at)
{
    // The bytes are the record: kept before anything else is done with them.
    const std::int64_t keptBefore = m_journal.keptBytes();
    m_journal.append(text, at);
    if (!m_backlog.holding())
        return true;
    m_backlog.arrived(text, m_journal.keptBytes() - keptBefore == text.size(), at.time());
    return false;
}

Result<QList<JournalBacklog::Part>> RunRecord::takeHeld(qsizetype pending)
{
    if (!m_backlog.holding() || pending >= kHeldPart)
        return QList<JournalBacklog::Part>();
    return m_backlog.take(kHeldPart);
}

QString RunRecord::untoldFailure()
{
    if (m_journal.failures() == m_failuresTold)
        return QString();
    m_failuresTold = m_journal.failures();
    return JournalTexts::failureNotice(m_journal);
}

QString RunRecord::incompleteAtStop() const
{
    const std::optional<Failure> probe = FolderProbe::check(QFileInfo(m_journal.rawPath()).path());
    return JournalTexts::incompleteAtStop(m_journal, probe);
}

RunSummary RunRecord::summary() const
{
    RunSummary summary;
    summary.started = m_started;
    summary.stopped = now();
    summary.comNumber = m_comNumber;
    summary.bytes = m_journal.bytes();
    summary.lines = m_journal.lines();
    summary.rawPath = m_journal.rawPath();
    summary.journalProblem = m_journal.problem();
    summary.journalIncomplete = JournalTexts::summaryLine(m_journal);
    return summary;
}

void RunRecord::close(const RunSummary &summary)
{
    if (m_journal.rawPath().isEmpty())
        return m_journal.close();
    m_journal.syncIfDue(now(), 0);
    m_manifestRun.device = summary.device;
    m_manifestRun.adapter = summary.provenance.adapter;
    if (RunRecordKeeper::end(m_journal.rawPath(), m_manifestRun, endOf(summary, m_journal), savesOf(summary)))
        m_journal.writeSummary(summary.text()); // the readable record at least, as the run knew it
    m_journal.close();
}
