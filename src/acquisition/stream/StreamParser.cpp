#include "StreamParser.h"

#include "LineEnds.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <utility>

namespace {

constexpr char kSeparator[] = "\r\n\r\n\r\n";
constexpr qsizetype kSeparatorLength = 6;

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

std::int32_t nextRow(std::int32_t row) { return row < std::numeric_limits<std::int32_t>::max() ? row + 1 : row; }

} // namespace

StreamParser::StreamParser(std::function<QTime()> clock) : m_clock(std::move(clock)) {}

void StreamParser::reset()
{
    m_counts = Counts();
    m_cleanFrom = m_cleanTo = 0;
    m_dropping = false;
    m_cellsDone = m_cellsRefused = 0;
    m_late = false;
    m_lateApp = nullptr;
    m_latePlaces.clear();
}

void StreamParser::cutText(qsizetype size)
{
    m_cleanFrom = std::min(m_cleanFrom, size);
    m_cleanTo = std::min(m_cleanTo, size);
    if (m_cleanTo <= m_cleanFrom)
        m_cleanFrom = m_cleanTo = 0;
    if (size == 0) {
        // Only complete lines are written (in pieces or not), and an
        // outstanding write ends at a line end: the line cut is at most one
        // being dropped for its length, whose row is already passed.
        m_dropping = false;
        m_cellsDone = m_cellsRefused = 0;
    }
}

bool StreamParser::Counts::anyLost() const
{
    return linesTooLong || bytesTooLong || linesPastLastRow || cellsPastLastRow || linesPastLastColumn
           || cellsPastLastColumn || linesRefused || cellsRefused;
}

StreamParser::Counts &StreamParser::Counts::operator+=(const Counts &o)
{
    linesTooLong += o.linesTooLong;
    bytesTooLong += o.bytesTooLong;
    linesPastLastRow += o.linesPastLastRow;
    cellsPastLastRow += o.cellsPastLastRow;
    linesPastLastColumn += o.linesPastLastColumn;
    cellsPastLastColumn += o.cellsPastLastColumn;
    linesRefused += o.linesRefused;
    cellsRefused += o.cellsRefused;
    linesPastDataColumns += o.linesPastDataColumns;
    cellsPastDataColumns += o.cellsPastDataColumns;
    lateWrites += o.lateWrites;
    cellsWritten += o.cellsWritten;
    return *this;
}

bool StreamParser::nextToken(QByteArrayView &line, QByteArrayView &token)
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

double StreamParser::timeOfDayHours(const QTime &time)
{
    const double seconds = time.msecsSinceStartOfDay() / 1000.0;
    return std::nearbyint(seconds) / 3600.0; // default rounding mode: halves to even
}

double StreamParser::timeOfDayHours() const { return timeOfDayHours(m_clock ? m_clock() : QTime::currentTime()); }

// One parse() call. `done` is the committed state: everything before
// done.position is handled, and the counts hold what it kept out. Lines read
// after it wait in the batch until a write takes them.
class StreamParser::Pass {
public:
    Pass(StreamParser &parser, QByteArrayView text, SpreadsheetApp *app, std::int32_t row, std::int16_t blockColumn)
        : p(parser), m_text(text), m_app(app), m_limits(parser.m_limits)
    {
        done.row = row;
        done.blockColumn = blockColumn;
        done.cellsDone = p.m_cellsDone;
        done.cellsRefused = p.m_cellsRefused;
    }

    void run();

    Mark done;
    Outcome outcome = Outcome::Ok;
    bool lateSet = false; // this pass left a write running

private:
    struct Line {
        qsizetype start = 0;
        qsizetype end = 0; // after its CR LF
        std::int32_t row = 1;
        std::int32_t column = 1;
        QList<CellValue> cells;
        qsizetype chars = 0;
        Counts lost;
        bool record = false;
    };
    enum class Result { Written, Refused, Late, Stop };

    qsizetype lineEnd(qsizetype from);
    Line recordLine(qsizetype start, qsizetype end, std::int32_t row);
    Line dataLine(qsizetype start, qsizetype end, std::int32_t row);
    void addCell(Line &line, qint64 column, QByteArrayView text);
    bool addLine(Line line);
    bool flush();
    bool writeInPieces(Line &line);
    bool separator(qsizetype start);
    template <class F>
    Result call(F write);
    void commit(const Line &line);
    void record(const Counts &counts);
    void leaveRunning(const Mark &after, const Counts &counts, QList<LinePlace> places = {});
    static LinePlace placeOf(const Line &line);
    void tell(const LinePlace &place);
    static Counts refused(qsizetype cells);
    static Counts written(qsizetype cells);

