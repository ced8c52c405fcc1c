// The stream parser against the spreadsheet test double: how lines are
// batched into calls, what stays in the buffer, and how a failed write is
// retried. Which text makes which cells is LineCellsTest's.
#include "FakeSpreadsheet.h"
#include "QStringPrinter.h"
#include "StreamParser.h"

#include <gtest/gtest.h>
#include <utility>

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
        return parser.parse(buffer, &app, nextRow, blockColumn);
    }
    QString text(int row, int column) const { return book->text(row, column); }
    const StreamParser::Counts &counts() const { return parser.counts(); }
    // A record line of `tokens` tokens "t1", "t2", ... and its CR LF.
    static QByteArray recordLine(int tokens, int width = 0)
    {
        QByteArray line = "::";
        for (int i = 1; i <= tokens; ++i)
            line += ' ' + QByteArray::number(i).rightJustified(width, 't');
        return line + "\r\n";
    }
    bool has(int row, int column) const { return book->cell(row, column).has_value(); }

    QTime now = QTime(14, 30, 0);
    FakeSpreadsheetApp app;
    std::shared_ptr<FakeWorkbook> book;
    StreamParser parser;
    QByteArray buffer;
    std::int32_t nextRow = 1;
    std::int16_t blockColumn = 1;
};

TEST_F(StreamParserTest, DataLinesThenSeparatorOpenTheNextColumnWithATimeStamp)
{
    EXPECT_EQ(feed("5.1\r\n5.2\r\n"), StreamParser::Outcome::Ok);
    EXPECT_EQ(text(1, 1), "5.1");
    EXPECT_EQ(text(2, 1), "5.2");
    EXPECT_EQ(nextRow, 3);
    EXPECT_TRUE(buffer.isEmpty());

    EXPECT_EQ(feed("\r\n\r\n\r\n6.1\r\n"), StreamParser::Outcome::Ok);
    EXPECT_EQ(blockColumn, 2);
    const auto stamp = book->cell(1, 2);
    ASSERT_TRUE(stamp.has_value());
    ASSERT_TRUE(std::holds_alternative<double>(*stamp)); // a number, not text
    EXPECT_DOUBLE_EQ(std::get<double>(*stamp), 14.5);
    EXPECT_EQ(text(2, 2), "6.1"); // nothing lost of its first character
    EXPECT_EQ(nextRow, 3);
    EXPECT_TRUE(buffer.isEmpty());
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
    EXPECT_EQ(nextRow, 2);
    EXPECT_EQ(buffer, "5.1\r\n5.2\r\n5.3"); // from the failed batch's first line on

    // Still busy: nothing changes, new text is appended.
    EXPECT_EQ(feed("\r\n"), StreamParser::Outcome::Busy);
    EXPECT_EQ(buffer, "5.1\r\n5.2\r\n5.3\r\n");
    EXPECT_EQ(nextRow, 2);

    app.cellFailure.reset();
    app.onWrite = nullptr;
    EXPECT_EQ(feed(""), StreamParser::Outcome::Ok);
    EXPECT_EQ(text(1, 1), "5.0");
    EXPECT_EQ(text(2, 1), "5.1"); // written again, into the same row
    EXPECT_EQ(text(3, 1), "5.2");
    EXPECT_EQ(text(4, 1), "5.3");
    EXPECT_FALSE(has(5, 1));
    EXPECT_EQ(nextRow, 5);
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
    EXPECT_EQ(nextRow, 8);
}

TEST_F(StreamParserTest, FailedSeparatorOpensOnlyOneColumnWhenRetried)
{
    feed("1\r\n");
    app.cellFailure = SpreadsheetError::Kind::Gone;
    EXPECT_EQ(feed("\r\n\r\n\r\n2\r\n"), StreamParser::Outcome::Gone);
    EXPECT_EQ(feed(""), StreamParser::Outcome::Gone);
    EXPECT_EQ(blockColumn, 1);
    EXPECT_EQ(nextRow, 2);
    app.cellFailure.reset();
    EXPECT_EQ(feed(""), StreamParser::Outcome::Ok);
    EXPECT_EQ(blockColumn, 2);
    EXPECT_EQ(text(2, 2), "2");
    EXPECT_FALSE(has(1, 3));
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
    EXPECT_EQ(nextRow, 40001);
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
    EXPECT_EQ(parser.parse(buffer, nullptr, nextRow, blockColumn), StreamParser::Outcome::Gone);
    EXPECT_EQ(buffer, "1\r\n");
}

