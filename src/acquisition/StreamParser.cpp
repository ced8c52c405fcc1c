#include "StreamParser.h"

#include <cmath>
#include <cstring>
#include <exception>

namespace {

constexpr char kSeparator[] = "\r\n\r\n\r\n";
constexpr qsizetype kSeparatorLength = 6;

// Index of the CR of the first CR LF at or after `from`, or -1.
qsizetype findLineEnd(QByteArrayView text, qsizetype from)
{
    const char *begin = text.data();
    const qsizetype size = text.size();
    while (from + 1 < size) {
        const void *cr = std::memchr(begin + from, '\r', static_cast<size_t>(size - 1 - from));
        if (!cr)
            return -1;
        const qsizetype at = static_cast<const char *>(cr) - begin;
        if (begin[at + 1] == '\n')
            return at;
        from = at + 1;
    }
    return -1;
}

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

QString latin1(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes.data(), bytes.size());
}

} // namespace

StreamParser::StreamParser(std::function<QTime()> clock) : m_clock(std::move(clock)) {}

bool StreamParser::NextToken(QByteArrayView &line, QByteArrayView &token)
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

double StreamParser::TimeOfDayHours(const QTime &time)
{
    const double seconds = time.msecsSinceStartOfDay() / 1000.0;
    return std::nearbyint(seconds) / 3600.0; // default rounding mode: halves to even
}

double StreamParser::TimeOfDayHours() const
{
    return TimeOfDayHours(m_clock ? m_clock() : QTime::currentTime());
}

bool StreamParser::writeRows(SpreadsheetApp *app, Outcome &outcome)
{
    if (m_rows.isEmpty())
        return true;
    try {
        if (!app)
            throw SpreadsheetError(SpreadsheetError::Kind::Gone, QStringLiteral("no application"));
        if (m_rows.size() == 1) {
            if (!m_rows.first().isEmpty())
                app->setCells(m_batchRow, m_batchColumn, m_rows.first());
        } else
            app->setRows(m_batchRow, m_batchColumn, m_rows);
        m_rows.clear();
        return true;
    } catch (const SpreadsheetError &e) {
        outcome = e.isBusy() ? Outcome::Busy : Outcome::Gone;
    } catch (...) {
        outcome = Outcome::Gone;
    }
    m_rows.clear();
    return false;
}

bool StreamParser::writeStamp(SpreadsheetApp *app, std::int32_t column, Outcome &outcome)
{
    try {
        if (!app)
            throw SpreadsheetError(SpreadsheetError::Kind::Gone, QStringLiteral("no application"));
        app->setCell(1, column, CellValue(TimeOfDayHours()));
        return true;
    } catch (const SpreadsheetError &e) {
        outcome = e.isBusy() ? Outcome::Busy : Outcome::Gone;
    } catch (...) {
        outcome = Outcome::Gone;
    }
    return false;
}

// Lines are written in batches: consecutive rows that start in the same column
// go to the spreadsheet in one call (a backlog of thousands of lines is then a
// handful of calls). A failed batch is parsed again from its first line; its
// rows hold the same values then, so rows already written are written again
// unchanged.
StreamParser::Outcome StreamParser::parse(QByteArrayView text, SpreadsheetApp *app,
                                          std::int32_t &lRow, std::int16_t &iBlockColumn,
                                          qsizetype &consumed)
{
    Outcome outcome = Outcome::Ok;
    qsizetype position = 0;
    qsizetype batchStart = 0;
    m_rows.clear();

    // Writes the batch; on failure the parse goes back to the batch's first line.
    auto flush = [&]() {
        if (writeRows(app, outcome))
            return true;
        position = batchStart;
        lRow = m_batchRow;
        return false;
    };
    // Starts a new row of the batch in `column`, writing the batch first when
    // the row does not continue it.
    auto beginRow = [&](qsizetype lineStart, std::int32_t column) {
        if (!m_rows.isEmpty()
            && (column != m_batchColumn || m_rows.size() >= kBatchRows || m_batchCells >= kBatchCells)
            && !flush())
            return false;
        if (m_rows.isEmpty()) {
            batchStart = lineStart;
            m_batchRow = lRow;
            m_batchColumn = column;
            m_batchCells = 0;
        }
        m_rows.append(QList<CellValue>());
        return true;
    };

    bool failed = false;
    for (;;) {
        const qsizetype lineStart = position;
        const qsizetype lineEnd = findLineEnd(text, position);
        if (lineEnd < 0)
            break;
        const QByteArrayView line = text.sliced(lineStart, lineEnd - lineStart);

        if (containsDoubleColon(line)) {
            // Record line: one cell per token from column 1.
            if (!beginRow(lineStart, 1)) {
                failed = true;
                break;
            }
            QList<CellValue> &values = m_rows.last();
            QByteArrayView rest = line;
            QByteArrayView token;
            while (NextToken(rest, token)) {
                if (token == "::" || token == "=")
                    continue;
                values.append(latin1(token));
            }
            m_batchCells += values.size();
            position = lineEnd + 2;
        } else if (line.isEmpty() && text.size() - position >= kSeparatorLength
                   && text.sliced(position, kSeparatorLength) == kSeparator) {
            // Block separator. The block column and row change only once the
            // time stamp is written, so a failed write is retried cleanly.
            if (!flush()) {
                failed = true;
                break;
            }
            const std::int16_t next =
                iBlockColumn < INT16_MAX ? static_cast<std::int16_t>(iBlockColumn + 1) : iBlockColumn;
            if (!writeStamp(app, next, outcome)) {
                failed = true;
                break;
            }
            iBlockColumn = next;
            lRow = 1;
            position += kSeparatorLength;
        } else if (line.isEmpty()
                   && QByteArrayView(kSeparator).startsWith(text.sliced(position))) {
            // One or two empty lines at the very end of what has arrived may be
            // the beginning of a separator whose rest is still on its way:
            // wait for it rather than write them as empty data lines.
            break;
        } else {
            // Data line: one cell per TAB-separated field from the block column.
            if (!beginRow(lineStart, iBlockColumn)) {
                failed = true;
                break;
            }
            QList<CellValue> &values = m_rows.last();
            std::int32_t column = iBlockColumn;
            qsizetype field = position;
            for (;;) {
                const qsizetype fieldEnd = findFieldEnd(text, field, lineEnd);
                values.append(latin1(text.sliced(field, fieldEnd - field)));
                field = fieldEnd + 1;
                if (column >= kLastDataColumn)
                    break; // the rest of the line is dropped
                ++column;
                if (field > lineEnd)
                    break;
            }
            m_batchCells += values.size();
            position = lineEnd + 2;
        }
        ++lRow;
    }
    if (!failed)
        flush();
    // Every exit above leaves position at the start of the first line not written.
    consumed = position;
    return outcome;
}

StreamParser::Outcome StreamParser::ParseBuffer(QByteArray &sInBuffer, SpreadsheetApp *app,
                                                std::int32_t &lRow, std::int16_t &iBlockColumn)
{
    qsizetype consumed = 0;
    const Outcome outcome = parse(sInBuffer, app, lRow, iBlockColumn, consumed);
    sInBuffer.remove(0, consumed);
    return outcome;
}
