#include "CellBatcher.h"

#include "CaughtException.h"
#include "LogCategories.h"

#include <limits>
#include <utility>

namespace {
std::int32_t nextRow(std::int32_t row) { return row < std::numeric_limits<std::int32_t>::max() ? row + 1 : row; }
} // namespace

CellBatcher::CellBatcher(StreamParser &parser, SpreadsheetApp *app, std::int32_t row, std::int16_t blockColumn)
    : m_parser(parser), m_app(app), m_limits(parser.m_limits)
{
    m_done.row = row;
    m_done.blockColumn = blockColumn;
    m_done.cellsDone = m_parser.m_cellsDone;
    m_done.cellsRefused = m_parser.m_cellsRefused;
}

bool CellBatcher::settleLateWrite()
{
    if (!m_parser.m_late)
        return true;
    const bool same = m_app && m_app == m_parser.m_lateApp;
    switch (same ? m_app->lateWrite() : SpreadsheetApp::LateWrite::None) {
    case SpreadsheetApp::LateWrite::Running:
        m_outcome = Outcome::Busy;
        return false;
    case SpreadsheetApp::LateWrite::Written:
        m_done = m_parser.m_lateMark;
        record(m_parser.m_lateCounts);
        ++m_parser.m_counts.lateWrites;
        for (const LinePlace &place : std::as_const(m_parser.m_latePlaces))
            tell(place);
        break;
    case SpreadsheetApp::LateWrite::None:
    case SpreadsheetApp::LateWrite::Failed:
        break; // not written (or not known to be): it goes again
    }
    m_parser.m_late = false;
    m_parser.m_lateApp = nullptr;
    m_parser.m_latePlaces.clear();
    return true;
}

void CellBatcher::skip(const Line &rest)
{
    m_done.position = rest.end;
    record(rest.lost);
}

bool CellBatcher::dropUnfinished(const Line &line)
{
    if (!flush())
        return false;
    const LinePlace place{LinePlace::Kind::TooLong, m_done.row, 0, false};
    m_done.position = line.end;
    m_done.row = nextRow(m_done.row);
    record(line.lost);
    tell(place);
    return true;
}

StreamCounts CellBatcher::written(qsizetype cells)
{
    StreamCounts counts;
    counts.cellsWritten = cells;
    return counts;
}

StreamCounts CellBatcher::refused(qsizetype cells)
{
    StreamCounts counts;
    if (cells > 0) {
        counts.linesRefused = 1;
        counts.cellsRefused = cells;
    }
    return counts;
}

void CellBatcher::record(const StreamCounts &counts)
{
    m_parser.m_counts += counts;
    if (counts.anyLost() && m_outcome == Outcome::Ok)
        m_outcome = Outcome::Dropped;
}

LinePlace CellBatcher::placeOf(const Line &line)
{
    LinePlace place{line.record ? LinePlace::Kind::Row : LinePlace::Kind::BlockCell, line.row, line.column,
                    line.lost.linesRefused > 0};
    if (line.lost.linesTooLong)
        place.kind = LinePlace::Kind::TooLong;
    else if (line.cells.isEmpty() && (line.lost.linesPastLastRow || line.lost.linesPastLastColumn))
        place.kind = LinePlace::Kind::PastSheet;
    return place;
}

void CellBatcher::tell(const LinePlace &place)
{
    if (m_parser.m_observer)
        m_parser.m_observer->lineHandled(place);
}

void CellBatcher::commit(const Line &line)
{
    m_done.position = line.end;
    m_done.row = nextRow(line.row);
    m_done.cellsDone = 0;
    m_done.cellsRefused = 0;
    record(line.lost);
    if (m_parser.m_observer)
        tell(placeOf(line));
}

