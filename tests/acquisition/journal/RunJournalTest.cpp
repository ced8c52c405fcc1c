// The run journal: the bytes of a run kept exactly, read back piece by piece
// with their times, and a run rebuilt from them cell for cell.
#include "AcquisitionRun.h"
#include "FakeAcquisitionView.h"
#include "FakeEmulatorFeed.h"
#include "FakeSerialComm.h"
#include "FakeSpreadsheet.h"
#include "JournalBacklog.h"
#include "JournalCheckpoints.h"
#include "JournalReader.h"
#include "MacroSettings.h"
#include "RecordingMessageBoxes.h"
#include "RunCatalog.h"
#include "RunFiles.h"
#include "RunJournal.h"
#include "RunReplay.h"
#include "FileContents.h"
#include "FileDigest.h"
#include "TmpfsMount.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

const QDateTime kStart(QDate(2026, 12, 7), QTime(14, 30, 0));

QByteArray everyByteValue()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes += char(i);
    return bytes;
}

struct ReadBack {
    QByteArray bytes;
    QList<QDateTime> times;
    QList<bool> gaps;
    QString error;
};

ReadBack readBack(const QString &raw)
{
    ReadBack out;
    JournalReader reader;
    if (const std::optional<Failure> unread = reader.open(raw)) {
        out.error = unread->reason;
        return out;
    }
    JournalReader::Piece piece;
    while (reader.next(piece)) {
        out.bytes += piece.bytes;
        out.times += piece.arrived;
        out.gaps += piece.afterGap;
    }
    if (reader.failure())
        out.error = reader.failure()->reason;
    return out;
}

} // namespace

TEST(RunJournal, KeepsEveryByteWithItsArrivalAndReadsItBackInPieces)
{
    QTemporaryDir dir;
    RunJournal journal;
    ASSERT_TRUE(journal.open(dir.path() + "/runs", kStart, 5)) << journal.problem().toStdString();
    EXPECT_TRUE(journal.rawPath().endsWith("/runs/2026-12-07_14-30-00_COM5.raw"));

    const QByteArray big(JournalReader::kMaxPiece + 10, 'x');
    journal.append(everyByteValue(), kStart.addMSecs(100));
    journal.append(QByteArray(), kStart.addMSecs(150)); // nothing arrived: no note
    journal.append("1 :: 2\r\n", kStart.addMSecs(200));
    journal.noteGap();
    journal.append(big, kStart.addMSecs(300));
    journal.append("3 :: 4\r\n", kStart.addMSecs(400));
    journal.close();
    EXPECT_EQ(journal.bytes(), 256 + 8 + big.size() + 8);
    EXPECT_EQ(journal.lines(), 2); // the 256 values hold LF before CR, no line end

    EXPECT_EQ(readFile(journal.rawPath()), everyByteValue() + "1 :: 2\r\n" + big + "3 :: 4\r\n");
    const ReadBack back = readBack(journal.rawPath());
    EXPECT_TRUE(back.error.isEmpty()) << back.error.toStdString();
    EXPECT_EQ(back.bytes, readFile(journal.rawPath()));
    // The long piece comes in two parts with the same time.
    EXPECT_EQ(back.times, (QList<QDateTime>{kStart.addMSecs(100), kStart.addMSecs(200), kStart.addMSecs(300),
                                            kStart.addMSecs(300), kStart.addMSecs(400)}));
    // Only the first part of the piece after the gap is marked, nothing after it.
    EXPECT_EQ(back.gaps, (QList<bool>{false, false, true, false, false}));
}

TEST(RunJournal, ASyncAfterNewBytesNotesACheckpointThatReadersPassOverAndTheCheckFinds)
{
    QTemporaryDir dir;
    RunJournal journal;
    ASSERT_TRUE(journal.open(dir.path(), kStart, 5));
    journal.append("1 :: 2\r\n", kStart.addMSecs(100));
    journal.syncIfDue(kStart.addMSecs(1000));
    journal.syncIfDue(kStart.addMSecs(2000)); // nothing new: no second checkpoint
    EXPECT_EQ(journal.checkpoints(), 1);
    journal.append("3 :: 4\r\n", kStart.addMSecs(2100));
    journal.close(); // the last bytes get theirs
    EXPECT_EQ(journal.checkpoints(), 2);
    const QString raw = journal.rawPath();

    JournalReader reader;
    ASSERT_EQ(reader.open(raw), std::nullopt);
    JournalReader::Piece piece;
    QList<QDateTime> times;
    while (reader.next(piece))
        times += piece.arrived;
    EXPECT_EQ(times, (QList<QDateTime>{kStart.addMSecs(100), kStart.addMSecs(2100)}));
    EXPECT_TRUE(reader.damage().isEmpty()) << reader.damage().toStdString();
    EXPECT_EQ(RunCatalog::lastArrival(raw), kStart.addMSecs(2100));

    const JournalCheckpoints::Outcome intact = JournalCheckpoints::check(raw);
    EXPECT_EQ(intact.count, 2);
    EXPECT_EQ(intact.matched, 2);
    ASSERT_TRUE(intact.lastMatched);
    EXPECT_EQ(intact.lastMatched->rawOffset, 16);
    EXPECT_EQ(intact.lastMatched->rawSha256, journal.rawSha256());

    // A time before the second checkpoint changed, then the bytes cut short.
    const QString timesPath = RunFiles::timesPathFor(raw);
    writeFile(timesPath, readFile(timesPath).replace("14:30:02.100", "14:30:02.200"));
    const JournalCheckpoints::Outcome retimed = JournalCheckpoints::check(raw);
    EXPECT_EQ(retimed.matched, 1);
    EXPECT_TRUE(retimed.fault.contains("the times before it were changed")) << retimed.fault.toStdString();
    QFile::resize(raw, 12);
    EXPECT_TRUE(JournalCheckpoints::check(raw).cutShort);
}

