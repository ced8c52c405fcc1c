// The stream parser against the spreadsheet test double: which text lands in
// which cell, what stays in the buffer, and how a failed write is retried.
#include "FakeSpreadsheet.h"
#include "QStringPrinter.h"
#include "StreamParser.h"

#include <gtest/gtest.h>

namespace {

class StreamParserTest : public ::testing::Test {
protected:
    StreamParserTest() : parser([this] { return now; })
    {
        book = std::make_shared<FakeWorkbook>(&app, QStringLiteral("/tmp/spreadsheet.xls"));
        app.books.append(book);
        app.setActive(book);
    }

    StreamParser::Outcome feed(const QByteArray &text)
    {
        buffer.append(text);
        return parser.ParseBuffer(buffer, &app, lRow, iBlockColumn);
    }
    QString text(int row, int column) const { return book->text(row, column); }
    bool has(int row, int column) const { return book->cell(row, column).has_value(); }

    QTime now = QTime(14, 30, 0);
    FakeSpreadsheetApp app;
    std::shared_ptr<FakeWorkbook> book;
    StreamParser parser;
    QByteArray buffer;
    std::int32_t lRow = 1;
    std::int16_t iBlockColumn = 1;
};

TEST_F(StreamParserTest, DataLinesThenSeparatorOpenTheNextColumnWithATimeStamp)
{
    EXPECT_EQ(feed("5.1\r\n5.2\r\n"), StreamParser::Outcome::Ok);
    EXPECT_EQ(text(1, 1), "5.1");
    EXPECT_EQ(text(2, 1), "5.2");
    EXPECT_EQ(lRow, 3);
    EXPECT_TRUE(buffer.isEmpty());

    EXPECT_EQ(feed("\r\n\r\n\r\n6.1\r\n"), StreamParser::Outcome::Ok);
    EXPECT_EQ(iBlockColumn, 2);
    const auto stamp = book->cell(1, 2);
    ASSERT_TRUE(stamp.has_value());
    ASSERT_TRUE(std::holds_alternative<double>(*stamp)); // a number, not text
    EXPECT_DOUBLE_EQ(std::get<double>(*stamp), 14.5);
    EXPECT_EQ(text(2, 2), "6.1"); // nothing lost of its first character
    EXPECT_EQ(lRow, 3);
    EXPECT_TRUE(buffer.isEmpty());
}

TEST_F(StreamParserTest, RecordLineTokensSkipDoubleColonAndEquals)
{
    feed("1 0001 :: 06/12/2026 14:30:00 = 523 X\r\n");
    feed("   2    0002 ::   06/12/2026  14:31:00 =   524   Y  \r\n");
    const QStringList first = {"1", "0001", "06/12/2026", "14:30:00", "523", "X"};
    const QStringList second = {"2", "0002", "06/12/2026", "14:31:00", "524", "Y"};
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(text(1, c + 1), first[c]);
        EXPECT_EQ(text(2, c + 1), second[c]);
    }
    EXPECT_FALSE(has(1, 7));
    EXPECT_FALSE(has(2, 7));
    EXPECT_EQ(lRow, 3);
}

TEST_F(StreamParserTest, TwoRecordLinesInOneTickGoToTwoRows)
{
    iBlockColumn = 4; // record lines ignore the block column
    feed("a :: b\r\nc :: d e\r\n");
    EXPECT_EQ(text(1, 1), "a");
    EXPECT_EQ(text(1, 2), "b");
    EXPECT_FALSE(has(1, 3));
    EXPECT_EQ(text(2, 1), "c");
    EXPECT_EQ(text(2, 2), "d");
    EXPECT_EQ(text(2, 3), "e");
    EXPECT_EQ(lRow, 3);
}

