#include "SheetSpace.h"

#include "StreamParser.h"

bool SheetSpace::isFull(std::int32_t row) { return row > StreamParser::kSheetRows; }

QByteArrayView SheetSpace::fitting(QByteArrayView text, std::int32_t row)
{
    const qint64 rowsLeft = qint64(StreamParser::kSheetRows) - row + 1;
    // A line is at least its CR LF: a short text cannot hold too many.
    if (rowsLeft * 2 >= text.size())
        return text;
    qint64 lines = 0;
    for (qsizetype at = text.indexOf("\r\n"); at >= 0; at = text.indexOf("\r\n", at + 2)) {
        if (++lines == rowsLeft)
            return text.first(at + 2);
    }
    return text;
}
