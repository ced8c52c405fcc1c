// The lines of the stream read into cells, without any spreadsheet: which
// text goes to which cell, and what waits for more text.
#include "LineCells.h"
#include "StreamParser.h"
#include "TextPrinters.h"

#include <gtest/gtest.h>

namespace {

// Reads text as the parser does, growing at its end, and keeps each cell as
// "row,column=text"; a block's time stamp is "1,column=T".
class Reader {
public:
    explicit Reader(std::int16_t blockColumn = 1) : blockColumn(blockColumn) {}

    void feed(QByteArrayView piece)
    {
        rest += piece;
        qsizetype position = 0;
        for (bool more = true; more;) {
            const LineCells::Read read = m_cells.read(rest, position, row, blockColumn);
            const LineCells::Line &line = read.line;
            lost += line.lost;
            switch (read.kind) {
            case LineCells::Kind::Incomplete:
                more = false;
                continue;
            case LineCells::Kind::Separator:
                ++blockColumn;
                cells << QStringLiteral("1,%1=T").arg(blockColumn);
                row = 2;
                break;
            case LineCells::Kind::Line:
                for (qsizetype i = 0; i < line.cells.size(); ++i)
                    cells << QStringLiteral("%1,%2=").arg(line.row).arg(line.column + i)
                                 + std::get<QString>(line.cells[i]);
                ++row;
                break;
            case LineCells::Kind::TooLong:
                ++row;
                m_cells.dropRest();
                more = false;
                break;
            case LineCells::Kind::DroppedRest:
                more = !m_cells.dropping();
                break;
            }
            position = line.end;
        }
        rest.remove(0, position);
        m_cells.consumed(position);
    }

