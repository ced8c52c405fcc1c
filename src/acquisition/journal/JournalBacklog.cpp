#include "JournalBacklog.h"

#include "RunJournal.h"

#include <algorithm>
#include <cmath>

namespace {
// The whole second a time stamp is made of (halves to the even second).
double stampSecond(const QTime &at) { return std::nearbyint(at.msecsSinceStartOfDay() / 1000.0); }
} // namespace

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
    m_stamps.clear();
    m_arrivedBytes = m_handedBytes = 0;
}

void JournalBacklog::clear()
{
    m_holding = false;
    m_raw.close();
    m_from = m_to = 0;
    m_inMemory = false;
    m_memory.clear();
    m_stamps.clear();
    m_arrivedBytes = m_handedBytes = 0;
}

void JournalBacklog::arrived(const QByteArray &bytes, bool kept, const QTime &at)
{
    if (!m_holding || bytes.isEmpty())
        return;
    m_arrivedBytes += bytes.size();
    if (!m_stamps.isEmpty() && stampSecond(m_stamps.last().at) == stampSecond(at))
        m_stamps.last().end = m_arrivedBytes;
    else
        m_stamps.append({m_arrivedBytes, at});
    if (kept && !m_inMemory) {
        m_to += bytes.size();
        return;
    }
    m_inMemory = true;
    m_memory += bytes;
}

Result<QList<JournalBacklog::Part>> JournalBacklog::take(qsizetype limit)
{
    const Result<QByteArray> bytes = takeBytes(limit);
    QList<Part> parts;
    if (bytes)
        parts = stamped(*bytes);
    if (!m_holding) {
        m_stamps.clear();
        m_arrivedBytes = m_handedBytes = 0;
    }
    if (!bytes)
        return bytes.failure();
    return parts;
}

QList<JournalBacklog::Part> JournalBacklog::stamped(const QByteArray &bytes)
{
    QList<Part> parts;
    qsizetype at = 0;
    while (at < bytes.size()) {
        while (!m_stamps.isEmpty() && m_stamps.first().end <= m_handedBytes)
            m_stamps.removeFirst();
        qsizetype size = bytes.size() - at;
        QTime arrived;
        if (!m_stamps.isEmpty()) {
            size = static_cast<qsizetype>(std::min<std::int64_t>(size, m_stamps.first().end - m_handedBytes));
            arrived = m_stamps.first().at;
        }
        parts.append({bytes.mid(at, size), arrived});
        at += size;
        m_handedBytes += size;
    }
    return parts;
}

Result<QByteArray> JournalBacklog::takeBytes(qsizetype limit)
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
            m_handedBytes += m_to - m_from; // lost: passed over with its times
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