    StreamParser &p;
    QByteArrayView m_text;
    SpreadsheetApp *m_app;
    const Limits m_limits;
    QList<Line> m_batch;
    std::int32_t m_batchColumn = 0; // of the rows with cells; 0 while there are none
    qsizetype m_batchCells = 0;
    qsizetype m_batchChars = 0;
};

qsizetype StreamParser::Pass::lineEnd(qsizetype from)
{
    qsizetype start = from;
    if (p.m_cleanFrom <= from && from < p.m_cleanTo)
        start = p.m_cleanTo;
    const qsizetype end = LineEnds::find(m_text, start);
    // A CR in the last place may yet be followed by its LF.
    if (end < 0 && m_text.size() - 1 > from) {
        p.m_cleanFrom = from;
        p.m_cleanTo = m_text.size() - 1;
    }
    return end;
}

void StreamParser::Pass::addCell(Line &line, qint64 column, QByteArrayView text)
{
    if (line.row > m_limits.sheetRows) {
        ++line.lost.cellsPastLastRow;
    } else if (column > m_limits.sheetColumns) {
        ++line.lost.cellsPastLastColumn;
    } else {
        line.cells.append(latin1(text));
        line.chars += text.size();
    }
}

StreamParser::Pass::Line StreamParser::Pass::recordLine(qsizetype start, qsizetype end, std::int32_t row)
{
    Line line{start, end + 2, row, 1, {}, 0, {}, true};
    QByteArrayView rest = m_text.sliced(start, end - start);
    QByteArrayView token;
    qint64 column = 1;
    while (nextToken(rest, token)) {
        if (token == "::" || token == "=")
            continue;
        addCell(line, column++, token);
    }
    line.lost.linesPastLastRow = line.lost.cellsPastLastRow > 0;
    line.lost.linesPastLastColumn = line.lost.cellsPastLastColumn > 0;
    return line;
}

