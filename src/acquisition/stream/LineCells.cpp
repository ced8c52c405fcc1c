#include "LineCells.h"

#include "LineEnds.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kSeparator[] = "\r\n\r\n\r\n";

bool containsDoubleColon(QByteArrayView line)
{
    const char *p = line.data();
    const char *end = p + line.size();
    while (p + 1 < end) {
        const void *colon = std::memchr(p, ':', static_cast<size_t>(end - 1 - p));
        if (!colon)
            return false;
        p = static_cast<const char *>(colon);
        if (p[1] == ':')
            return true;
        ++p;
    }
    return false;
}

// Index of the first TAB in [from, to), or `to`.
qsizetype findFieldEnd(QByteArrayView text, qsizetype from, qsizetype to)
{
    if (from >= to)
        return to;
    const void *tab = std::memchr(text.data() + from, '\t', static_cast<size_t>(to - from));
    return tab ? static_cast<const char *>(tab) - text.data() : to;
}

QString latin1(QByteArrayView bytes) { return QString::fromLatin1(bytes.data(), bytes.size()); }

// What is known of an unfinished line: a CR in the last place may yet be
// followed by its LF.
qsizetype knownEnd(QByteArrayView text) { return text.size() - (text.endsWith('\r') ? 1 : 0); }

} // namespace

void LineCells::reset()
{
    m_cleanFrom = m_cleanTo = 0;
    m_dropping = false;
}

void LineCells::consumed(qsizetype bytes)
{
    m_cleanFrom = std::max<qsizetype>(0, m_cleanFrom - bytes);
    m_cleanTo -= bytes;
    if (m_cleanTo <= m_cleanFrom)
        m_cleanFrom = m_cleanTo = 0;
}

void LineCells::cutText(qsizetype size)
{
    m_cleanFrom = std::min(m_cleanFrom, size);
    m_cleanTo = std::min(m_cleanTo, size);
    if (m_cleanTo <= m_cleanFrom)
        m_cleanFrom = m_cleanTo = 0;
    // The line cut is at most one being dropped for its length, whose row
    // is already passed.
    if (size == 0)
        m_dropping = false;
}

bool LineCells::nextToken(QByteArrayView &line, QByteArrayView &token)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && line[begin] == ' ')
        ++begin;
    while (end > begin && line[end - 1] == ' ')
        --end;
    line = line.sliced(begin, end - begin);
    if (line.isEmpty()) {
        token = QByteArrayView();
        return false;
    }
    const void *space = std::memchr(line.data(), ' ', static_cast<size_t>(line.size()));
    if (!space) {
        token = line;
        line = QByteArrayView();
        return true;
    }
    const qsizetype at = static_cast<const char *>(space) - line.data();
    token = line.first(at);
    line = line.sliced(at + 1);
    return true;
}

qsizetype LineCells::lineEnd(QByteArrayView text, qsizetype from)
{
    qsizetype start = from;
    if (m_cleanFrom <= from && from < m_cleanTo)
        start = m_cleanTo;
    const qsizetype end = LineEnds::find(text, start);
    if (end < 0 && text.size() - 1 > from) {
        m_cleanFrom = from;
        m_cleanTo = text.size() - 1;
    }
    return end;
}

void LineCells::addCell(Line &line, qint64 column, QByteArrayView cell) const
{
    if (line.row > m_limits.sheetRows) {
        ++line.lost.cellsPastLastRow;
    } else if (column > m_limits.sheetColumns) {
        ++line.lost.cellsPastLastColumn;
    } else {
        line.cells.append(latin1(cell));
        line.chars += cell.size();
    }
}

void LineCells::recordLine(QByteArrayView text, qsizetype end, Line &line) const
{
    line.end = end + LineEnds::kSize;
    line.record = true;
    QByteArrayView rest = text.sliced(line.start, end - line.start);
    // At most one token a space: the list grows once at most.
    line.cells.reserve(std::min<qsizetype>(std::count(rest.begin(), rest.end(), ' ') + 1, m_limits.sheetColumns));
    QByteArrayView token;
    qint64 column = 1;
    while (nextToken(rest, token)) {
        if (token == "::" || token == "=")
            continue;
        addCell(line, column++, token);
    }
    line.lost.linesPastLastRow = line.lost.cellsPastLastRow > 0;
    line.lost.linesPastLastColumn = line.lost.cellsPastLastColumn > 0;
}

void LineCells::dataLine(QByteArrayView text, qsizetype end, std::int16_t blockColumn, Line &line) const
{
    line.end = end + LineEnds::kSize;
    line.column = blockColumn;
    qint64 column = blockColumn;
    qsizetype field = line.start;
    const qsizetype fields = std::count(text.data() + field, text.data() + end, '\t') + 1;
    line.cells.reserve(std::min<qsizetype>(fields, std::max(1, kLastDataColumn - blockColumn + 1)));
    for (;;) {
        const qsizetype fieldEnd = findFieldEnd(text, field, end);
        addCell(line, column, text.sliced(field, fieldEnd - field));
        if (column >= kLastDataColumn) {
            // The rest of the line is left out: one more field per TAB.
            if (fieldEnd < end) {
                line.lost.linesPastDataColumns = 1;
                line.lost.cellsPastDataColumns = 1 + std::count(text.data() + fieldEnd + 1, text.data() + end, '\t');
            }
            break;
        }
        ++column;
        field = fieldEnd + 1;
        if (field > end)
            break;
    }
    line.lost.linesPastLastRow = line.lost.cellsPastLastRow > 0;
    line.lost.linesPastLastColumn = line.lost.cellsPastLastColumn > 0;
}

LineCells::Read LineCells::read(QByteArrayView text, qsizetype position, std::int32_t row, std::int16_t blockColumn)
{
    Read read;
    Line &line = read.line;
    line.start = position;
    line.row = row;
    const qsizetype end = lineEnd(text, position);
    if (m_dropping) {
        read.kind = Kind::DroppedRest;
        if (end < 0) {
            line.end = knownEnd(text);
            line.lost.bytesTooLong = line.end - position;
        } else {
            line.end = end + LineEnds::kSize;
            line.lost.bytesTooLong = end - position;
            m_dropping = false;
        }
        return read;
    }
    if (end < 0) {
        const qsizetype known = knownEnd(text) - position;
        if (known > m_limits.maxLineLength) {
            read.kind = Kind::TooLong;
            line.end = position + known;
            line.column = 0;
            line.lost.linesTooLong = 1;
            line.lost.bytesTooLong = known;
        }
        return read;
    }
    const QByteArrayView bytes = text.sliced(position, end - position);
    if (bytes.size() > m_limits.maxLineLength) {
        read.kind = Kind::Line;
        line.end = end + LineEnds::kSize;
        line.lost.linesTooLong = 1;
        line.lost.bytesTooLong = bytes.size();
    } else if (containsDoubleColon(bytes)) {
        read.kind = Kind::Line;
        recordLine(text, end, line);
    } else if (bytes.isEmpty() && text.size() - position >= kSeparatorSize
               && text.sliced(position, kSeparatorSize) == kSeparator) {
        read.kind = Kind::Separator;
        line.end = position + kSeparatorSize;
    } else if (bytes.isEmpty() && QByteArrayView(kSeparator).startsWith(text.sliced(position))) {
        // One or two empty lines at the very end of what has arrived may be
        // the beginning of a separator whose rest is still on its way: wait
        // for it rather than read them as empty data lines.
    } else {
        read.kind = Kind::Line;
        dataLine(text, end, blockColumn, line);
    }
    return read;
}
