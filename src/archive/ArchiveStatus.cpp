#include "ArchiveStatus.h"

#include "ArchiveWords.h"

#include <QFileInfo>

namespace {
QString keyOf(const QString &rawPath) { return QFileInfo(rawPath).fileName(); }
} // namespace

void ArchiveStatus::set(const QString &rawPath, State state, const QString &why)
{
    QMutexLocker lock(&m_mutex);
    m_runs.insert(keyOf(rawPath), Entry{state, why});
}

void ArchiveStatus::setServerProblem(const QString &why)
{
    QMutexLocker lock(&m_mutex);
    m_serverProblem = why;
}

QString ArchiveStatus::serverProblem() const
{
    QMutexLocker lock(&m_mutex);
    return m_serverProblem;
}

ArchiveStatus::State ArchiveStatus::state(const QString &rawPath) const
{
    QMutexLocker lock(&m_mutex);
    return m_runs.value(keyOf(rawPath)).state;
}

QString ArchiveStatus::archivedText(const QString &rawPath) const
{
    QMutexLocker lock(&m_mutex);
    if (m_serverProblem == ArchiveWords::noService())
        return QString(); // no archive: nothing to tell
    const Entry entry = m_runs.value(keyOf(rawPath));
    switch (entry.state) {
    case State::Sent:
        return QStringLiteral("sent");
    case State::Refused:
        return QStringLiteral("refused: ") + entry.why;
    case State::Waiting:
        break;
    }
    const QString why = !m_serverProblem.isEmpty() ? m_serverProblem : entry.why;
    return why.isEmpty() ? QStringLiteral("waiting") : QStringLiteral("waiting: ") + why;
}