    QStringList cells;
    QByteArray rest; // what waits for more text
    std::int32_t row = 1;
    std::int16_t blockColumn;
    StreamCounts lost;

private:
    LineCells m_cells{{StreamParser::kSheetRows, StreamParser::kSheetColumns, StreamParser::kMaxLineLength}};
};

struct Text {
    const char *name;
    QByteArray text;
    std::int16_t blockColumn;
    QStringList cells;
    std::int32_t nextRow;
    std::int16_t nextBlockColumn;
};

TEST(LineCells, LinesGoToTheirCells)
{
    const Text cases[] = {
        {"record tokens without :: and =",
         "1 0001 :: 06/12/2026 14:30:00 = 523 X\r\n   2    0002 ::   06/12/2026  14:31:00 =   524   Y  \r\n",
         1,
         {"1,1=1", "1,2=0001", "1,3=06/12/2026", "1,4=14:30:00", "1,5=523", "1,6=X", "2,1=2", "2,2=0002",
          "2,3=06/12/2026", "2,4=14:31:00", "2,5=524", "2,6=Y"},
         3,
         1},
        {"record lines ignore the block column",
         "a :: b\r\nc :: d e\r\n",
         4,
         {"1,1=a", "1,2=b", "2,1=c", "2,2=d", "2,3=e"},
         3,
         4},
        // "::" inside a token makes a record line and stays in it; a TAB does
        // not split a record line; nothing but skipped tokens uses the row.
        {"record tokens split on spaces only",
         "t=1 a::b c\td\r\n:: =\r\n",
         1,
         {"1,1=t=1", "1,2=a::b", "1,3=c\td"},
         3,
         1},
        {"data line stops at column 256", "a\tb\tc\r\n", 255, {"1,255=a", "1,256=b"}, 2, 255},
        {"block column past 256 takes the first field", "x\ty\r\n", 300, {"1,300=x"}, 2, 300},
        {"TAB fields, the empty ones too", "1\t\t3\t\r\n", 1, {"1,1=1", "1,2=", "1,3=3", "1,4="}, 2, 1},
        {"empty line is an empty cell", "\r\nX\r\n", 1, {"1,1=", "2,1=X"}, 3, 1},
        {"four empty lines: a separator and an empty line",
         "\r\n\r\n\r\n\r\n6.1\r\n",
         1,
         {"1,2=T", "2,2=", "3,2=6.1"},
         4,
         2},
        {"TAB line and two empty lines: no separator",
         "a\t\r\n\r\n\r\nb\r\n",
         1,
         {"1,1=a", "1,2=", "2,1=", "3,1=", "4,1=b"},
         5,
         1},
        {"lone LF and lone CR are characters", "9\n\r1\r\n", 1, {"1,1=9\n\r1"}, 2, 1},
    };
    for (const Text &c : cases) {
        SCOPED_TRACE(c.name);
        Reader reader(c.blockColumn);
        reader.feed(c.text);
        EXPECT_EQ(reader.cells, c.cells);
        EXPECT_EQ(reader.row, c.nextRow);
        EXPECT_EQ(reader.blockColumn, c.nextBlockColumn);
        EXPECT_TRUE(reader.rest.isEmpty());
    }
}

TEST(LineCells, TextArrivingInPiecesWaitsForItsLineEnd)
{
    struct Step {
        QByteArray piece;
        QByteArray rest;
    };
    struct Pieces {
        const char *name;
        QList<Step> steps;
        QStringList cells;
    };
    QList<Step> noLineEnd;
    for (int i = 0; i < 50; ++i)
        noLineEnd.append({"abc\tdef ", QByteArray("abc\tdef ").repeated(i + 1)});
    const Pieces cases[] = {
        {"a CR alone does not end a line",
         {{"5.", "5."}, {"1\r", "5.1\r"}, {"\n9", "9"}, {"\n\r1\r\n", ""}},
         {"1,1=5.1", "2,1=9\n\r1"}},
        {"two empty lines at the end may begin a separator",
         {{"5.1\r\n\r\n\r\n", "\r\n\r\n"}, {"\r\n7\r\n", ""}, {"\r\n\r\n8\r\n", ""}},
         {"1,1=5.1", "1,2=T", "2,2=7", "3,2=", "4,2=", "5,2=8"}},
        {"text without a line end accumulates", noLineEnd, {}},
    };
    for (const Pieces &c : cases) {
        SCOPED_TRACE(c.name);
        Reader reader;
        for (const Step &step : c.steps) {
            reader.feed(step.piece);
            EXPECT_EQ(reader.rest, step.rest);
        }
        EXPECT_EQ(reader.cells, c.cells);
    }
}

TEST(LineCells, EveryByteIsOneCharacter)
{
    Reader reader;
    reader.feed(QByteArray("a\xB5\0b\tc\r\n\xB5g :: \0\r\n", 17));
    const QString nul(QChar(0));
    EXPECT_EQ(reader.cells, QStringList({"1,1=a" + QString(QChar(0xB5)) + nul + "b", "1,2=c",
                                         "2,1=" + QString(QChar(0xB5)) + "g", "2,2=" + nul}));
}

TEST(LineCells, ALineTooLongHasNoCellsAndItsRestIsPassedOverAsItComes)
{
    const qsizetype limit = StreamParser::kMaxLineLength;
    Reader reader;
    reader.feed(QByteArray(limit, 'a') + "\r\n" + QByteArray(limit + 1, 'b') + "\r\n");
    EXPECT_EQ(reader.cells.size(), 1); // at the limit: still a line
    EXPECT_EQ(reader.lost.linesTooLong, 1);
    EXPECT_EQ(reader.lost.bytesTooLong, limit + 1);

    // Known too long before its end: dropped at once, nothing of it kept.
    reader.feed(QByteArray(limit + 1, 'c'));
    EXPECT_TRUE(reader.rest.isEmpty());
    reader.feed(QByteArray(10, 'c') + "\r");
    EXPECT_EQ(reader.rest, "\r"); // perhaps its end
    reader.feed("\nd\r\n");
    EXPECT_EQ(reader.cells.last(), "4,1=d");
    EXPECT_EQ(reader.lost.linesTooLong, 2);
    EXPECT_EQ(reader.lost.bytesTooLong, 2 * (limit + 1) + 10);
}

TEST(LineCells, NextTokenTrimsAndCutsAtTheFirstSpace)
{
    QByteArrayView line("  ab  c\td   ");
    QByteArrayView token;
    ASSERT_TRUE(LineCells::nextToken(line, token));
    EXPECT_EQ(token, "ab");
    ASSERT_TRUE(LineCells::nextToken(line, token));
    EXPECT_EQ(token, "c\td");
    EXPECT_FALSE(LineCells::nextToken(line, token));
    EXPECT_TRUE(token.isEmpty());
    EXPECT_TRUE(line.isEmpty());
}

} // namespace
