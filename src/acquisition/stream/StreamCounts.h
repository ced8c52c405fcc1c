#pragma once

#include <QtGlobal>

// What of a stream could not be written into the sheet, and why, and how
// many cells went in. A block separator counts as one line.
struct StreamCounts {
    qint64 linesTooLong = 0;     // longer than the longest line kept: dropped whole
    qint64 bytesTooLong = 0;     // their bytes, CR LF not counted
    qint64 linesPastLastRow = 0; // lines in rows beyond the sheet's last row
    qint64 cellsPastLastRow = 0;
    qint64 linesPastLastColumn = 0; // lines with cells beyond the sheet's last column
    qint64 cellsPastLastColumn = 0;
    qint64 linesRefused = 0; // lines with cells the spreadsheet refused to take
    qint64 cellsRefused = 0;
    // Data-line fields after column 256, left out as always (not a fault).
    qint64 linesPastDataColumns = 0;
    qint64 cellsPastDataColumns = 0;
    // Writes that ended after their time limit and were taken as done.
    qint64 lateWrites = 0;
    // Cells written into the sheet, block time stamps included.
    qint64 cellsWritten = 0;

    // True when something other than the column-256 rule kept data out.
    bool anyLost() const
    {
        return linesTooLong || bytesTooLong || linesPastLastRow || cellsPastLastRow || linesPastLastColumn
               || cellsPastLastColumn || linesRefused || cellsRefused;
    }
    StreamCounts &operator+=(const StreamCounts &o)
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
    bool operator==(const StreamCounts &) const = default;
};
