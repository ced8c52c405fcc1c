// The journal of a whole run: the bytes the instrument sent held exactly,
// their blocks stamped with their arrival however late they reach the sheet,
// and a journal that cannot be written never costing the run a line.
#include "AcquisitionRun.h"
#include "FakeAcquisitionView.h"
#include "FakeEmulatorFeed.h"
#include "FakeSerialComm.h"
#include "FakeSpreadsheet.h"
#include "FileContents.h"
#include "JournalReader.h"
#include "MacroSettings.h"
#include "RecordingMessageBoxes.h"
#include "RunFiles.h"
#include "RunJournal.h"
#include "RunReplay.h"
#include "TmpfsMount.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {
const QDateTime kStart(QDate(2026, 12, 7), QTime(14, 30, 0));
} // namespace

class JournalOfARun : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeFile(program.path() + "/spreadsheet.xls", "master");
        app = factory.prepare();
        run = std::make_unique<AcquisitionRun>(view, comm, factory, boxes, feed, program.path(),
                                               [this] { return clock.time(); });
        run->setJournalFolder(journals.path());
        run->setJournalClock([this] { return clock; });
    }
    void tickWith(const QByteArray &bytes, int afterMs = 100)
    {
        comm.pending += bytes;
        clock = clock.addMSecs(afterMs);
        run->tick();
    }
    enum class Delay { None, BusyOffice, Pause };
    void stampsBlocksAsTheyArrived(Delay delay);
    // The journal of the run replayed into a fresh workbook: its sheets.
    QMap<QString, FakeWorkbook::Cells> replayed(const QString &raw)
    {
        FakeSpreadsheetApp rebuilt;
        writeFile(program.path() + "/copy.xls", "master");
        rebuilt.open(program.path() + "/copy.xls");
        JournalReader reader;
        RunReplay replay(rebuilt);
        if (const std::optional<Failure> unread = reader.open(raw))
            ADD_FAILURE() << unread->reason.toStdString();
        else if (const std::optional<Failure> failure = replay.replay(reader))
            ADD_FAILURE() << failure->reason.toStdString();
        return rebuilt.activeBook()->sheets;
    }

    QTemporaryDir program;
    QTemporaryDir journals;
    QDateTime clock = kStart;
    FakeAcquisitionView view;
    FakeSerialComm comm;
    FakeEmulatorFeed feed;
    FakeSpreadsheetFactory factory;
    std::shared_ptr<FakeSpreadsheetApp> app;
    RecordingMessageBoxes boxes;
    std::unique_ptr<AcquisitionRun> run;
};

TEST_F(JournalOfARun, HoldsExactlyTheBytesAndRebuildsTheSameCells)
{
    run->start();
    ASSERT_EQ(run->state(), RunState::Running);
    // Record lines, a block with its time stamp, NUL and high bytes, a line
    // split over ticks, and an unfinished last line.
    const QList<QByteArray> ticks{"7 :: 1 = 2\r\n", QByteArray("a\0b\x80\xff :: z\r\n\r\n", 14), "\r\n\r\n4.5\t6\r\n5",
                                  "\t7\r\n", "8 :: unfinished"};
    QByteArray sent;
    for (const QByteArray &t : ticks) {
        tickWith(t);
        sent += t;
    }
    const QString raw = run->journal().rawPath();
    run->stop(MacroSettings{});

    EXPECT_EQ(readFile(raw), sent);
    const QString summary = QString::fromUtf8(readFile(run->journal().summaryPath()));
    EXPECT_TRUE(summary.contains("Bytes received: " + QString::number(sent.size()))) << summary.toStdString();
    EXPECT_TRUE(summary.contains("Lines received: 7")) << summary.toStdString();

    // The same bytes through a replay give the same cells, stamps included.
    EXPECT_EQ(replayed(raw), app->book("spreadsheet.xls")->sheets);
}

