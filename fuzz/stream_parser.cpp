// The stream parser fed arbitrary bytes in arbitrary tick-sized pieces,
// against the test double of the spreadsheet with busy, closed and late
// (timed-out) writes injected, must end with exactly what a one-shot parse of
// the same bytes gives: the same cells, row, block column, leftover text and
// counts of what could not be written. Along the way every office call stays
// within the call limits, and after a tick without failures the leftover is
// never longer than a line may be.
//
// Input: 8 bytes of settings, then the instrument text.
//  [0] sheet rows (1..64)        [1] sheet columns (1..300)
//  [2] longest line (0..255)     [3] call limits (rows, cells, characters)
//  [4] first row and block column, and whether the spreadsheet's sheet is
//      smaller than the parser knows (it then refuses cells)
//  [5..7] seed of the tick schedule: piece sizes and failures
#include "FakeSpreadsheet.h"
#include "StreamParser.h"

#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "stream parser property broken: %s\n", what);
    std::abort();
}

void require(bool holds, const char *what)
{
    if (!holds)
        fail(what);
}

// Checks every call against the parser's call limits before taking it.
class CheckedSheet : public FakeSpreadsheetApp {
public:
    explicit CheckedSheet(const StreamParser::Limits &limits) : m_limits(limits) {}

    void setCells(std::int32_t row, std::int32_t column, const QList<CellValue> &values) override
    {
        checkCall(1, values.size(), chars(values), values.size() == 1);
        FakeSpreadsheetApp::setCells(row, column, values);
    }
    void setRows(std::int32_t row, std::int32_t column, const QList<QList<CellValue>> &rows) override
    {
        qsizetype cells = 0, text = 0;
        for (const auto &r : rows) {
            cells += r.size();
            text += chars(r);
        }
        checkCall(rows.size(), cells, text, false);
        FakeSpreadsheetApp::setRows(row, column, rows);
    }

private:
    static qsizetype chars(const QList<CellValue> &values)
    {
        qsizetype n = 0;
        for (const CellValue &v : values)
            if (const QString *s = std::get_if<QString>(&v))
                n += s->size();
        return n;
    }
    void checkCall(qsizetype rows, qsizetype cells, qsizetype text, bool oneCell) const
    {
        require(rows <= m_limits.callRows, "a call carries more rows than allowed");
        require(cells <= m_limits.callCells, "a call carries more cells than allowed");
        require(oneCell || text <= m_limits.callChars, "a call carries more text than allowed");
        require(text <= std::max(m_limits.callChars, m_limits.maxLineLength), "a call carries more than a line's text");
    }

    StreamParser::Limits m_limits;
};

struct Sheet {
    explicit Sheet(const StreamParser::Limits &limits) : app(limits), parser([] { return QTime(14, 30, 0); })
    {
        book = std::make_shared<FakeWorkbook>(&app, QStringLiteral("/tmp/spreadsheet.xls"));
        app.books.append(book);
        app.setActive(book);
        parser.setLimits(limits);
    }
    CheckedSheet app;
    std::shared_ptr<FakeWorkbook> book;
    StreamParser parser;
    QByteArray buffer;
    std::int32_t row = 1;
    std::int16_t column = 1;
};

// xorshift32: the tick schedule, reproducible from the input.
struct Schedule {
    std::uint32_t state;
    std::uint32_t next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    std::uint32_t below(std::uint32_t n) { return n ? next() % n : 0; }
};

