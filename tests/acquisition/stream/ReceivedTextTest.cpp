// The received text as the "Received text" window shows it, fed as a run
// feeds it: the bytes, then the real parser telling where each line went.
#include "BrokenLine.h"
#include "FakeSpreadsheet.h"
#include "QStringPrinter.h"
#include "ReceivedText.h"
#include "StreamParser.h"

#include <gtest/gtest.h>

namespace {

class ReceivedTextTest : public ::testing::Test {
protected:
    ReceivedTextTest() : parser([] { return QTime(14, 30); })
    {
        auto book = std::make_shared<FakeWorkbook>(&app, QStringLiteral("/tmp/spreadsheet.xls"));
        app.books.append(book);
        app.setActive(book);
        app.keepCells = false;
        parser.setObserver(&text);
    }

    void feed(const QByteArray &bytes)
    {
        text.textArrived(bytes);
        buffer += bytes;
        parser.parse(buffer, &app, row, column);
    }
    QStringList marks() const
    {
        QStringList out;
        for (qsizetype i = 0; i < text.lineCount(); ++i)
            out.append(ReceivedText::markText(text.line(i)));
        return out;
    }
    QString lastMark() const { return ReceivedText::markText(text.line(text.lineCount() - 1)); }

    FakeSpreadsheetApp app;
    StreamParser parser;
    ReceivedText text;
    QByteArray buffer;
    std::int32_t row = 1;
    std::int16_t column = 1;
};

TEST_F(ReceivedTextTest, EachKindOfLineIsMarkedWithWhereItWent)
{
    StreamParser::Limits limits;
    limits.sheetRows = 6;
    limits.maxLineLength = 20;
    parser.setLimits(limits);
    feed("1 :: 2 = 3\r\n"
         "5.1\t5.2\r\n"
         "\r\n\r\n\r\n"
         "6.1\r\n"
         "123456789012345678901234\r\n"
         "7.1\r\n"
         "7.2\r\n"
         "7.3\r\n"
         "7.4\r\n"
         "waits for its end");
    EXPECT_EQ(marks(), QStringList({"row 1", "block 1, row 2", "", "", "time stamp, column 2", "block 2, row 2",
                                    "dropped: longer than 1 MiB", "block 2, row 4", "block 2, row 5", "block 2, row 6",
                                    "left out: past the sheet", ""}));
}

TEST_F(ReceivedTextTest, LinesWaitingForABusySpreadsheetAreMarkedOnceWritten)
{
    app.cellFailure = SpreadsheetError::Kind::Busy;
    feed("a :: 1\r\n2\r\n");
    EXPECT_EQ(marks(), QStringList({"", ""}));
    app.cellFailure.reset();
    feed("3\r\n");
    EXPECT_EQ(marks(), QStringList({"row 1", "block 1, row 2", "block 1, row 3"}));

    // A write that outlives its time limit: its lines are marked once it is
    // known to have landed, a time stamp too.
    bool late = true;
    app.timeOut = [&] { return std::exchange(late, false); };
    feed("4\r\n\r\n\r\n\r\n6\r\n");
    EXPECT_EQ(lastMark(), "");
    app.finishLateWrite(true);
    late = true;
    feed("");
    EXPECT_EQ(marks().mid(3), QStringList({"block 1, row 4"}) + QStringList(4, ""));
    app.finishLateWrite(true);
    feed("");
    EXPECT_EQ(marks().mid(3), QStringList({"block 1, row 4", "", "", "time stamp, column 2", "block 2, row 2"}));

    app.cellFailure = SpreadsheetError::Kind::Failed; // refused, neither busy nor closed
    feed("7\r\n");
    EXPECT_EQ(lastMark(), "block 2, row 3 (refused)");
}

TEST_F(ReceivedTextTest, AnEndlessLineIsMarkedDroppedBeforeItsEndAndTheNextLineStillFits)
{
    StreamParser::Limits limits;
    limits.maxLineLength = 64;
    parser.setLimits(limits);
    feed(QByteArray(100, 'x'));
    EXPECT_EQ(marks(), QStringList({"dropped: longer than 1 MiB"}));
    feed(QByteArray(50, 'x') + "\r\n8\r\n");
    EXPECT_EQ(marks(), QStringList({"dropped: longer than 1 MiB", "block 1, row 2"}));
    EXPECT_EQ(text.line(0).size, 152);
}

TEST_F(ReceivedTextTest, ControlCharactersAndHighBytesAreShownVisibly)
{
    const QByteArray bytes("a\tb\rc\x1b\xb5 d\r\n", 11);
    EXPECT_EQ(ReceivedText::visibleText(bytes), QString::fromUtf8("a\u2192b\u2190c<1B><B5> d\u2190\u2193"));
    EXPECT_EQ(ReceivedText::hexText("a\t\r\n"), "61 09 0D 0A");
}

TEST_F(ReceivedTextTest, KeepsTheLastLinesAndBytesAndStillMarksTheRightLines)
{
    app.cellFailure = SpreadsheetError::Kind::Busy; // every line waits meanwhile
    QByteArray burst;
    for (int i = 1; i <= 6000; ++i)
        burst += QByteArray::number(i) + "\r\n";
    feed(burst);
    app.cellFailure.reset();
    feed("6001\r\n");
    ASSERT_EQ(text.lineCount(), ReceivedText::kMaxLines);
    EXPECT_EQ(text.firstId(), 1001);
    EXPECT_EQ(text.line(0).bytes, "1002\r\n");
    EXPECT_EQ(ReceivedText::markText(text.line(0)), "block 1, row 1002");
    EXPECT_EQ(lastMark(), "block 1, row 6001");

    // Long lines: each keeps its first part for showing, and all of them
    // together no more than the byte limit.
    const QByteArray longLine = QByteArray(20000, 'y') + "\r\n";
    feed(longLine.repeated(200));
    EXPECT_LE(text.bytesKept(), ReceivedText::kMaxBytes);
    EXPECT_GT(text.bytesKept(), ReceivedText::kMaxBytes - ReceivedText::kLineKept);
    EXPECT_EQ(text.line(text.lineCount() - 1).bytes.size(), ReceivedText::kLineKept);
    EXPECT_TRUE(
        ReceivedText::shownText(text.line(text.lineCount() - 1), false)
            .endsWith(QString::fromUtf8("\u2026 %1 more bytes").arg(longLine.size() - ReceivedText::kLineKept)));
    EXPECT_EQ(lastMark(), "block 1, row 6201");
}

TEST_F(ReceivedTextTest, ClearAndABrokenOffLineKeepTheMarksOnTheirLines)
{
    app.cellFailure = SpreadsheetError::Kind::Busy;
    feed("1\r\n2\r\n3.");
    text.clear();
    EXPECT_EQ(text.lineCount(), 1); // the unfinished line, emptied
    app.cellFailure.reset();
    feed("5\r\n");
    EXPECT_EQ(marks(), QStringList({"block 1, row 3"}));
    EXPECT_EQ(text.line(0).bytes, "5\r\n");

    // The port is lost in the middle of a line: that line is left out, and
    // the next one gets the row it would have had.
    feed("4.");
    text.lineBrokenOff();
    BrokenLine().drop(buffer, parser);
    feed("6.1\r\n");
    EXPECT_EQ(marks(), QStringList({"block 1, row 3", "left out: the port was lost", "block 1, row 4"}));
}

} // namespace
