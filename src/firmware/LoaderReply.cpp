#include "LoaderReply.h"

#include "FirmwareText.h"

#include <algorithm>

namespace {
constexpr QByteArrayView kRejection = ":!!";
constexpr QByteArrayView kOk = ":OK :";
constexpr QByteArrayView kPrompt = ":LST:01";

// The first place of `marker` in the window, as a place in the whole text;
// `found` keeps an earlier place.
void findFirst(qint64 &found, QByteArrayView window, qint64 windowStart, QByteArrayView marker)
{
    if (found >= 0)
        return;
    const qsizetype at = FirmwareText::indexOf(window, marker);
    if (at >= 0)
        found = windowStart + at;
}
} // namespace

void LoaderReply::clear()
{
    m_head.clear();
    m_tail.clear();
    m_carry.clear();
    m_size = 0;
    m_scanned = 0;
    m_last = '\0';
    m_rejection = m_ok = m_prompt = -1;
    m_end = m_endMarker.isEmpty() ? 0 : -1;
}

void LoaderReply::setEndMarker(QByteArrayView marker)
{
    m_endMarker = marker.toByteArray();
    m_end = m_endMarker.isEmpty() ? 0 : -1;
    if (m_size == 0)
        return;
    // Text that came before: what is kept of it is searched.
    const QByteArray kept = m_head + m_tail;
    const qint64 tailStart = m_size - m_tail.size();
    if (tailStart == m_head.size()) {
        findFirst(m_end, kept, 0, m_endMarker);
    } else {
        findFirst(m_end, m_head, 0, m_endMarker);
        findFirst(m_end, m_tail, tailStart, m_endMarker);
    }
    m_carry = kept.last(std::min(kept.size(), longestMarker() - 1));
}

qsizetype LoaderReply::longestMarker() const
{
    return std::max<qsizetype>({kRejection.size(), kOk.size(), kPrompt.size(), m_endMarker.size()});
}

void LoaderReply::append(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    // A marker may start in the bytes before these: search from there.
    QByteArray window = m_carry;
    window += bytes;
    scan(window, m_size - m_carry.size());
    m_scanned += window.size();

    m_carry = window.last(std::min(window.size(), longestMarker() - 1));
    m_last = bytes.back();
    m_size += bytes.size();
    keep(bytes);
}

void LoaderReply::scan(QByteArrayView window, qint64 windowStart)
{
    findFirst(m_rejection, window, windowStart, kRejection);
    findFirst(m_ok, window, windowStart, kOk);
    findFirst(m_prompt, window, windowStart, kPrompt);
    if (!m_endMarker.isEmpty())
        findFirst(m_end, window, windowStart, m_endMarker);
}

void LoaderReply::keep(QByteArrayView bytes)
{
    const qsizetype toHead = std::min(bytes.size(), kKeptBytes - m_head.size());
    m_head += bytes.first(toHead);
    bytes = bytes.sliced(toHead);
    if (bytes.isEmpty())
        return;
    if (bytes.size() >= kKeptBytes) {
        m_tail = bytes.last(kKeptBytes).toByteArray();
        return;
    }
    m_tail += bytes;
    // Trimmed in steps, so each byte is moved a bounded number of times.
    if (m_tail.size() > 2 * kKeptBytes)
        m_tail.remove(0, m_tail.size() - kKeptBytes);
}

bool LoaderReply::endMarkerBeforeOk() const
{
    if (m_ok < 0 || m_end < 0)
        return false;
    return m_end + m_endMarker.size() <= m_ok + 1;
}

QByteArray LoaderReply::text() const
{
    const qint64 left = m_size - m_head.size() - m_tail.size();
    if (left <= 0)
        return m_head + m_tail;
    return m_head + "\r\n[" + QByteArray::number(left) + " bytes of loader text left out]\r\n" + m_tail;
}