TEST(RunJournal, ASecondRunInTheSameSecondGetsItsOwnFiles)
{
    QTemporaryDir dir;
    RunJournal first, second;
    ASSERT_TRUE(first.open(dir.path(), kStart, 1));
    ASSERT_TRUE(second.open(dir.path(), kStart, 1));
    EXPECT_NE(first.rawPath(), second.rawPath());
}

TEST(RunJournal, WithoutItsCompanionTheBytesStillReadBack)
{
    QTemporaryDir dir;
    const QString raw = dir.path() + "/lost.raw";
    writeFile(raw, "a :: 1\r\nb :: 2\r\n");
    const ReadBack back = readBack(raw);
    EXPECT_TRUE(back.error.isEmpty());
    EXPECT_EQ(back.bytes, "a :: 1\r\nb :: 2\r\n");
    EXPECT_FALSE(back.times.value(0).isValid());
}

TEST(RunJournal, ADamagedCompanionStillGivesEveryByteAndTheGoodTimesOnlyAMissingRawFileIsRefused)
{
    QTemporaryDir dir;
    const QString raw = dir.path() + "/run.raw";
    writeFile(raw, "0123456789");
    const QDateTime t0 = kStart, t1 = kStart.addSecs(1);
    struct Case {
        QByteArray times;
        QList<QDateTime> pieceTimes;
        bool damaged = true;
    };
    const QList<Case> cases{
        {"not a journal\n", {QDateTime()}},
        {"# halvern run journal 1\n3 2026-12-07T14:30:00.000\n", {QDateTime(), t0}},                // not from 0
        {"# halvern run journal 1\n0 2026-12-07T14:30:00.000\n5 yesterday\n", {t0}},                // no time
        {"# halvern run journal 1\n0 2026-12-07T14:30:00.000\n99 2026-12-07T14:30:01.000\n", {t0}}, // past the end
        {"# halvern run journal 1\n5 2026-12-07T14:30:00.000\n0 2026-12-07T14:30:01.000\n", {QDateTime(), t0}},
        {"# halvern run journal 1\n0 2026-12-07T14:30:00.000\n" + QByteArray(100000, 'z')
             + "\n5 2026-12-07T14:30:01.000\n",
         {t0, t1}}, // a long garbage line between good ones
        // A crash cut the last note before its newline: the note still counts.
        {"# halvern run journal 1\n0 2026-12-07T14:30:00.000\n5 2026-12-07T14:30:01.000", {t0, t1}, false},
    };
    for (const Case &c : cases) {
        writeFile(dir.path() + "/run.times", c.times);
        const ReadBack back = readBack(raw);
        EXPECT_TRUE(back.error.isEmpty()) << back.error.toStdString();
        EXPECT_EQ(back.bytes, "0123456789") << c.times.left(60).constData();
        EXPECT_EQ(back.times, c.pieceTimes) << c.times.left(60).constData();
        JournalReader reader;
        ASSERT_EQ(reader.open(raw), std::nullopt);
        JournalReader::Piece piece;
        while (reader.next(piece)) {
        }
        EXPECT_EQ(!reader.damage().isEmpty(), c.damaged) << c.times.left(60).constData();
    }
    EXPECT_NE(JournalReader().open(dir.path() + "/none.raw"), std::nullopt);
}

TEST(RunJournal, AFolderThatCannotBeWrittenIsToldAndAppendsAreIgnored)
{
    QTemporaryDir dir;
    writeFile(dir.path() + "/file", "in the way");
    RunJournal journal;
    EXPECT_FALSE(journal.open(dir.path() + "/file/runs", kStart, 1));
    EXPECT_FALSE(journal.problem().isEmpty());
    journal.append("1\r\n", kStart);
    EXPECT_EQ(journal.bytes(), 0);
}