// Cells outside the sheet (16,384 columns, 1,048,576 rows) are not sent: the
// line gives what fits, the rest is counted, and the lines after it go on.
TEST_F(StreamParserTest, CellsOutsideTheSheetAreCountedAndLaterLinesGoOn)
{
    EXPECT_EQ(feed(recordLine(16390) + "a :: b\r\n"), StreamParser::Outcome::Dropped);
    EXPECT_EQ(text(1, 1), "1");
    EXPECT_EQ(text(1, 16384), "16384");
    EXPECT_FALSE(has(1, 16385));
    EXPECT_EQ(text(2, 1), "a");
    EXPECT_EQ(counts().linesPastLastColumn, 1);
    EXPECT_EQ(counts().cellsPastLastColumn, 6);
    EXPECT_EQ(app.failedWrites, 0);
    EXPECT_TRUE(buffer.isEmpty());
    EXPECT_EQ(feed("c :: d\r\n"), StreamParser::Outcome::Ok); // nothing left to retry
    EXPECT_EQ(nextRow, 4);

    // The block column passes the last column: the time stamp and the data
    // of that block are dropped; a data line still uses its row.
    blockColumn = 16384;
    nextRow = 5;
    EXPECT_EQ(feed("x\r\n\r\n\r\n\r\ny\tz\r\n"), StreamParser::Outcome::Dropped);
    EXPECT_EQ(text(5, 16384), "x");
    EXPECT_EQ(blockColumn, 16385);
    EXPECT_EQ(nextRow, 3);
    EXPECT_EQ(counts().linesPastLastColumn, 3);
    EXPECT_EQ(counts().cellsPastLastColumn, 6 + 1 + 1);
    EXPECT_EQ(counts().cellsPastDataColumns, 1); // "z": one field a line beyond column 256

    // The last row is written, the rows past it are counted.
    blockColumn = 1;
    nextRow = StreamParser::kSheetRows;
    EXPECT_EQ(feed("last\r\n1 :: 2 3\r\nover\r\n"), StreamParser::Outcome::Dropped);
    EXPECT_EQ(text(StreamParser::kSheetRows, 1), "last");
    EXPECT_EQ(nextRow, StreamParser::kSheetRows + 3);
    EXPECT_EQ(counts().linesPastLastRow, 2);
    EXPECT_EQ(counts().cellsPastLastRow, 4);
    EXPECT_EQ(app.failedWrites, 0);
    EXPECT_TRUE(buffer.isEmpty());
}

// A write the spreadsheet refuses for any reason but busy or closed costs
// only the cells it carried: the rest of the batch is written, nothing is
// retried, and "closed" is never reported.
TEST_F(StreamParserTest, RefusedCellsAreDroppedAndNotRetried)
{
    app.lastColumn = 3; // a smaller sheet than the parser knows of
    EXPECT_EQ(feed("1\r\n1\t2\t3\t4\r\n3\r\n"), StreamParser::Outcome::Dropped);
    EXPECT_EQ(text(1, 1), "1");
    EXPECT_FALSE(has(2, 1));
    EXPECT_EQ(text(3, 1), "3");
    EXPECT_EQ(counts().linesRefused, 1);
    EXPECT_EQ(counts().cellsRefused, 4);
    EXPECT_TRUE(buffer.isEmpty());
    const int failed = app.failedWrites;
    EXPECT_EQ(feed("5\r\n"), StreamParser::Outcome::Ok);
    EXPECT_EQ(app.failedWrites, failed);
    EXPECT_EQ(nextRow, 5);

    // A time stamp refused is dropped the same way; the block still opens.
    app.lastColumn = 1;
    EXPECT_EQ(feed("\r\n\r\n\r\n6\r\n"), StreamParser::Outcome::Dropped);
    EXPECT_EQ(blockColumn, 2);
    EXPECT_EQ(counts().linesRefused, 3);
    EXPECT_EQ(counts().cellsRefused, 4 + 1 + 1);
    EXPECT_EQ(counts().cellsWritten, 3); // "1", "3" and "5", each once though "1" went twice
}

// Text without a line end is kept only up to the line limit: past it the
// line is dropped whole, up to its CR LF, whatever the pieces it comes in.
TEST_F(StreamParserTest, OverlongLineIsDroppedWholeAndTheBufferStaysBounded)
{
    const QByteArray kilobyte(1024, 'a');
    for (int i = 0; i < 1024; ++i)
        ASSERT_EQ(feed(kilobyte), StreamParser::Outcome::Ok);
    EXPECT_EQ(buffer.size(), StreamParser::kMaxLineLength); // at the limit: still a line
    EXPECT_EQ(feed("b\r"), StreamParser::Outcome::Dropped);
    EXPECT_EQ(buffer, "\r"); // the CR may be the start of the line end
    for (int i = 0; i < 1024; ++i) {
        feed(kilobyte + "\r");
        ASSERT_LE(buffer.size(), 1);
    }
    EXPECT_EQ(feed("\nnext\r\n"), StreamParser::Outcome::Ok); // nothing more to drop
    EXPECT_EQ(text(2, 1), "next");                            // the dropped line used row 1
    EXPECT_FALSE(has(1, 1));
    EXPECT_EQ(app.writes.size(), 1);
    EXPECT_EQ(counts().linesTooLong, 1);
    EXPECT_EQ(counts().bytesTooLong, StreamParser::kMaxLineLength + 1 + 1024 * 1025);

    // The same line arriving whole is dropped the same way; one byte less is
    // a line like any other.
    EXPECT_EQ(feed(QByteArray(StreamParser::kMaxLineLength + 1, 'c') + "\r\n"
                   + QByteArray(StreamParser::kMaxLineLength, 'd') + "\r\n"),
              StreamParser::Outcome::Dropped);
    EXPECT_FALSE(has(3, 1));
    EXPECT_EQ(text(4, 1).size(), StreamParser::kMaxLineLength);
    EXPECT_EQ(counts().linesTooLong, 2);
    EXPECT_EQ(nextRow, 5);
}

