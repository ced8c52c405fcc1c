// The one way from received text into the sheet: however the text is cut
// into pieces (a tick's worth live, gathered in a replay), the same cells,
// and a line the port broke off is dropped alike.
#include "FakeSpreadsheet.h"
#include "SheetFeeder.h"
#include "TextPrinters.h"

#include <gtest/gtest.h>

namespace {

// Gives `app` an active workbook to write into.
void openBook(FakeSpreadsheetApp &app)
{
    const auto book = std::make_shared<FakeWorkbook>(&app, QStringLiteral("/tmp/spreadsheet.xls"));
    app.books.append(book);
    app.setActive(book);
}

struct Fed {
    QMap<QString, FakeWorkbook::Cells> sheets;
    std::int64_t linesHandled = 0;
    std::int64_t rowsUsed = 0;
    StreamCounts counts;
    QByteArray pending;
};

// Gives `pieces` to a feeder, writing after each, into a fresh workbook.
Fed feed(const QList<QByteArray> &pieces)
{
    FakeSpreadsheetApp app;
    openBook(app);
    SheetFeeder feeder([] { return QTime(9, 15, 0); });
    for (const QByteArray &piece : pieces) {
        feeder.receive(piece);
        feeder.write(&app);
    }
    return {app.activeBook()->sheets, feeder.linesHandled(), feeder.rowsUsed(), feeder.counts(), feeder.pending()};
}

QList<QByteArray> cut(const QByteArray &text, qsizetype size)
{
    QList<QByteArray> pieces;
    for (qsizetype at = 0; at < text.size(); at += size)
        pieces.append(text.mid(at, size));
    return pieces;
}

TEST(SheetFeeder, TheSameTextInAnyPiecesMakesTheSameCells)
{
    const QByteArray text = QByteArray("7 :: 1 = 2\r\n5.1\t5.2\r\n\r\n\r\n\r\n6\t\t8\r\n", 33)
                            + QByteArray("a\0b\x80\xff :: z\r\n\r\n\r\n\r\n", 18) + "9 :: 1\r\n\r\nunfinished";
    const Fed whole = feed({text});
    EXPECT_EQ(whole.linesHandled, 12); // a block separator is three
    EXPECT_EQ(whole.rowsUsed, 3);
    EXPECT_EQ(whole.pending, "unfinished");
    EXPECT_EQ(whole.counts.cellsWritten, 15);
    for (const qsizetype size : {1, 2, 3, 7, 64}) {
        SCOPED_TRACE(size);
        const Fed pieces = feed(cut(text, size));
        EXPECT_EQ(pieces.sheets, whole.sheets);
        EXPECT_EQ(pieces.linesHandled, whole.linesHandled);
        EXPECT_EQ(pieces.rowsUsed, whole.rowsUsed);
        EXPECT_EQ(pieces.counts.cellsWritten, whole.counts.cellsWritten);
        EXPECT_EQ(pieces.pending, whole.pending);
    }
}

TEST(SheetFeeder, ABlockIsStampedWhenTheBytesThatCompleteItsSeparatorArrivedHoweverLateItIsWritten)
{
    struct Case {
        const char *name;
        bool writeEachPiece; // live, an idle office; else a pause's backlog or a replay
        std::int32_t rowsPerCall;
    };
    const Case cases[] = {{"written as it comes", true, StreamParser::kBatchRows},
                          {"written later, in one", false, StreamParser::kBatchRows},
                          {"written later, a row a call", false, 1}};
    const auto hours = [](const QTime &t) { return CellValue(StreamParser::timeOfDayHours(t)); };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeSpreadsheetApp app;
        openBook(app);
        SheetFeeder feeder([] { return QTime(23, 0, 0); }); // the time of writing: never a stamp here
        StreamParser::Limits limits;
        limits.callRows = c.rowsPerCall;
        feeder.setLimits(limits);
        const QList<std::pair<QByteArray, QTime>> pieces = {
            {"1\r\n\r\n", QTime(9, 0, 1)},
            {"\r\n\r", QTime(9, 0, 2)},
            {"\n2\r\n\r\n\r\n\r\n3\r\n", QTime(9, 0, 3)}, // completes one separator, holds a second
            {"\r\n\r\n\r\n", QTime(9, 0, 4, 600)},
        };
        for (const auto &[bytes, arrived] : pieces) {
            feeder.receive(bytes, arrived);
            if (c.writeEachPiece)
                feeder.write(&app);
        }
        feeder.write(&app);
        EXPECT_EQ(app.activeBook()->cell(1, 2), hours(QTime(9, 0, 3)));
        EXPECT_EQ(app.activeBook()->cell(1, 3), hours(QTime(9, 0, 3)));
        EXPECT_EQ(app.activeBook()->cell(1, 4), hours(QTime(9, 0, 5))); // rounded to the second
        EXPECT_EQ(app.activeBook()->text(2, 3), "3");
        EXPECT_TRUE(feeder.pending().isEmpty());
    }
}