// `counts`: what the write adds to the counts once it is known to be m_done;
// `places`: the lines it finishes, told then.
void CellBatcher::leaveRunning(const Mark &after, const StreamCounts &counts, QList<LinePlace> places)
{
    m_parser.m_late = true;
    m_parser.m_lateApp = m_app;
    m_parser.m_lateMark = after;
    m_parser.m_lateCounts = counts;
    m_parser.m_latePlaces = m_parser.m_observer ? std::move(places) : QList<LinePlace>();
    m_lateSet = true;
}

// One spreadsheet call. A busy or closed spreadsheet ends the pass; any
// other failure is the spreadsheet refusing these cells.
template <class F>
CellBatcher::Result CellBatcher::call(F write)
{
    try {
        if (!m_app)
            throw SpreadsheetError(SpreadsheetError::Kind::Gone, QStringLiteral("no application"));
        write();
        return Result::Written;
    } catch (const SpreadsheetError &e) {
        if (e.isBusy()) {
            m_outcome = Outcome::Busy;
            return e.stillRunning() ? Result::Late : Result::Stop;
        }
        if (e.kind() == SpreadsheetError::Kind::Failed)
            return Result::Refused;
        m_outcome = Outcome::Gone;
    } catch (...) {
        qCWarning(lcOffice).noquote() << "A write to the spreadsheet failed:" << CaughtException::reason();
        m_outcome = Outcome::Gone;
    }
    return Result::Stop;
}

// Writes the batch in one call. When the spreadsheet refuses it, the lines
// are tried one by one, so that only those it refuses are lost.
bool CellBatcher::flush()
{
    if (m_batch.isEmpty())
        return true;
    const QList<Line> batch = std::exchange(m_batch, {});
    const std::int32_t column = std::exchange(m_batchColumn, 0);
    const qsizetype cells = std::exchange(m_batchCells, 0);
    m_batchChars = 0;

    Result result = Result::Written;
    const Line *only = nullptr;
    if (cells > 0) {
        qsizetype withCells = 0;
        for (const Line &line : batch) {
            if (!line.cells.isEmpty()) {
                only = &line;
                ++withCells;
            }
        }
        if (withCells == 1) {
            result = call([&] { m_app->setCells(only->row, column, only->cells); });
        } else {
            only = nullptr;
            QList<QList<CellValue>> rows;
            rows.reserve(batch.size());
            for (const Line &line : batch)
                rows.append(line.cells);
            result = call([&] { m_app->setRows(batch.first().row, column, rows); });
        }
    }
    switch (result) {
    case Result::Written:
        record(written(cells));
        for (const Line &line : batch)
            commit(line);
        return true;
    case Result::Late: {
        StreamCounts lost = written(cells);
        QList<LinePlace> places;
        for (const Line &line : batch) {
            lost += line.lost;
            if (m_parser.m_observer)
                places.append(placeOf(line));
        }
        leaveRunning(Mark{batch.last().end, nextRow(batch.last().row), m_done.blockColumn, 0, 0}, lost,
                     std::move(places));
        return false;
    }
    case Result::Stop:
        return false;
    case Result::Refused:
        break;
    }
    if (only) {
        // The one line with cells is the one refused.
        for (Line line : batch) {
            if (line.start == only->start)
                line.lost += refused(line.cells.size());
            commit(line);
        }
        return true;
    }
    for (Line line : batch) {
        if (!line.cells.isEmpty()) {
            switch (call([&] { m_app->setCells(line.row, column, line.cells); })) {
            case Result::Written:
                line.lost += written(line.cells.size());
                break;
            case Result::Refused:
                line.lost += refused(line.cells.size());
                break;
            case Result::Late:
                line.lost += written(line.cells.size());
                leaveRunning(Mark{line.end, nextRow(line.row), m_done.blockColumn, 0, 0}, line.lost, {placeOf(line)});
                return false;
            case Result::Stop:
                return false;
            }
        }
        commit(line);
    }
    return true;
}