StreamParser::Counts withoutLateWrites(StreamParser::Counts counts)
{
    counts.lateWrites = 0;
    return counts;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::uint8_t settings[8] = {8, 20, 40, 0x55, 0, 1, 2, 3};
    const std::size_t header = std::min<std::size_t>(size, 8);
    for (std::size_t i = 0; i < header; ++i)
        settings[i] = data[i];
    const QByteArray text(reinterpret_cast<const char *>(data) + header, qsizetype(size - header));

    StreamParser::Limits limits;
    limits.sheetRows = 1 + settings[0] % 64;
    limits.sheetColumns = 1 + settings[1] % 300;
    limits.maxLineLength = settings[2];
    limits.callRows = 1 + (settings[3] & 0x7);
    limits.callCells = 1 + ((settings[3] >> 3) & 0x7) * 5;
    limits.callChars = 1 + ((settings[3] >> 6) & 0x3) * 40;
    static const std::int32_t firstRows[] = {1, 2, 60, std::numeric_limits<std::int32_t>::max() - 1};
    static const std::int16_t firstColumns[] = {
        1, 2, 255, 299, std::numeric_limits<std::int16_t>::max() - 1, std::numeric_limits<std::int16_t>::max(), 20, 7};
    const std::int32_t firstRow = firstRows[settings[4] & 0x3];
    const std::int16_t firstColumn = firstColumns[(settings[4] >> 2) & 0x7];
    const bool smallerSheet = settings[4] & 0x20;
    Schedule schedule{(std::uint32_t(settings[5]) << 16 | std::uint32_t(settings[6]) << 8 | settings[7]) | 1u};

    auto prepare = [&](Sheet &s) {
        s.row = firstRow;
        s.column = firstColumn;
        if (smallerSheet) {
            s.app.lastRow = std::max(1, limits.sheetRows / 2);
            s.app.lastColumn = std::max(1, limits.sheetColumns / 2);
        } else {
            s.app.lastRow = limits.sheetRows;
            s.app.lastColumn = limits.sheetColumns;
        }
    };

    // One parse of everything.
    Sheet whole(limits);
    prepare(whole);
    const auto wholeOutcome = whole.parser.parse(whole.buffer = text, &whole.app, whole.row, whole.column);
    require(wholeOutcome != StreamParser::Outcome::Busy && wholeOutcome != StreamParser::Outcome::Gone,
            "a one-shot parse without failures did not finish");

    // The same bytes in ticks, with failures.
    Sheet ticks(limits);
    prepare(ticks);
    qsizetype at = 0;
    int writes = 0;
    int busyAfter = -1;
    bool lateNext = false;
    while (at < text.size()) {
        const std::uint32_t roll = schedule.next();
        const qsizetype piece = std::min<qsizetype>(text.size() - at, schedule.below((roll & 1) ? 8 : 300));
        ticks.buffer.append(text.constData() + at, piece);
        at += piece;

        // What goes wrong this tick.
        ticks.app.cellFailure.reset();
        ticks.app.gone = false;
        busyAfter = -1;
        const std::uint32_t trouble = (roll >> 8) & 0xf;
        if (trouble == 1)
            ticks.app.cellFailure = SpreadsheetError::Kind::Busy;
        else if (trouble == 2)
            ticks.app.gone = true;
        else if (trouble == 3)
            busyAfter = int(schedule.below(4));
        lateNext = ((roll >> 12) & 0x7) == 0;
        if (((roll >> 16) & 0x3) == 0 && ticks.app.lateWriteRunning())
            ticks.app.finishLateWrite((roll >> 18) & 1);
        writes = 0;
        ticks.app.onWrite = [&] {
            if (busyAfter >= 0 && writes++ == busyAfter)
                ticks.app.cellFailure = SpreadsheetError::Kind::Busy;
        };
        ticks.app.timeOut = [&] { return std::exchange(lateNext, false); };
        const bool lateBefore = ticks.app.lateWriteRunning();

        const auto outcome = ticks.parser.parse(ticks.buffer, &ticks.app, ticks.row, ticks.column);

        const bool troubled = trouble >= 1 && trouble <= 3;
        if (outcome == StreamParser::Outcome::Gone)
            require(trouble == 2, "closed without a closed spreadsheet");
        if (outcome == StreamParser::Outcome::Busy)
            require(troubled || lateBefore || ticks.app.lateWriteRunning(), "busy without a busy spreadsheet");
        if (outcome == StreamParser::Outcome::Ok || outcome == StreamParser::Outcome::Dropped)
            require(ticks.buffer.size() <= std::max<qsizetype>(limits.maxLineLength + 1, 5),
                    "the text waiting for a line end outgrew the longest line");
        require(ticks.row >= 1 && ticks.column >= 1, "row or block column below 1");
    }

    // Everything arrived: the spreadsheet recovers, a running write ends.
    ticks.app.cellFailure.reset();
    ticks.app.gone = false;
    ticks.app.onWrite = nullptr;
    ticks.app.timeOut = nullptr;
    ticks.app.finishLateWrite(schedule.next() & 1);
    StreamParser::Outcome outcome = StreamParser::Outcome::Busy;
    for (int i = 0; i < 3 && outcome == StreamParser::Outcome::Busy; ++i)
        outcome = ticks.parser.parse(ticks.buffer, &ticks.app, ticks.row, ticks.column);
    require(outcome != StreamParser::Outcome::Busy && outcome != StreamParser::Outcome::Gone,
            "the parse did not recover after the failures ended");

    require(ticks.book->sheets == whole.book->sheets, "cells differ from a one-shot parse");
    require(ticks.row == whole.row, "row differs from a one-shot parse");
    require(ticks.column == whole.column, "block column differs from a one-shot parse");
    require(ticks.buffer == whole.buffer, "leftover differs from a one-shot parse");
    require(withoutLateWrites(ticks.parser.counts()) == withoutLateWrites(whole.parser.counts()),
            "counts differ from a one-shot parse");
    return 0;
}
