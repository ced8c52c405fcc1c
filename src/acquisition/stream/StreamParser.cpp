#include "StreamParser.h"

#include "CellBatcher.h"

#include <cmath>
#include <limits>
#include <utility>

StreamParser::StreamParser(std::function<QTime()> clock)
{
    if (clock)
        m_clock = [clock = std::move(clock)](qsizetype) { return clock(); };
}

StreamParser::StreamParser(StampClock clock) : m_clock(std::move(clock)) {}

void StreamParser::reset()
{
    m_counts = Counts();
    m_cells.reset();
    m_cellsDone = m_cellsRefused = 0;
    m_late = false;
    m_lateApp = nullptr;
    m_latePlaces.clear();
}

void StreamParser::cutText(qsizetype size)
{
    m_cells.cutText(size);
    if (size == 0) {
        // Only complete lines are written (in pieces or not), and an
        // outstanding write ends at a line end.
        m_cellsDone = m_cellsRefused = 0;
    }
}

double StreamParser::timeOfDayHours(const QTime &time)
{
    const double seconds = time.msecsSinceStartOfDay() / 1000.0;
    return std::nearbyint(seconds) / 3600.0; // default rounding mode: halves to even
}

double StreamParser::stampHours(qsizetype lastByte) const
{
    return timeOfDayHours(m_clock ? m_clock(lastByte) : QTime::currentTime());
}

void StreamParser::feed(QByteArrayView text, CellBatcher &batcher)
{
    if (!batcher.settleLateWrite())
        return;
    if (m_cells.dropping()) {
        const Mark &done = batcher.done();
        batcher.skip(m_cells.read(text, done.position, done.row, done.blockColumn).line);
        if (m_cells.dropping())
            return; // its end has not come yet
    }
    qsizetype position = batcher.done().position;
    std::int32_t row = batcher.done().row;
    for (;;) {
        LineCells::Read read = m_cells.read(text, position, row, batcher.done().blockColumn);
        switch (read.kind) {
        case LineCells::Kind::Incomplete:
        case LineCells::Kind::DroppedRest: // only ever read first, above
            batcher.flush();
            return;
        case LineCells::Kind::TooLong:
            // Dropped now, and what follows of it as it comes.
            if (batcher.dropUnfinished(read.line))
                m_cells.dropRest();
            return;
        case LineCells::Kind::Separator:
            if (!batcher.flush() || !batcher.separator(read.line.start))
                return;
            position = batcher.done().position;
            row = batcher.done().row;
            continue;
        case LineCells::Kind::Line:
            position = read.line.end;
            if (!batcher.addLine(std::move(read.line)))
                return;
            break;
        }
        row = row < std::numeric_limits<std::int32_t>::max() ? row + 1 : row;
    }
}

StreamParser::Outcome StreamParser::parse(QByteArrayView text, SpreadsheetApp *app, std::int32_t &row,
                                          std::int16_t &blockColumn, qsizetype &consumed)
{
    CellBatcher batcher(*this, app, row, blockColumn);
    feed(text, batcher);
    const Mark &done = batcher.done();
    consumed = done.position;
    row = done.row;
    blockColumn = done.blockColumn;
    m_cellsDone = done.cellsDone;
    m_cellsRefused = done.cellsRefused;
    // Offsets from here on count from the first byte the caller keeps.
    m_cells.consumed(consumed);
    if (batcher.leftRunning())
        m_lateMark.position -= consumed;
    return batcher.outcome();
}

StreamParser::Outcome StreamParser::parse(QByteArray &buffer, SpreadsheetApp *app, std::int32_t &row,
                                          std::int16_t &blockColumn)
{
    qsizetype consumed = 0;
    const Outcome outcome = parse(buffer, app, row, blockColumn, consumed);
    buffer.remove(0, consumed);
    return outcome;
}
