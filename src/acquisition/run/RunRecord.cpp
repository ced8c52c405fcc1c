#include "RunRecord.h"

#include "FolderProbe.h"
#include "JournalTexts.h"

#include <QFileInfo>

void RunRecord::open(int comNumber)
{
    m_started = now();
    m_comNumber = comNumber;
    m_failuresTold = 0;
    m_backlog.clear();
    m_journal.open(folder(), m_started, m_comNumber);
}

bool RunRecord::keep(const QByteArray &text)
{
    // The bytes are the record: kept before anything else is done with them.
    const std::int64_t keptBefore = m_journal.keptBytes();
    m_journal.append(text, now());
    if (!m_backlog.holding())
        return true;
    m_backlog.arrived(text, m_journal.keptBytes() - keptBefore == text.size());
    return false;
}

Result<QByteArray> RunRecord::takeHeld(qsizetype pending)
{
    if (!m_backlog.holding() || pending >= kHeldPart)
        return QByteArray();
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
    return JournalTexts::incompleteAtStop(m_journal, probe ? probe->reason : QString());
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
    m_journal.writeSummary(summary.text());
    m_journal.close();
}
