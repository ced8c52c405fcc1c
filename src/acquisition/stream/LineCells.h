#pragma once

#include "SpreadsheetApp.h"
#include "StreamCounts.h"

#include <QByteArrayView>
#include <QList>
#include <cstdint>

// Reads instrument text into lines of cells; it writes nothing anywhere.
// Text is bytes, one byte one character; only CR LF ends a line. Three kinds
// of line:
//  - record line: contains "::"; its space-separated tokens go to its row
//    from column 1, every token that is exactly "::" or "=" left out;
//  - block separator: three empty lines in a row (CR LF CR LF CR LF at the
//    start of a line): the next column to the right opens a new block;
//  - data line: anything else, an empty line too; its TAB-separated fields go
//    to its row from the block column on, up to column 256.
// Cells outside the sheet are left out and counted; a line longer than
// Limits::maxLineLength has no cells and is counted as dropped, from the
// moment it is known to be that long.
//
// The text is read again and again as it grows at its end; between reads
// this keeps how far it was searched for a line end and whether the line at
// its start is being dropped for its length.
class LineCells {
public:
    static constexpr std::int32_t kLastDataColumn = 256;
    static constexpr qsizetype kSeparatorSize = 6;

    struct Limits {
        std::int32_t sheetRows = 0;
        std::int32_t sheetColumns = 0;
        qsizetype maxLineLength = 0;
    };

    // A piece of the text and its cells.
    struct Line {
        qsizetype start = 0;
        qsizetype end = 0; // after its CR LF
        std::int32_t row = 1;
        std::int32_t column = 1; // of its first cell
        QList<CellValue> cells;
        qsizetype chars = 0; // in its cells
        StreamCounts lost;   // what the sheet cannot take of it
        bool record = false;
    };
    enum class Kind : std::int8_t {
        Incomplete,  // no complete line at the position yet: wait for more text
        Line,        // a record or data line (one too long has no cells)
        Separator,   // a block separator
        TooLong,     // an unfinished line already too long: its known bytes
        DroppedRest, // more of a line being dropped (dropping() is false once its CR LF came)
    };
    struct Read {
        Kind kind = Kind::Incomplete;
        Line line;
    };

    explicit LineCells(const Limits &limits) : m_limits(limits) {}
    void setLimits(const Limits &limits) { m_limits = limits; }

    // What the text holds at `position`, the start of a line that goes to
    // `row` (a data line from `blockColumn` on).
    Read read(QByteArrayView text, qsizetype position, std::int32_t row, std::int16_t blockColumn);
    // The unfinished line last read as TooLong is dropped, up to its CR LF.
    void dropRest() { m_dropping = true; }
    bool dropping() const { return m_dropping; }

    // The caller took the first `bytes` off its text.
    void consumed(qsizetype bytes);
    // The caller cut its text back to its first `size` bytes, at a line start.
    void cutText(qsizetype size);
    void reset();

    // Cuts the first space-delimited token off `line` (spaces around it are
    // dropped first). False, with an empty token, when nothing is left.
    static bool nextToken(QByteArrayView &line, QByteArrayView &token);

private:
    qsizetype lineEnd(QByteArrayView text, qsizetype from);
    // Fill in `line`, whose start and row are set, up to its CR LF at `end`.
    void recordLine(QByteArrayView text, qsizetype end, Line &line) const;
    void dataLine(QByteArrayView text, qsizetype end, std::int16_t blockColumn, Line &line) const;
    void addCell(Line &line, qint64 column, QByteArrayView cell) const;

    Limits m_limits;
    // No CR LF begins in [m_cleanFrom, m_cleanTo): the search for a line end
    // resumes at m_cleanTo.
    qsizetype m_cleanFrom = 0;
    qsizetype m_cleanTo = 0;
    bool m_dropping = false; // the line at offset 0 is dropped up to its CR LF
};