TEST(RunJournal, AFullDiskOrRemovedFilesAreToldAndTheJournalGoesOnWithAGapOnceItCan)
{
    QTemporaryDir dir;
    TmpfsMount disk(dir.path() + "/disk", TmpfsMount::Access::Writable, 64 << 10);
    if (!disk.isMounted())
        GTEST_SKIP() << disk.problem().toStdString();
    RunJournal journal;
    ASSERT_TRUE(journal.open(disk.path() + "/runs", kStart, 1));
    journal.append("1 :: kept\r\n", kStart.addSecs(1));
    ASSERT_TRUE(disk.fill());
    const QByteArray lost(8192, 'L');
    journal.append(lost, kStart.addSecs(2));
    journal.append(lost, kStart.addSecs(3)); // still full: the same failure
    EXPECT_TRUE(journal.failing());
    EXPECT_EQ(journal.failures(), 1);
    EXPECT_EQ(journal.incompleteSince(), kStart.addSecs(2));
    EXPECT_TRUE(journal.problem().contains(QString::fromLocal8Bit(std::strerror(ENOSPC))))
        << journal.problem().toStdString();

    QFile::remove(disk.path() + "/filler"); // space comes back
    journal.append("2 :: after\r\n", kStart.addSecs(4));
    EXPECT_FALSE(journal.failing());
    EXPECT_EQ(journal.bytesMissing(), 2 * lost.size());
    EXPECT_EQ(journal.lines(), 2);
    EXPECT_EQ(readFile(journal.rawPath()), "1 :: kept\r\n2 :: after\r\n");
    EXPECT_TRUE(readFile(journal.timesPath()).endsWith("11 2026-12-07T14:30:04.000 gap\n"));
    // The hashes kept as the files are written are those of what they hold.
    auto hashesHold = [&journal] {
        const Result<QString> raw = FileDigest::sha256(journal.rawPath());
        const Result<QString> times = FileDigest::sha256(journal.timesPath());
        return raw && times && journal.rawSha256() == *raw && journal.timesSha256() == *times;
    };
    EXPECT_TRUE(hashesHold());

    // The files removed under the run: told at the next sync, made again at the next piece.
    QDir(disk.path() + "/runs").removeRecursively();
    journal.syncIfDue(kStart.addSecs(10));
    EXPECT_TRUE(journal.failing());
    EXPECT_EQ(journal.failures(), 2);
    journal.append("3 :: new\r\n", kStart.addSecs(11));
    journal.close();
    EXPECT_FALSE(journal.failing());
    const ReadBack back = readBack(journal.rawPath());
    EXPECT_EQ(back.bytes, "3 :: new\r\n");
    EXPECT_EQ(back.times, QList<QDateTime>{kStart.addSecs(11)});
    EXPECT_EQ(journal.incompleteSince(), kStart.addSecs(2));
    EXPECT_TRUE(hashesHold());
}

TEST(JournalBacklog, HandsOutTheHeldStretchInPartsThenWhatWaitedInMemoryInArrivalOrderWithTheirSeconds)
{
    QTemporaryDir dir;
    RunJournal journal;
    ASSERT_TRUE(journal.open(dir.path(), kStart, 1));
    journal.append("before\r\n", kStart);
    JournalBacklog backlog;
    backlog.hold(journal);
    const QTime first(9, 0, 1), second(9, 0, 2), third(9, 0, 3);
    for (const QByteArray &piece : {QByteArray("12345"), QByteArray("67890")}) {
        journal.append(piece, kStart);
        backlog.arrived(piece, true, piece == "12345" ? first : second);
    }
    backlog.arrived("abc", false, third);              // the journal missed it: this and the rest wait in memory
    backlog.arrived("def", true, third.addMSecs(400)); // the same second: one stamp
    backlog.hold(journal);                             // paused again before it was caught up with: nothing changes
    EXPECT_EQ(backlog.size(), 16);
    QByteArray out;
    qsizetype largest = 0;
    QList<std::pair<QByteArray, QTime>> parts;
    while (backlog.holding()) {
        const Result<QList<JournalBacklog::Part>> taken = backlog.take(4);
        ASSERT_TRUE(taken) << taken.failure().reason.toStdString();
        qsizetype size = 0;
        for (const JournalBacklog::Part &part : *taken) {
            size += part.bytes.size();
            out += part.bytes;
            parts.append({part.bytes, part.arrived});
        }
        largest = std::max(largest, size);
    }
    EXPECT_EQ(out, "1234567890abcdef");
    EXPECT_LE(largest, 4);
    const QList<std::pair<QByteArray, QTime>> expected = {{"1234", first}, {"5", first},    {"678", second},
                                                          {"90", second},  {"abcd", third}, {"ef", third}};
    EXPECT_EQ(parts, expected);
}

// ---- The journal of a run -------------------------------------------------

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