TEST_F(StreamParserTest, RecordLineTokensAreSplitOnSpacesOnly)
{
    // "::" inside a token makes a record line; the token itself is kept, and a
    // TAB does not split a record line.
    feed("t=1 a::b c\td\r\n:: =\r\n");
    EXPECT_EQ(text(1, 1), "t=1");
    EXPECT_EQ(text(1, 2), "a::b");
    EXPECT_EQ(text(1, 3), "c\td");
    EXPECT_FALSE(has(2, 1)); // nothing but skipped tokens: no cell, but the row is used
    EXPECT_EQ(lRow, 3);
}

TEST_F(StreamParserTest, DataLineStopsAtColumn256)
{
    iBlockColumn = 255;
    feed("a\tb\tc\r\n");
    EXPECT_EQ(text(1, 255), "a");
    EXPECT_EQ(text(1, 256), "b");
    EXPECT_FALSE(has(1, 257));

    // A block column beyond the limit still takes the first field.
    iBlockColumn = 300;
    feed("x\ty\r\n");
    EXPECT_EQ(text(2, 300), "x");
    EXPECT_FALSE(has(2, 301));
    EXPECT_EQ(lRow, 3);
}

TEST_F(StreamParserTest, TabFieldsIncludingTheEmptyOnes)
{
    feed("1\t\t3\t\r\n");
    EXPECT_EQ(text(1, 1), "1");
    EXPECT_TRUE(has(1, 2));
    EXPECT_EQ(text(1, 2), "");
    EXPECT_EQ(text(1, 3), "3");
    EXPECT_TRUE(has(1, 4)); // a TAB right before CR gives one more, empty, field
    EXPECT_FALSE(has(1, 5));
}

TEST_F(StreamParserTest, EmptyLineWritesAnEmptyCellAndAdvances)
{
    feed("\r\nX\r\n");
    EXPECT_TRUE(has(1, 1));
    EXPECT_EQ(text(1, 1), "");
    EXPECT_EQ(text(2, 1), "X");
    EXPECT_EQ(lRow, 3);
}

TEST_F(StreamParserTest, FourEmptyLinesAreASeparatorAndOneEmptyDataLine)
{
    feed("\r\n\r\n\r\n\r\n6.1\r\n");
    EXPECT_EQ(iBlockColumn, 2);
    EXPECT_TRUE(std::holds_alternative<double>(*book->cell(1, 2)));
    EXPECT_TRUE(has(2, 2));
    EXPECT_EQ(text(2, 2), "");
    EXPECT_EQ(text(3, 2), "6.1");
    EXPECT_EQ(lRow, 4);
}

TEST_F(StreamParserTest, SeparatorSplitAcrossTicksIsStillOneSeparator)
{
    feed("5.1\r\n\r\n\r\n");
    EXPECT_EQ(text(1, 1), "5.1");
    EXPECT_EQ(app.writes.size(), 1); // the two empty lines wait: they may open a separator
    EXPECT_EQ(buffer, "\r\n\r\n");
    feed("\r\n7\r\n");
    EXPECT_EQ(iBlockColumn, 2);
    EXPECT_EQ(text(2, 2), "7");
    EXPECT_FALSE(has(2, 1));
    EXPECT_FALSE(has(3, 1));

    // Two empty lines followed by something else are two empty data lines.
    feed("\r\n\r\n8\r\n");
    EXPECT_EQ(iBlockColumn, 2);
    EXPECT_TRUE(has(3, 2));
    EXPECT_TRUE(has(4, 2));
    EXPECT_EQ(text(5, 2), "8");
}

TEST_F(StreamParserTest, TabLineFollowedByTwoEmptyLinesIsNoSeparator)
{
    feed("a\t\r\n\r\n\r\nb\r\n");
    EXPECT_EQ(iBlockColumn, 1);
    EXPECT_EQ(text(1, 1), "a");
    EXPECT_TRUE(has(1, 2));
    EXPECT_TRUE(has(2, 1));
    EXPECT_TRUE(has(3, 1));
    EXPECT_EQ(text(4, 1), "b");
}

