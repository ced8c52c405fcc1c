#pragma once

#include "SpreadsheetFactory.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QTime>
#include <cstdint>
#include <functional>

// Turns instrument text into worksheet cells. Text is bytes, one byte one
// character; only CR LF ends a line. Three kinds of line:
//  - record line: contains "::"; its space-separated tokens go to row lRow
//    from column 1, every token that is exactly "::" or "=" left out;
//  - block separator: three empty lines in a row (CR LF CR LF CR LF at the
//    start of a line): the next column to the right opens a new block, with
//    the time of day in hours in row 1 and the data from row 2 on;
//  - data line: anything else, an empty line too; its TAB-separated fields go
//    to row lRow from column iBlockColumn on, up to column 256.
// Consecutive lines are written in one spreadsheet call (see parse()). A
// failed call abandons the parse; the lines not known to be written stay in
// the buffer and are parsed again from their start next time, into the same rows.
class StreamParser {
public:
    enum class Outcome {
        Ok,   // every complete line written (or nothing to write)
        Busy, // the spreadsheet rejected a write: the user is editing a cell or a dialog is open
        Gone, // any other failed write: the spreadsheet has been closed
    };

    static constexpr std::int32_t kLastDataColumn = 256;
    // Rows and cells a single spreadsheet call carries at most, so that one
    // call stays well inside the application's busy time-out.
    static constexpr qsizetype kBatchRows = 500;
    static constexpr qsizetype kBatchCells = 20000;

    // `clock` gives the time of day for the block time stamps; the system
    // clock when empty.
    explicit StreamParser(std::function<QTime()> clock = {});

    // Parses the complete lines at the start of `text` into `app` and stops at
    // the first failed write. `consumed` is the number of bytes fully handled:
    // the caller keeps the text from there on. lRow and iBlockColumn advance
    // only for lines that were written.
    Outcome parse(QByteArrayView text, SpreadsheetApp *app, std::int32_t &lRow,
                  std::int16_t &iBlockColumn, qsizetype &consumed);

    // parse() on a whole buffer, then the buffer is cut once to its unparsed rest.
    Outcome ParseBuffer(QByteArray &sInBuffer, SpreadsheetApp *app, std::int32_t &lRow,
                        std::int16_t &iBlockColumn);

    // Cuts the first space-delimited token off `line` (spaces around it are
    // dropped first). False, with an empty token, when nothing is left.
    static bool NextToken(QByteArrayView &line, QByteArrayView &token);

    // The time of day in hours: seconds since midnight rounded to the nearest
    // whole second (halves to the even second), divided by 3600.
    double TimeOfDayHours() const;
    static double TimeOfDayHours(const QTime &time);

private:
    bool writeRows(SpreadsheetApp *app, Outcome &outcome);
    bool writeStamp(SpreadsheetApp *app, std::int32_t column, Outcome &outcome);

    std::function<QTime()> m_clock;
    // The batch being collected: rows from m_batchRow on, from m_batchColumn on.
    QList<QList<CellValue>> m_rows;
    std::int32_t m_batchRow = 1;
    std::int32_t m_batchColumn = 1;
    qsizetype m_batchCells = 0;
};