// The live writes are held back over the middle ticks, which hold
// separators (the office is busy, or the run paused); the replay gathers
// ticks in its own way. Both stamp a block with the tick its separator
// arrived in.
void JournalOfARun::stampsBlocksAsTheyArrived(Delay delay)
{
    run->start();
    // A tick a second, so every stamp is its own; separators split over
    // ticks and whole in one.
    const QList<QByteArray> ticks{
        "1\r\n2\r\n", "3\r\n\r\n",        "\r\n",   "\r\n4\r\n", "5\r\n", "6\r\n\r\n\r\n\r\n7\r\n", "8\r",
        "\n",         "9 :: 1\r\n\r\n\r", "\n\r\n", "10\r\n"};
    for (qsizetype i = 0; i < ticks.size(); ++i) {
        const bool held = i >= 2 && i <= 6;
        if (delay == Delay::BusyOffice)
            app->cellFailure = held ? std::optional(SpreadsheetError::Kind::Busy) : std::nullopt;
        if (delay == Delay::Pause && i == 2)
            run->pause();
        if (delay == Delay::Pause && i == 7)
            run->resume();
        tickWith(ticks[i], 1000);
    }
    tickWith("", 1000);
    const QString raw = run->journal().rawPath();
    run->stop(MacroSettings{});

    const auto live = app->book("spreadsheet.xls")->sheets;
    const auto stamp = [&live](int column) { return live.value("Sheet1").value({1, column}); };
    // Tick i arrives i + 1 seconds after the start; the separators are
    // completed in ticks 3, 5 and 9.
    const auto tick = [](int i) { return CellValue(StreamParser::timeOfDayHours(kStart.addSecs(i + 1).time())); };
    EXPECT_EQ(stamp(2), tick(3));
    EXPECT_EQ(stamp(3), tick(5));
    EXPECT_EQ(stamp(4), tick(9));
    EXPECT_EQ(app->book("spreadsheet.xls")->text(2, 4), "10");
    EXPECT_EQ(replayed(raw), live);
}

TEST_F(JournalOfARun, BlocksWrittenAsTheyComeAreStampedAsTheReplayStampsThem)
{
    stampsBlocksAsTheyArrived(Delay::None);
}

TEST_F(JournalOfARun, BlocksHeldByABusyOfficeKeepTheirArrivalStamps) { stampsBlocksAsTheyArrived(Delay::BusyOffice); }

TEST_F(JournalOfARun, BlocksHeldByAPauseKeepTheirArrivalStamps) { stampsBlocksAsTheyArrived(Delay::Pause); }

TEST_F(JournalOfARun, AJournalThatCannotBeWrittenDoesNotStopTheRun)
{
    writeFile(journals.path() + "/blocked", "");
    run->setJournalFolder(journals.path() + "/blocked/runs");
    run->start();
    ASSERT_EQ(run->state(), RunState::Running);
    EXPECT_TRUE(view.excelLampTip.contains("NOT being kept")) << view.excelLampTip.toStdString();
    tickWith("1 :: 2\r\n");
    EXPECT_EQ(app->writes.size(), 1);
    EXPECT_EQ(view.status, "Bytes Received: 8");
}

TEST_F(JournalOfARun, AJournalDiskThatFillsIsToldAtOnceAndAtStopAndNoLineIsLost)
{
    TmpfsMount disk(journals.path() + "/disk", TmpfsMount::Access::Writable, 64 << 10);
    if (!disk.isMounted())
        GTEST_SKIP() << disk.problem().toStdString();
    run->setJournalFolder(disk.path());
    // Lines longer than a page, so that each needs room the disk no longer has.
    auto line = [](int n) { return QByteArray::number(n) + " :: " + QByteArray(5000, 'p') + "\r\n"; };
    run->start();
    tickWith(line(1));
    ASSERT_TRUE(disk.fill());
    tickWith(line(2));
    const QString noSpace = QString::fromLocal8Bit(std::strerror(ENOSPC));
    ASSERT_EQ(view.notices.size(), 1);
    EXPECT_TRUE(view.notices[0].contains("stopped keeping the bytes at 14:30:00") && view.notices[0].contains(noSpace)
                && view.notices[0].contains("still receives every line"))
        << view.notices[0].toStdString();
    EXPECT_TRUE(view.excelLampTip.contains("kept no bytes since 14:30:00")) << view.excelLampTip.toStdString();
    tickWith(line(3));
    EXPECT_EQ(view.notices.size(), 1); // told once
    // A pause while the journal fails keeps what arrives in memory.
    run->pause();
    tickWith(line(4));
    run->resume();
    tickWith(line(5));
    run->stop(MacroSettings{});

    ASSERT_FALSE(boxes.boxes.isEmpty());
    const QString atStop = boxes.boxes[0].text;
    EXPECT_TRUE(atStop.startsWith("This run's journal is incomplete") && atStop.contains("from 14:30:00 on")
                && atStop.contains("summary cannot be written either: " + noSpace))
        << atStop.toStdString();
    for (int row = 1; row <= 5; ++row)
        EXPECT_EQ(app->book("spreadsheet.xls")->text(row, 1), QString::number(row));
}