StreamParser::Pass::Line StreamParser::Pass::dataLine(qsizetype start, qsizetype end, std::int32_t row)
{
    Line line{start, end + 2, row, done.blockColumn, {}, 0, {}};
    qint64 column = done.blockColumn;
    qsizetype field = start;
    for (;;) {
        const qsizetype fieldEnd = findFieldEnd(m_text, field, end);
        addCell(line, column, m_text.sliced(field, fieldEnd - field));
        if (column >= kLastDataColumn) {
            // The rest of the line is left out: one more field per TAB.
            if (fieldEnd < end) {
                line.lost.linesPastDataColumns = 1;
                line.lost.cellsPastDataColumns =
                    1 + std::count(m_text.data() + fieldEnd + 1, m_text.data() + end, '\t');
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
    return line;
}

StreamParser::Counts StreamParser::Pass::written(qsizetype cells)
{
    Counts counts;
    counts.cellsWritten = cells;
    return counts;
}

StreamParser::Counts StreamParser::Pass::refused(qsizetype cells)
{
    Counts counts;
    if (cells > 0) {
        counts.linesRefused = 1;
        counts.cellsRefused = cells;
    }
    return counts;
}

void StreamParser::Pass::record(const Counts &counts)
{
    p.m_counts += counts;
    if (counts.anyLost() && outcome == Outcome::Ok)
        outcome = Outcome::Dropped;
}

LinePlace StreamParser::Pass::placeOf(const Line &line)
{
    LinePlace place{line.record ? LinePlace::Kind::Row : LinePlace::Kind::BlockCell, line.row, line.column,
                    line.lost.linesRefused > 0};
    if (line.lost.linesTooLong)
        place.kind = LinePlace::Kind::TooLong;
    else if (line.cells.isEmpty() && (line.lost.linesPastLastRow || line.lost.linesPastLastColumn))
        place.kind = LinePlace::Kind::PastSheet;
    return place;
}

void StreamParser::Pass::tell(const LinePlace &place)
{
    if (p.m_observer)
        p.m_observer->lineHandled(place);
}

void StreamParser::Pass::commit(const Line &line)
{
    done.position = line.end;
    done.row = nextRow(line.row);
    done.cellsDone = 0;
    done.cellsRefused = 0;
    record(line.lost);
    if (p.m_observer)
        tell(placeOf(line));
}

// `counts`: what the write adds to the counts once it is known to be done;
// `places`: the lines it finishes, told then.
void StreamParser::Pass::leaveRunning(const Mark &after, const Counts &counts, QList<LinePlace> places)
{
    p.m_late = true;
    p.m_lateApp = m_app;
    p.m_lateMark = after;
    p.m_lateCounts = counts;
    p.m_latePlaces = p.m_observer ? std::move(places) : QList<LinePlace>();
    lateSet = true;
}

// One spreadsheet call. A busy or closed spreadsheet ends the pass; any
// other failure is the spreadsheet refusing these cells.
template <class F>
StreamParser::Pass::Result StreamParser::Pass::call(F write)
{
    try {
        if (!m_app)
            throw SpreadsheetError(SpreadsheetError::Kind::Gone, QStringLiteral("no application"));
        write();
        return Result::Written;
    } catch (const SpreadsheetError &e) {
        if (e.isBusy()) {
            outcome = Outcome::Busy;
            return e.stillRunning() ? Result::Late : Result::Stop;
        }
        if (e.kind() == SpreadsheetError::Kind::Failed)
            return Result::Refused;
        outcome = Outcome::Gone;
    } catch (...) {
        outcome = Outcome::Gone;
    }
    return Result::Stop;
}

// Writes the batch in one call. When the spreadsheet refuses it, the lines
// are tried one by one, so that only those it refuses are lost.
bool StreamParser::Pass::flush()
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
        Counts lost = written(cells);
        QList<LinePlace> places;
        for (const Line &line : batch) {
            lost += line.lost;
            if (p.m_observer)
                places.append(placeOf(line));
        }
        leaveRunning(Mark{batch.last().end, nextRow(batch.last().row), done.blockColumn, 0, 0}, lost,
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
                leaveRunning(Mark{line.end, nextRow(line.row), done.blockColumn, 0, 0}, line.lost, {placeOf(line)});
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
bool StreamParser::Pass::writeInPieces(Line &line)
{
    const qsizetype count = line.cells.size();
    qsizetype from = done.position == line.start ? done.cellsDone : 0;
    qsizetype refusedCells = done.position == line.start ? done.cellsRefused : 0;
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
                Counts lost = line.lost;
                lost += written(to - from);
                leaveRunning(Mark{line.end, nextRow(line.row), done.blockColumn, 0, 0}, lost, {placeOf(line)});
            } else {
                leaveRunning(Mark{line.start, line.row, done.blockColumn, to, refusedCells}, written(to - from));
            }
            return false;
        case Result::Stop:
            return false;
        }
        from = to;
        done.position = line.start;
        done.cellsDone = to;
        done.cellsRefused = refusedCells;
    }
    line.lost += refused(refusedCells);
    commit(line);
    return true;
}

bool StreamParser::Pass::addLine(Line line)
{
    const qsizetype cells = line.cells.size();
    const bool continued = done.position == line.start && done.cellsDone > 0;
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
bool StreamParser::Pass::separator(qsizetype start)
{
    const std::int16_t next = done.blockColumn < std::numeric_limits<std::int16_t>::max()
                                  ? static_cast<std::int16_t>(done.blockColumn + 1)
                                  : done.blockColumn;
    const Mark after{start + kSeparatorLength, 2, next, 0, 0}; // data from row 2 on
    LinePlace place{LinePlace::Kind::TimeStamp, 1, next, false, 3};
    Counts lost;
    if (next > m_limits.sheetColumns) {
        lost.linesPastLastColumn = 1;
        lost.cellsPastLastColumn = 1;
        place.kind = LinePlace::Kind::PastSheet;
    } else {
        switch (call([&] { m_app->setCell(1, next, CellValue(p.timeOfDayHours())); })) {
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
    done = after;
    record(lost);
    tell(place);
    return true;
}

void StreamParser::Pass::run()
{
    // A write left running last time: wait for its end before anything else.
    if (p.m_late) {
        const bool same = m_app && m_app == p.m_lateApp;
        switch (same ? m_app->lateWrite() : SpreadsheetApp::LateWrite::None) {
        case SpreadsheetApp::LateWrite::Running:
            outcome = Outcome::Busy;
            return;
        case SpreadsheetApp::LateWrite::Written:
            done = p.m_lateMark;
            record(p.m_lateCounts);
            ++p.m_counts.lateWrites;
            for (const LinePlace &place : std::as_const(p.m_latePlaces))
                tell(place);
            break;
        case SpreadsheetApp::LateWrite::None:
        case SpreadsheetApp::LateWrite::Failed:
            break; // not written (or not known to be): it goes again
        }
        p.m_late = false;
        p.m_lateApp = nullptr;
        p.m_latePlaces.clear();
    }

    // The rest of a line too long to keep.
    if (p.m_dropping) {
        Counts lost;
        const qsizetype end = lineEnd(done.position);
        if (end < 0) {
            const qsizetype keep = m_text.endsWith('\r') ? 1 : 0;
            lost.bytesTooLong = m_text.size() - keep - done.position;
            done.position = m_text.size() - keep;
            record(lost);
            return;
        }
        lost.bytesTooLong = end - done.position;
        done.position = end + 2;
        p.m_dropping = false;
        record(lost);
    }

    qsizetype position = done.position;
    std::int32_t row = done.row;
    for (;;) {
        const qsizetype start = position;
        const qsizetype end = lineEnd(start);
        if (end < 0) {
            // An unfinished line known to be too long is dropped now, and
            // what follows of it as it comes.
            const qsizetype known = m_text.size() - start - (m_text.endsWith('\r') ? 1 : 0);
            if (known > m_limits.maxLineLength) {
                if (!flush())
                    return;
                Counts lost;
                lost.linesTooLong = 1;
                lost.bytesTooLong = known;
                const LinePlace place{LinePlace::Kind::TooLong, done.row, 0, false};
                done.position = start + known;
                done.row = nextRow(done.row);
                p.m_dropping = true;
                record(lost);
                tell(place);
                return;
            }
            break;
        }
        const QByteArrayView line = m_text.sliced(start, end - start);
        if (line.size() > m_limits.maxLineLength) {
            Line dropped{start, end + 2, row, 1, {}, 0, {}};
            dropped.lost.linesTooLong = 1;
            dropped.lost.bytesTooLong = line.size();
            if (!addLine(std::move(dropped)))
                return;
        } else if (containsDoubleColon(line)) {
            if (!addLine(recordLine(start, end, row)))
                return;
        } else if (line.isEmpty() && m_text.size() - start >= kSeparatorLength
                   && m_text.sliced(start, kSeparatorLength) == kSeparator) {
            if (!flush() || !separator(start))
                return;
            position = done.position;
            row = done.row;
            continue;
        } else if (line.isEmpty() && QByteArrayView(kSeparator).startsWith(m_text.sliced(start))) {
            // One or two empty lines at the very end of what has arrived may be
            // the beginning of a separator whose rest is still on its way:
            // wait for it rather than write them as empty data lines.
            break;
        } else {
            if (!addLine(dataLine(start, end, row)))
                return;
        }
        position = end + 2;
        row = nextRow(row);
    }
    flush();
}

StreamParser::Outcome StreamParser::parse(QByteArrayView text, SpreadsheetApp *app, std::int32_t &row,
                                          std::int16_t &blockColumn, qsizetype &consumed)
{
    Pass pass(*this, text, app, row, blockColumn);
    pass.run();
    const Mark &done = pass.done;
    consumed = done.position;
    row = done.row;
    blockColumn = done.blockColumn;
    m_cellsDone = done.cellsDone;
    m_cellsRefused = done.cellsRefused;
    // Offsets from here on count from the first byte the caller keeps.
    m_cleanFrom = std::max<qsizetype>(0, m_cleanFrom - consumed);
    m_cleanTo -= consumed;
    if (m_cleanTo <= m_cleanFrom)
        m_cleanFrom = m_cleanTo = 0;
    if (pass.lateSet)
        m_lateMark.position -= consumed;
    return pass.outcome;
}

StreamParser::Outcome StreamParser::parse(QByteArray &buffer, SpreadsheetApp *app, std::int32_t &row,
                                          std::int16_t &blockColumn)
{
    qsizetype consumed = 0;
    const Outcome outcome = parse(buffer, app, row, blockColumn, consumed);
    buffer.remove(0, consumed);
    return outcome;
}
