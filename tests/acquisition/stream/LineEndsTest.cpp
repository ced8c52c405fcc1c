// Where lines end: only CR LF, also when it is split between two pieces.
#include "LineEnds.h"

#include <QByteArray>
#include <QList>
#include <gtest/gtest.h>

namespace {

TEST(LineEnds, FindsAndCountsOnlyCrLf)
{
    struct Case {
        QByteArray text;
        std::int64_t lines;
        qsizetype afterLast;
        qsizetype afterSecond;
    };
    const Case cases[] = {
        {"", 0, 0, -1},         {"a\rb\nc\n\r", 0, 0, -1}, {"\r\n", 1, 2, -1},
        {"\r\r\n\n", 1, 3, -1}, {"1\r\n2\r\n3", 2, 6, 6},  {"\r\n\r\n\r\n", 3, 6, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(LineEnds::count(c.text), c.lines);
        EXPECT_EQ(LineEnds::afterLast(c.text), c.afterLast);
        EXPECT_EQ(LineEnds::afterLines(c.text, 2), c.afterSecond);
        EXPECT_EQ(LineEnds::any(c.text), c.lines > 0);
    }
}

TEST(LineEnds, CountsACrLfSplitBetweenPieces)
{
    const QList<QList<QByteArray>> splits{
        {"1\r\n2\r\n"}, {"1\r", "\n2\r", "\n"}, {"1", "\r", "\n", "2\r\n"}, {"1\r", "", "\n2\r\n"}};
    for (const QList<QByteArray> &pieces : splits) {
        LineEnds ends;
        for (const QByteArray &piece : pieces)
            ends.add(piece);
        EXPECT_EQ(ends.lines(), 2) << pieces.join('|').toStdString();
        EXPECT_FALSE(ends.afterCr());
    }
    // A LF after a piece ending in CR ends the line there; a CR alone does not.
    EXPECT_EQ(LineEnds::firstEnd("\nx\r\n", true), 1);
    EXPECT_EQ(LineEnds::firstEnd("\nx\r\n", false), 4);
    EXPECT_EQ(LineEnds::firstEnd("x\r", true), -1);
}

} // namespace
