#include "SheetSpace.h"

#include "LineEnds.h"
#include "StreamParser.h"

bool SheetSpace::isFull(std::int32_t row) { return row > StreamParser::kSheetRows; }

QByteArrayView SheetSpace::fitting(QByteArrayView text, std::int32_t row)
{
    const qint64 rowsLeft = qint64(StreamParser::kSheetRows) - row + 1;
    // A line is at least its CR LF: a short text cannot hold too many. Past
    // the last row (no sheet could be added) every line is offered, to be
    // counted as lost.
    if (rowsLeft <= 0 || rowsLeft * 2 >= text.size())
        return text;
    const qsizetype end = LineEnds::afterLines(text, rowsLeft);
    return end < 0 ? text : text.first(end);
}
