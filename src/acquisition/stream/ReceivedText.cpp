#include "ReceivedText.h"

#include "LineEnds.h"

#include <algorithm>

namespace {
constexpr int kMarkWidth = 26; // "dropped: longer than 1 MiB"
} // namespace

void ReceivedText::touch(qsizetype index)
{
    const qint64 id = m_firstId + index;
    m_changedFrom = m_changed ? std::min(m_changedFrom, id) : id;
    m_changed = true;
}

ReceivedText::Changes ReceivedText::takeChanges()
{
    Changes changes{m_reset, m_firstId, m_changed ? m_changedFrom : m_firstId + lineCount()};
    m_changed = m_reset = false;
    return changes;
}

void ReceivedText::runStarted()
{
    // What the last run left unfinished or unwritten stays as it is.
    if (!m_lines.empty())
        m_lines.back().complete = true;
    m_next = lineCount();
    m_skip = 0;
    m_tailCr = false;
}

void ReceivedText::append(Line &line, QByteArrayView piece)
{
    const qsizetype room = std::max<qsizetype>(0, kLineKept - line.bytes.size());
    const qsizetype kept = std::min(room, piece.size());
    line.bytes.append(piece.first(kept));
    line.size += piece.size();
    m_bytes += kept;
    m_tailCr = piece.endsWith('\r');
}

void ReceivedText::textArrived(QByteArrayView text)
{
    while (!text.isEmpty()) {
        if (m_lines.empty() || m_lines.back().complete) {
            m_lines.emplace_back();
            m_tailCr = false;
        }
        Line &tail = m_lines.back();
        if (tail.tag == Tag::BrokenOff && !(m_tailCr && text.front() == '\n')) {
            tail.complete = true; // the text after the gap begins a line of its own
            continue;
        }
        const qsizetype end = LineEnds::firstEnd(text, m_tailCr);
        const QByteArrayView piece = end < 0 ? text : text.first(end);
        append(tail, piece);
        if (end >= 0) {
            tail.complete = true;
            m_tailCr = false;
        }
        touch(lineCount() - 1);
        text = text.sliced(piece.size());
        trim();
    }
}

void ReceivedText::lineBrokenOff()
{
    if (m_lines.empty() || m_lines.back().complete)
        return;
    m_lines.back().tag = Tag::BrokenOff;
    touch(lineCount() - 1);
}

void ReceivedText::lineHandled(const LinePlace &place)
{
    for (int part = 1; part <= place.lines; ++part) {
        if (m_skip > 0) {
            --m_skip;
            continue;
        }
        while (m_next < lineCount() && line(m_next).tag != Tag::None)
            ++m_next;
        if (m_next == lineCount())
            return; // text never seen here (nothing to mark)
        Line &marked = m_lines[size_t(m_next)];
        marked.tag = part < place.lines ? Tag::Separator : Tag::Placed;
        marked.place = place;
        touch(m_next);
        ++m_next;
    }
}

void ReceivedText::trim()
{
    // The unfinished last line stays: what comes next belongs to it.
    while (m_lines.size() > 1 && (lineCount() > kMaxLines || m_bytes > kMaxBytes)) {
        if (m_next > 0)
            --m_next;
        else if (m_lines.front().tag == Tag::None)
            ++m_skip; // its place, when told, belongs to no line kept
        m_bytes -= m_lines.front().bytes.size();
        m_lines.pop_front();
        ++m_firstId;
        m_changedFrom = std::max(m_changedFrom, m_firstId);
    }
}

void ReceivedText::clear()
{
    // The unfinished last line stays as an empty line, so that its rest and
    // its place are still told to it.
    Line tail;
    const bool open = !m_lines.empty() && !m_lines.back().complete;
    if (open) {
        tail = m_lines.back();
        m_bytes -= tail.bytes.size();
        tail.bytes.clear();
    }
    for (qsizetype i = m_next; i < lineCount() - (open ? 1 : 0); ++i)
        m_skip += line(i).tag == Tag::None ? 1 : 0;
    m_firstId += lineCount();
    m_lines.clear();
    m_bytes = 0;
    m_next = 0;
    if (open) {
        m_lines.push_back(std::move(tail));
        --m_firstId;
    }
    m_reset = true;
    m_changed = true;
    m_changedFrom = m_firstId;
}

QString ReceivedText::markText(const Line &line)
{
    QString mark;
    switch (line.tag) {
    case Tag::None:
    case Tag::Separator:
        return mark;
    case Tag::BrokenOff:
        return QStringLiteral("left out: the port was lost");
    case Tag::Placed:
        break;
    }
    const LinePlace &place = line.place;
    switch (place.kind) {
    case LinePlace::Kind::Row:
        mark = QStringLiteral("row %1").arg(place.row);
        break;
    case LinePlace::Kind::BlockCell:
        mark = QStringLiteral("block %1, row %2").arg(place.column).arg(place.row);
        break;
    case LinePlace::Kind::TimeStamp:
        mark = QStringLiteral("time stamp, column %1").arg(place.column);
        break;
    case LinePlace::Kind::PastSheet:
        return QStringLiteral("left out: past the sheet");
    case LinePlace::Kind::TooLong:
        return QStringLiteral("dropped: longer than 1 MiB");
    }
    if (place.refused)
        mark += QStringLiteral(" (refused)");
    return mark;
}

// The marks are characters the text itself cannot hold: every byte from 127
// up is shown as its hex value.
QString ReceivedText::visibleText(QByteArrayView bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    QString out;
    out.reserve(bytes.size() + 8);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\t')
            out += QChar(0x2192); // →
        else if (b == '\r')
            out += QChar(0x2190); // ←
        else if (b == '\n')
            out += QChar(0x2193); // ↓
        else if (b < 32 || b >= 127) {
            out += QLatin1Char('<');
            out += QLatin1Char(digits[b >> 4]);
            out += QLatin1Char(digits[b & 15]);
            out += QLatin1Char('>');
        } else
            out += QLatin1Char(c);
    }
    return out;
}

QString ReceivedText::hexText(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes.toByteArray().toHex(' ').toUpper());
}

QString ReceivedText::shownText(const Line &line, bool hex)
{
    QString text = markText(line).leftJustified(kMarkWidth) + QStringLiteral("  ")
                   + (hex ? hexText(line.bytes) : visibleText(line.bytes));
    if (line.size > line.bytes.size())
        text += QStringLiteral(" \u2026 %1 more bytes").arg(line.size - line.bytes.size());
    return text;
}
