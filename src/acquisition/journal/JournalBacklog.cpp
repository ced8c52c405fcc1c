#include "JournalBacklog.h"

#include "RunJournal.h"

#include <algorithm>

void JournalBacklog::hold(const RunJournal &journal)
{
    if (m_holding)
        return;
    m_holding = true;
    m_raw.close();
    m_raw.setFileName(journal.rawPath());
    m_from = m_to = journal.keptBytes();
    // A journal that is not keeping bytes now cannot hold the pause's text.
    m_inMemory = !journal.isOpen() || journal.failing();
    m_memory.clear();
}

void JournalBacklog::clear()
{
    m_holding = false;
    m_raw.close();
    m_from = m_to = 0;
    m_inMemory = false;
    m_memory.clear();
}

void JournalBacklog::arrived(const QByteArray &bytes, bool kept)
{
    if (!m_holding || bytes.isEmpty())
        return;
    if (kept && !m_inMemory) {
        m_to += bytes.size();
        return;
    }
    m_inMemory = true;
    m_memory += bytes;
}

Result<QByteArray> JournalBacklog::take(qsizetype limit)
{
    QByteArray part;
    if (m_from < m_to) {
        if (m_raw.isOpen() || m_raw.open(QIODevice::ReadOnly)) {
            m_raw.seek(m_from);
            part = m_raw.read(std::min<std::int64_t>(limit, m_to - m_from));
        }
        if (part.isEmpty()) {
            const Failure failure{QStringLiteral("cannot read back ") + m_raw.fileName() + QStringLiteral(": ")
                                  + m_raw.errorString()};
            m_from = m_to;
            if (m_memory.isEmpty()) {
                m_holding = false;
                m_raw.close();
            }
            return failure;
        }
        m_from += part.size();
    }
    if (part.isEmpty() && m_from >= m_to) {
        part = m_memory.left(limit);
        m_memory.remove(0, part.size());
    }
    if (m_from >= m_to && m_memory.isEmpty()) {
        m_holding = false;
        m_raw.close();
    }
    return part;
}