TEST_F(StreamParserTest, LinesSplitAcrossTicksAreWrittenOnce)
{
    feed("5.");
    EXPECT_TRUE(app.writes.isEmpty());
    feed("1\r");
    EXPECT_TRUE(app.writes.isEmpty()); // a CR alone does not end the line
    EXPECT_EQ(buffer, "5.1\r");
    feed("\n9");
    ASSERT_EQ(app.writes.size(), 1);
    EXPECT_EQ(text(1, 1), "5.1");
    EXPECT_EQ(buffer, "9");

    // A lone LF or a lone CR is an ordinary character.
    feed("\n\r1\r\n");
    EXPECT_EQ(text(2, 1), "9\n\r1");
}

TEST_F(StreamParserTest, TextWithoutLineEndAccumulates)
{
    for (int i = 0; i < 50; ++i)
        feed("abc\tdef ");
    EXPECT_TRUE(app.writes.isEmpty());
    EXPECT_EQ(buffer.size(), 50 * 8);
    EXPECT_EQ(lRow, 1);
}

TEST_F(StreamParserTest, BusyWriteIsRetriedIntoTheSameRow)
{
    feed("5.0\r\n");
    int calls = 0;
    app.onWrite = [&] {
        if (++calls == 2)
            app.cellFailure = SpreadsheetError::Kind::Busy;
    };
    // Two lines go in one batch; the second row is refused.
    EXPECT_EQ(feed("5.1\r\n5.2\r\n5.3"), StreamParser::Outcome::Busy);
    EXPECT_EQ(text(2, 1), "5.1");
    EXPECT_FALSE(has(3, 1));
    EXPECT_EQ(lRow, 2);
    EXPECT_EQ(buffer, "5.1\r\n5.2\r\n5.3"); // from the failed batch's first line on

    // Still busy: nothing changes, new text is appended.
    EXPECT_EQ(feed("\r\n"), StreamParser::Outcome::Busy);
    EXPECT_EQ(buffer, "5.1\r\n5.2\r\n5.3\r\n");
    EXPECT_EQ(lRow, 2);

    app.cellFailure.reset();
    app.onWrite = nullptr;
    EXPECT_EQ(feed(""), StreamParser::Outcome::Ok);
    EXPECT_EQ(text(1, 1), "5.0");
    EXPECT_EQ(text(2, 1), "5.1"); // written again, into the same row
    EXPECT_EQ(text(3, 1), "5.2");
    EXPECT_EQ(text(4, 1), "5.3");
    EXPECT_FALSE(has(5, 1));
    EXPECT_EQ(lRow, 5);
    EXPECT_TRUE(buffer.isEmpty());
}

TEST_F(StreamParserTest, RecordAndDataLinesInOneTickKeepTheirColumns)
{
    feed("\r\n\r\n\r\na\r\nb\r\n1 :: 2\r\nc\td\r\n:: =\r\ne\r\n");
    EXPECT_EQ(text(2, 2), "a");
    EXPECT_EQ(text(3, 2), "b");
    EXPECT_EQ(text(4, 1), "1");
    EXPECT_EQ(text(4, 2), "2");
    EXPECT_EQ(text(5, 2), "c");
    EXPECT_EQ(text(5, 3), "d");
    EXPECT_FALSE(has(6, 1));
    EXPECT_FALSE(has(6, 2));
    EXPECT_EQ(text(7, 2), "e");
    EXPECT_EQ(lRow, 8);
}

TEST_F(StreamParserTest, FailedSeparatorOpensOnlyOneColumnWhenRetried)
{
    feed("1\r\n");
    app.cellFailure = SpreadsheetError::Kind::Gone;
    EXPECT_EQ(feed("\r\n\r\n\r\n2\r\n"), StreamParser::Outcome::Gone);
    EXPECT_EQ(feed(""), StreamParser::Outcome::Gone);
    EXPECT_EQ(iBlockColumn, 1);
    EXPECT_EQ(lRow, 2);
    app.cellFailure.reset();
    EXPECT_EQ(feed(""), StreamParser::Outcome::Ok);
    EXPECT_EQ(iBlockColumn, 2);
    EXPECT_EQ(text(2, 2), "2");
    EXPECT_FALSE(has(1, 3));
}