TEST(SheetFeeder, ALineTheLostPortBrokeOffIsDroppedAndItsRowGoesToTheNext)
{
    struct Case {
        const char *name;
        QByteArray before; // received when the port was lost
        QByteArray after;  // received once it is back
        bool broken;
        std::int64_t linesHandled;
    };
    const Case cases[] = {
        {"in its middle", "1\r\n8", "9\r\n", true, 2},
        {"between CR and LF: the LF ends it", "1\r\n8\r", "\n9\r\n", true, 3},
        {"at a line end: nothing to drop", "1\r\n", "9\r\n", false, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeSpreadsheetApp app;
        openBook(app);
        SheetFeeder feeder;
        feeder.receive(c.before);
        feeder.write(&app);
        EXPECT_EQ(feeder.breakLine(), c.broken);
        feeder.receive(c.after);
        feeder.write(&app);
        EXPECT_EQ(app.activeBook()->text(1, 1), "1");
        EXPECT_EQ(app.activeBook()->text(2, 1), "9");
        EXPECT_EQ(feeder.linesHandled(), c.linesHandled);
        EXPECT_EQ(feeder.brokenLinesDropped(), c.broken ? 1 : 0);
        EXPECT_TRUE(feeder.pending().isEmpty());
    }
}

// An application that has no room for another sheet.
class NoSheetApp : public FakeSpreadsheetApp {
public:
    QString addSheet() override { throw SpreadsheetError(SpreadsheetError::Kind::Failed, "no room for a sheet"); }
};

TEST(SheetFeeder, AFullSheetGoesOnInANewOneOrCountsTheRestLostWhenNoneCanBeAdded)
{
    const std::int64_t lines = StreamParser::kSheetRows + 2;
    const QByteArray text = QByteArray("7\r\n").repeated(lines);

    FakeSpreadsheetApp app;
    app.keepCells = false;
    openBook(app);
    SheetFeeder feeder;
    feeder.receive(text);
    feeder.write(&app); // up to the last row; the rest waits for a new sheet
    EXPECT_TRUE(feeder.sheetFilled());
    feeder.write(&app);
    EXPECT_FALSE(feeder.sheetFilled());
    EXPECT_EQ(app.addedSheets.size(), 1);
    EXPECT_EQ(feeder.sheets(), 2);
    EXPECT_EQ(feeder.rowsUsed(), lines);
    EXPECT_EQ(feeder.linesHandled(), lines);
    EXPECT_TRUE(feeder.sheetFailure().isEmpty());

    NoSheetApp full;
    full.keepCells = false;
    openBook(full);
    SheetFeeder refused;
    refused.receive(text);
    refused.write(&full);
    EXPECT_EQ(refused.write(&full), StreamParser::Outcome::Dropped);
    EXPECT_EQ(refused.sheetFailure(), "no room for a sheet");
    EXPECT_EQ(refused.counts().linesPastLastRow, 2);
    EXPECT_EQ(refused.linesHandled(), lines);
    EXPECT_EQ(refused.sheets(), 1);
}

TEST(SheetFeeder, ADrainWritesOnOverAFullSheetAndEndsAtTheFirstFailureWithTheRestWaiting)
{
    const QByteArray text = QByteArray("7\r\n").repeated(StreamParser::kSheetRows + 2) + "unfinished";
    FakeSpreadsheetApp app;
    app.keepCells = false;
    openBook(app);
    SheetFeeder feeder;
    feeder.receive(text);
    EXPECT_FALSE(feeder.drain(app, std::chrono::milliseconds(0)).has_value());
    EXPECT_EQ(feeder.sheets(), 2);
    EXPECT_EQ(feeder.pending(), "unfinished");

    NoSheetApp full;
    full.keepCells = false;
    openBook(full);
    SheetFeeder refused;
    refused.receive(text);
    const std::optional<Failure> noSheet = refused.drain(full, std::chrono::milliseconds(0));
    ASSERT_TRUE(noSheet.has_value());
    EXPECT_EQ(noSheet->reason, "no room for a sheet");

    // A spreadsheet gone, or busy past the limit: the lines stay waiting.
    struct Case {
        bool gone;
        const char *reason;
    };
    for (const Case &c : {Case{true, "the spreadsheet application has gone"},
                          Case{false, "the spreadsheet application stayed busy for 1 s"}}) {
        FakeSpreadsheetApp stuck;
        openBook(stuck);
        stuck.gone = c.gone;
        stuck.timeOut = [] { return true; };
        SheetFeeder waiting;
        waiting.receive("1\r\n2\r\n");
        const std::optional<Failure> failure = waiting.drain(stuck, std::chrono::milliseconds(1000));
        ASSERT_TRUE(failure.has_value()) << c.reason;
        EXPECT_EQ(failure->reason, c.reason);
        EXPECT_EQ(waiting.linesHandled(), 0) << c.reason;
    }
}

} // namespace
