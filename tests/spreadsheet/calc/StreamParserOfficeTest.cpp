// The stream parser writing into a real headless LibreOffice Calc: lines
// reaching beyond the sheet, and a write that outlives its time limit.
#include "ForwardingSpreadsheetApp.h"
#include "OfficeProbe.h"
#include "OfficeWorkbook.h"
#include "StreamParser.h"
#include "WaitUntil.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>

using Outcome = StreamParser::Outcome;

namespace {

// Passes the cell writes on to the office and counts the calls made.
class CountingApp : public ForwardingSpreadsheetApp {
public:
    using ForwardingSpreadsheetApp::ForwardingSpreadsheetApp;
    void setCell(std::int32_t r, std::int32_t c, const CellValue &v) override
    {
        ++calls, ++cells;
        ForwardingSpreadsheetApp::setCell(r, c, v);
    }
    void setCells(std::int32_t r, std::int32_t c, const QList<CellValue> &v) override
    {
        ++calls, cells += v.size();
        ForwardingSpreadsheetApp::setCells(r, c, v);
    }
    void setRows(std::int32_t r, std::int32_t c, const QList<QList<CellValue>> &rows) override
    {
        ++calls;
        for (const auto &cellsOfRow : rows)
            cells += cellsOfRow.size();
        ForwardingSpreadsheetApp::setRows(r, c, rows);
    }
    int calls = 0;
    qsizetype cells = 0;
};

class StreamParserOfficeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(office.ready()) << "no office or no master workbook";
        probe = std::make_unique<OfficeProbe>(office.calc->pipeName());
    }
    Outcome feed(const QByteArray &text, SpreadsheetApp *app = nullptr)
    {
        buffer += text;
        return parser.parse(buffer, app ? app : office.app.get(), row, column);
    }
    OfficeProbe::Cell cell(int r, int c) { return probe->cell("spreadsheet.xls", 0, r, c); }

    OfficeWorkbook office;
    std::unique_ptr<OfficeProbe> probe;
    StreamParser parser{[] { return QTime(14, 30, 0); }};
    QByteArray buffer;
    std::int32_t row = 1;
    std::int16_t column = 1;
};

TEST_F(StreamParserOfficeTest, CellsBeyondTheSheetAreLeftOutAndTheStreamGoesOn)
{
    QByteArray wide = "::";
    for (int i = 1; i <= 16390; ++i)
        wide += " t" + QByteArray::number(i);
    EXPECT_EQ(feed(wide + "\r\nafter :: 1\r\n"), Outcome::Dropped);
    EXPECT_EQ(cell(1, 1).text, "t1");
    EXPECT_EQ(cell(1, 16384).text, "t16384");
    EXPECT_EQ(cell(2, 1).text, "after");
    EXPECT_EQ(parser.counts().cellsPastLastColumn, 6);

    // A block column and a row past the sheet's end.
    column = 16384;
    EXPECT_EQ(feed("x\r\n\r\n\r\n\r\ny\r\n"), Outcome::Dropped);
    EXPECT_EQ(cell(3, 16384).text, "x");
    row = StreamParser::kSheetRows;
    column = 1;
    EXPECT_EQ(feed("last\r\nover\r\n"), Outcome::Dropped);
    EXPECT_EQ(cell(StreamParser::kSheetRows, 1).text, "last");
    EXPECT_EQ(parser.counts().linesPastLastRow, 1);
    EXPECT_TRUE(buffer.isEmpty());

    // The office took none of it as a failure and writes on.
    row = 5;
    EXPECT_EQ(feed("still\r\n"), Outcome::Ok);
    EXPECT_EQ(cell(5, 1).text, "still");
    EXPECT_EQ(parser.counts().linesRefused, 0);
}

TEST_F(StreamParserOfficeTest, WriteAnsweredAfterItsLimitIsTakenAsDoneNotSentAgain)
{
    CountingApp app(office.app);
    ASSERT_EQ(feed("a :: b\r\n", &app), Outcome::Ok);
    const pid_t group = office.calc->processGroup();
    ASSERT_EQ(::kill(-group, SIGSTOP), 0);
    const int before = app.calls;
    const qsizetype cellsBefore = app.cells;
    const bool late = feed("1\r\n2\r\n", &app) == Outcome::Busy;
    const bool waiting = feed("3\r\n", &app) == Outcome::Busy;
    const int whileStopped = app.calls - before;
    ::kill(-group, SIGCONT);
    ASSERT_TRUE(late);
    EXPECT_TRUE(waiting);
    EXPECT_EQ(whileStopped, 1); // the late write only; nothing more while it ran
    EXPECT_EQ(row, 2);

    Outcome outcome = Outcome::Busy;
    ASSERT_TRUE(waitUntil([&] { return (outcome = feed("", &app)) != Outcome::Busy; }, 20000));
    EXPECT_EQ(outcome, Outcome::Ok);
    EXPECT_EQ(app.calls - before, 2); // then "3" alone
    EXPECT_EQ(app.cells - cellsBefore, 3);
    EXPECT_EQ(parser.counts().lateWrites, 1);
    EXPECT_EQ(row, 5);
    EXPECT_EQ(cell(2, 1).text, "1");
    EXPECT_EQ(cell(3, 1).text, "2");
    EXPECT_EQ(cell(4, 1).text, "3");
}

} // namespace