TEST_F(StreamParserTest, EveryByteIsOneCharacter)
{
    feed(QByteArray("a\xB5\0b\tc\r\n", 8));
    const QString first = text(1, 1);
    ASSERT_EQ(first.size(), 4);
    EXPECT_EQ(first[1], QChar(0xB5));
    EXPECT_EQ(first[2], QChar(0));
    EXPECT_EQ(first[3], QChar('b'));
    EXPECT_EQ(text(1, 2), "c");

    feed(QByteArray("\xB5g :: \0\r\n", 9));
    EXPECT_EQ(text(2, 1), QString(QChar(0xB5)) + "g");
    EXPECT_EQ(text(2, 2), QString(QChar(0)));
}

TEST_F(StreamParserTest, ABacklogIsCutUpInOnePass)
{
    QByteArray backlog;
    for (int i = 0; i < 20000; ++i)
        backlog += QByteArray::number(i) + " :: 1 = 2 3 4 5\r\n" + QByteArray::number(i) + "\t7\r\n";
    backlog += "rest";
    feed(backlog);
    EXPECT_EQ(app.writes.size(), 40000);
    // Written in batches of consecutive rows, not one call a line.
    EXPECT_EQ(app.rowBatches, 40000 / StreamParser::kBatchRows);
    EXPECT_EQ(text(39999, 1), "19999");
    EXPECT_EQ(text(40000, 1), "19999");
    EXPECT_EQ(text(40000, 2), "7");
    EXPECT_EQ(buffer, "rest");
    EXPECT_EQ(lRow, 40001);
}

TEST_F(StreamParserTest, WideLinesMakeSmallerBatches)
{
    QByteArray wide;
    for (int c = 1; c <= 300; ++c)
        wide += QByteArray::number(c) + (c < 300 ? "\t" : "\r\n");
    QByteArray lines;
    for (int r = 0; r < 100; ++r)
        lines += wide;
    feed(lines);
    // 256 cells a line: a batch is full after 79 lines.
    EXPECT_EQ(app.rowBatches, 2);
    EXPECT_EQ(text(100, 256), "256");
    EXPECT_FALSE(has(100, 257));
}

TEST_F(StreamParserTest, NoApplicationCountsAsClosed)
{
    buffer = "1\r\n";
    EXPECT_EQ(parser.ParseBuffer(buffer, nullptr, lRow, iBlockColumn), StreamParser::Outcome::Gone);
    EXPECT_EQ(buffer, "1\r\n");
}

TEST(NextToken, TrimsAndCutsAtTheFirstSpace)
{
    QByteArrayView line("  ab  c\td   ");
    QByteArrayView token;
    ASSERT_TRUE(StreamParser::NextToken(line, token));
    EXPECT_EQ(token, "ab");
    ASSERT_TRUE(StreamParser::NextToken(line, token));
    EXPECT_EQ(token, "c\td");
    EXPECT_FALSE(StreamParser::NextToken(line, token));
    EXPECT_TRUE(token.isEmpty());
    EXPECT_TRUE(line.isEmpty());
}

TEST(TimeOfDayHours, RoundsToWholeSecondsHalvesToEven)
{
    EXPECT_DOUBLE_EQ(StreamParser::TimeOfDayHours(QTime(14, 30, 0)), 14.5);
    EXPECT_DOUBLE_EQ(StreamParser::TimeOfDayHours(QTime(0, 0, 0, 500)), 0.0);
    EXPECT_DOUBLE_EQ(StreamParser::TimeOfDayHours(QTime(0, 0, 1, 500)), 2.0 / 3600);
    EXPECT_DOUBLE_EQ(StreamParser::TimeOfDayHours(QTime(0, 0, 2, 501)), 3.0 / 3600);
    EXPECT_DOUBLE_EQ(StreamParser::TimeOfDayHours(QTime(23, 59, 59, 500)), 24.0);
}

} // namespace