// A line too big for one call: consecutive pieces of it, each within the
// call limits. Progress is kept piece by piece, so a busy spreadsheet does not
// make the pieces already written go again.
bool CellBatcher::writeInPieces(Line &line)
{
    const qsizetype count = line.cells.size();
    qsizetype from = m_done.position == line.start ? m_done.cellsDone : 0;
    qsizetype refusedCells = m_done.position == line.start ? m_done.cellsRefused : 0;
    while (from < count) {
        qsizetype to = from;
        qsizetype chars = 0;
        while (to < count && to - from < m_limits.callCells) {
            const qsizetype size = std::get<QString>(line.cells[to]).size();
            if (to > from && chars + size > m_limits.callChars)
                break;
            chars += size;
            ++to;
        }
        const QList<CellValue> piece = line.cells.mid(from, to - from);
        const std::int32_t column = line.column + static_cast<std::int32_t>(from);
        switch (call([&] { m_app->setCells(line.row, column, piece); })) {
        case Result::Written:
            record(written(to - from));
            break;
        case Result::Refused:
            refusedCells += to - from;
            break;
        case Result::Late:
            if (to == count) {
                line.lost += refused(refusedCells);
                StreamCounts lost = line.lost;
                lost += written(to - from);
                leaveRunning(Mark{line.end, nextRow(line.row), m_done.blockColumn, 0, 0}, lost, {placeOf(line)});
            } else {
                leaveRunning(Mark{line.start, line.row, m_done.blockColumn, to, refusedCells}, written(to - from));
            }
            return false;
        case Result::Stop:
            return false;
        }
        from = to;
        m_done.position = line.start;
        m_done.cellsDone = to;
        m_done.cellsRefused = refusedCells;
    }
    line.lost += refused(refusedCells);
    commit(line);
    return true;
}

bool CellBatcher::addLine(Line &&line)
{
    const qsizetype cells = line.cells.size();
    const bool continued = m_done.position == line.start && m_done.cellsDone > 0;
    if (!m_batch.isEmpty()
        && (m_batch.size() >= m_limits.callRows
            || (cells > 0
                && ((m_batchColumn != 0 && m_batchColumn != line.column) || m_batchCells + cells > m_limits.callCells
                    || m_batchChars + line.chars > m_limits.callChars)))
        && !flush())
        return false;
    if (continued || cells > m_limits.callCells || line.chars > m_limits.callChars) {
        if (!flush())
            return false;
        return writeInPieces(line);
    }
    if (cells > 0) {
        m_batchColumn = line.column;
        m_batchCells += cells;
        m_batchChars += line.chars;
    }
    m_batch.append(std::move(line));
    return true;
}

// The block separator at `start`: the time stamp opens the next column. The
// block column and row change only once it is handled, so a busy spreadsheet
// gets the same separator again.
bool CellBatcher::separator(qsizetype start)
{
    const std::int16_t next = m_done.blockColumn < std::numeric_limits<std::int16_t>::max()
                                  ? static_cast<std::int16_t>(m_done.blockColumn + 1)
                                  : m_done.blockColumn;
    const Mark after{start + LineCells::kSeparatorSize, 2, next, 0, 0}; // data from row 2 on
    LinePlace place{LinePlace::Kind::TimeStamp, 1, next, false, 3};
    StreamCounts lost;
    if (next > m_limits.sheetColumns) {
        lost.linesPastLastColumn = 1;
        lost.cellsPastLastColumn = 1;
        place.kind = LinePlace::Kind::PastSheet;
    } else {
        switch (call([&] { m_app->setCell(1, next, CellValue(m_parser.stampHours(after.position - 1))); })) {
        case Result::Written:
            lost = written(1);
            break;
        case Result::Refused:
            lost = refused(1);
            place.refused = true;
            break;
        case Result::Late:
            leaveRunning(after, written(1), {place});
            return false;
        case Result::Stop:
            return false;
        }
    }
    m_done = after;
    record(lost);
    tell(place);
    return true;
}
