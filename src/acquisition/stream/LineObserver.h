#pragma once

#include <cstdint>

// Where the parser put one complete line of the stream (a block separator's
// three empty lines count as one).
struct LinePlace {
    enum class Kind : std::int8_t {
        Row,       // a record line: row `row` from column 1
        BlockCell, // a data line: row `row` of the block in column `column`
        TimeStamp, // a block separator: the time stamp opening column `column`
        PastSheet, // left out: its row or column lies beyond the sheet
        TooLong,   // dropped: longer than the longest line kept
    };
    Kind kind = Kind::Row;
    std::int32_t row = 0;
    std::int32_t column = 0;
    bool refused = false;  // sent, but the spreadsheet refused some of its cells
    std::int8_t lines = 1; // lines of the stream it stands for: a block separator is three

    bool operator==(const LinePlace &) const = default;
};

// Told of every line the parser has finished with, in the order of the
// stream, once and only once it is known to be handled (a line waiting on a
// busy spreadsheet is told when it has been written).
class LineObserver {
public:
    virtual ~LineObserver() = default;
    virtual void lineHandled(const LinePlace &place) = 0;
};
