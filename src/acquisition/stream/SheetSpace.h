#pragma once

#include <QByteArrayView>
#include <cstdint>

// A sheet holds StreamParser::kSheetRows rows. Each line takes at most one
// new row, so handing the parser no more complete lines than rows are left
// keeps every line on the sheet; once it is full, the run adds a sheet
// (SpreadsheetApp::addSheet()) and goes on from its first row.
class SheetSpace {
public:
    // The start of `text` that fits from `row` on: all of it when it holds
    // no more complete lines than rows are left.
    static QByteArrayView fitting(QByteArrayView text, std::int32_t row);
    static bool isFull(std::int32_t row);
};
