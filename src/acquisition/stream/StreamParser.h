#pragma once

#include "LineCells.h"
#include "LineObserver.h"
#include "StreamCounts.h"
#include "SpreadsheetFactory.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QTime>
#include <cstdint>
#include <functional>

class CellBatcher;

// Turns instrument text into worksheet cells: LineCells reads the lines into
// cells (record lines, data lines, block separators), CellBatcher writes them.
// A block separator opens the next column to the right with the time of day
// in hours in row 1 and the data from row 2 on. Consecutive lines are written
// in one spreadsheet call, within the limits of Limits; a line too big for
// one call is written in pieces.
//
// Nothing that arrives can stop the stream for good. Cells that fall outside
// the sheet are not sent; a write the spreadsheet refuses (neither busy nor
// closed) is dropped; a line longer than Limits::maxLineLength is dropped
// whole, from the moment it is known to be that long, so the text waiting for
// a line end never grows beyond that. Each such loss is counted (counts()).
// The line's row is used all the same, so later lines stay in their rows.
//
// A busy or closed spreadsheet stops the parse: the lines not known to be
// written stay in the buffer and are parsed again from their start next time,
// into the same rows. A write still running after its time limit is not sent
// again: until it has ended every parse reports Busy, and once it is known to
// be written the parse goes on after it.
class StreamParser {
public:
    enum class Outcome {
        Ok,      // every complete line handled (or nothing to do)
        Dropped, // as Ok, but some cells or lines could not be written: counted in counts()
        Busy,    // the spreadsheet rejected a write (the user is editing a cell or a dialog is
                 // open), or an earlier write is still running: the lines wait
        Gone,    // the spreadsheet has been closed
    };

    // What could not be written since the last reset(), and why, and how
    // many cells went in.
    using Counts = StreamCounts;

    static constexpr std::int32_t kLastDataColumn = LineCells::kLastDataColumn;
    static constexpr std::int32_t kSheetRows = 1048576;
    static constexpr std::int32_t kSheetColumns = 16384;
    static constexpr qsizetype kMaxLineLength = 1 << 20;
    // Rows, cells and characters a single spreadsheet call carries at most,
    // so that one call stays well inside the application's busy time-out
    // (text full of lone CR or LF is slow to lay out: ~0.35 s for 64 KiB).
    static constexpr qsizetype kBatchRows = 500;
    static constexpr qsizetype kBatchCells = 20000;
    static constexpr qsizetype kBatchChars = 64 * 1024;

    struct Limits {
        std::int32_t sheetRows = kSheetRows;
        std::int32_t sheetColumns = kSheetColumns;
        qsizetype maxLineLength = kMaxLineLength;
        qsizetype callRows = kBatchRows;
        qsizetype callCells = kBatchCells;
        qsizetype callChars = kBatchChars; // a single cell longer than this goes alone
    };

    // Gives the time of day a block separator is stamped with, from the
    // offset (in the text given to parse()) of its last byte: the arrival of
    // the bytes that hold it.
    using StampClock = std::function<QTime(qsizetype lastByte)>;

    // `clock` gives the time of day for the block time stamps, whatever the
    // separator's bytes; the system clock when empty.
    explicit StreamParser(std::function<QTime()> clock = {});
    explicit StreamParser(StampClock clock);

    // A new stream (a new run): forgets how far the text was searched, a line
    // being dropped or written in pieces, an outstanding write, and the counts.
    void reset();
    // The caller cut its text back to its first `size` bytes, at the start
    // of a line: an unfinished line at the end that will never get its end
    // (the port broke off in its middle). Forgets what the parse knew of the
    // bytes cut; complete lines before them are untouched.
    void cutText(qsizetype size);
    void setLimits(const Limits &limits)
    {
        m_limits = limits;
        m_cells.setLimits(cellLimits(limits));
    }
    // Who is told where each line went (not owned); none when null. Without
    // one, nothing is spent on telling.
    void setObserver(LineObserver *observer) { m_observer = observer; }
    const Limits &limits() const { return m_limits; }
    const Counts &counts() const { return m_counts; }

    // Parses the complete lines at the start of `text` into `app` and stops at
    // the first busy or closed write. `consumed` is the number of bytes fully
    // handled: the caller keeps the text from there on, and passes it again
    // next time with new text appended (and nothing else changed; reset()
    // when starting over). row and blockColumn advance only for lines that
    // were handled.
    Outcome parse(QByteArrayView text, SpreadsheetApp *app, std::int32_t &row, std::int16_t &blockColumn,
                  qsizetype &consumed);

    // parse() on a whole buffer, then the buffer is cut once to its unparsed rest.
    Outcome parse(QByteArray &buffer, SpreadsheetApp *app, std::int32_t &row, std::int16_t &blockColumn);

    // The time of day in hours: seconds since midnight rounded to the nearest
    // whole second (halves to the even second), divided by 3600.
    static double timeOfDayHours(const QTime &time);
    // The stamp of a separator whose last byte is at `lastByte`, in hours.
    double stampHours(qsizetype lastByte) const;

private:
    friend class CellBatcher;

    static LineCells::Limits cellLimits(const Limits &limits)
    {
        return {limits.sheetRows, limits.sheetColumns, limits.maxLineLength};
    }
    // Reads `text` into `batcher` from where it stands, line by line.
    void feed(QByteArrayView text, CellBatcher &batcher);

    // The state after a piece of text has been handled: the position after
    // it, the row and block column for what follows, and how much of the line
    // at that position has already been written (a line written in pieces).
    struct Mark {
        qsizetype position = 0;
        std::int32_t row = 1;
        std::int16_t blockColumn = 1;
        qsizetype cellsDone = 0;
        qsizetype cellsRefused = 0; // of those, refused by the spreadsheet
    };

    StampClock m_clock;
    LineObserver *m_observer = nullptr;
    Limits m_limits;
    LineCells m_cells{cellLimits(m_limits)};
    Counts m_counts;

    // All positions below are offsets into the text kept by the caller.
    // Cells of the line at offset 0 already written (and refused) in pieces.
    qsizetype m_cellsDone = 0;
    qsizetype m_cellsRefused = 0;
    // A write that outlived its time limit: where the parse stands once it
    // has ended well, and what that write kept out.
    bool m_late = false;
    SpreadsheetApp *m_lateApp = nullptr;
    Mark m_lateMark;
    Counts m_lateCounts;
    QList<LinePlace> m_latePlaces; // told once that write is known to be done
};