// A line too big for one call goes in pieces within the call limits; a busy
// spreadsheet in the middle does not make the pieces written go again.
TEST_F(StreamParserTest, BigLineIsWrittenInBoundedPiecesThatAreNotRepeated)
{
    int calls = 0;
    app.onWrite = [&] {
        app.cellFailure.reset();
        if (++calls == 2)
            app.cellFailure = SpreadsheetError::Kind::Busy;
    };
    // 16,384 tokens of 8 characters: 128 KiB of text in one line.
    EXPECT_EQ(feed(recordLine(16384, 8)), StreamParser::Outcome::Busy);
    EXPECT_EQ(feed(""), StreamParser::Outcome::Ok);
    qsizetype cells = 0;
    std::int32_t column = 1;
    for (const auto &write : app.writes) {
        qsizetype chars = 0;
        for (const CellValue &v : write.values)
            chars += std::get<QString>(v).size();
        EXPECT_LE(chars, StreamParser::kBatchChars);
        EXPECT_EQ(write.column, column); // in order, none twice
        column += write.values.size();
        cells += write.values.size();
    }
    EXPECT_EQ(cells, 16384);
    EXPECT_GE(app.writes.size(), 2);
    EXPECT_EQ(text(1, 16384), "ttt16384");
    EXPECT_EQ(nextRow, 2);

    // One cell longer than a call carries goes alone.
    app.onWrite = nullptr;
    app.writes.clear();
    feed("x\t" + QByteArray(StreamParser::kBatchChars + 1, 'y') + "\tz\r\n");
    ASSERT_EQ(app.writes.size(), 3);
    EXPECT_EQ(app.writes[1].values.size(), 1);
    EXPECT_EQ(text(2, 3), "z");
}

// A write that outlives its time limit is not sent again: the parser waits
// for its end (busy meanwhile), then goes on after it.
TEST_F(StreamParserTest, LateWriteIsWaitedForNotSentAgain)
{
    bool late = true;
    app.timeOut = [&] { return std::exchange(late, false); };
    EXPECT_EQ(feed("1\r\n2\r\n"), StreamParser::Outcome::Busy);
    EXPECT_EQ(feed("3\r\n"), StreamParser::Outcome::Busy);
    EXPECT_EQ(app.failedWrites, 1); // nothing sent while it runs
    EXPECT_EQ(nextRow, 1);
    app.finishLateWrite(true);
    EXPECT_EQ(feed(""), StreamParser::Outcome::Ok);
    EXPECT_EQ(app.writes.size(), 3); // rows 1 and 2 once, then row 3
    EXPECT_EQ(text(3, 1), "3");
    EXPECT_EQ(nextRow, 4);
    EXPECT_EQ(counts().lateWrites, 1);
    EXPECT_TRUE(buffer.isEmpty());

    // A late time stamp opens its block once; a late write that failed goes again.
    late = true;
    EXPECT_EQ(feed("\r\n\r\n\r\n4\r\n"), StreamParser::Outcome::Busy);
    EXPECT_EQ(blockColumn, 1);
    app.finishLateWrite(true);
    late = true;
    EXPECT_EQ(feed(""), StreamParser::Outcome::Busy); // the stamp is done; "4" is late now
    EXPECT_EQ(blockColumn, 2);
    app.finishLateWrite(false);
    EXPECT_EQ(feed(""), StreamParser::Outcome::Ok);
    EXPECT_EQ(text(2, 2), "4");
    EXPECT_FALSE(has(1, 3));
    EXPECT_EQ(counts().lateWrites, 2);
    EXPECT_EQ(counts().cellsWritten, app.cellsWritten); // late ones once, the failed one not
}

TEST(timeOfDayHours, RoundsToWholeSecondsHalvesToEven)
{
    EXPECT_DOUBLE_EQ(StreamParser::timeOfDayHours(QTime(14, 30, 0)), 14.5);
    EXPECT_DOUBLE_EQ(StreamParser::timeOfDayHours(QTime(0, 0, 0, 500)), 0.0);
    EXPECT_DOUBLE_EQ(StreamParser::timeOfDayHours(QTime(0, 0, 1, 500)), 2.0 / 3600);
    EXPECT_DOUBLE_EQ(StreamParser::timeOfDayHours(QTime(0, 0, 2, 501)), 3.0 / 3600);
    EXPECT_DOUBLE_EQ(StreamParser::timeOfDayHours(QTime(23, 59, 59, 500)), 24.0);
}

} // namespace
