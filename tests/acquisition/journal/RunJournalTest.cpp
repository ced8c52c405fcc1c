// The run journal: the bytes of a run kept exactly, read back piece by piece
// with their times, its checkpoints, and the backlog of a paused run.
#include "JournalBacklog.h"
#include "JournalCheckpoints.h"
#include "JournalReader.h"
#include "RunCatalog.h"
#include "RunFiles.h"
#include "RunJournal.h"
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
    ASSERT_EQ(journal.open(dir.path() + "/runs", kStart, 5), std::nullopt);
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
    ASSERT_EQ(journal.open(dir.path(), kStart, 5), std::nullopt);
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
    ASSERT_EQ(first.open(dir.path(), kStart, 1), std::nullopt);
    ASSERT_EQ(second.open(dir.path(), kStart, 1), std::nullopt);
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
        {"# halvern run journal 1\n3 2026-12-07T14:30:00.000\n", {QDateTime(), t0}},               // not from 0
        {"# halvern run journal 1\n0 2026-12-07T14:30:00.000\n5 yesterday\n", {t0}},               // no time
        {"# halvern run journal 1\n0 2026-12-07T14:30:00.000\n5 2026-13-07T14:30:01.000\n", {t0}}, // no month 13
        {"# halvern run journal 1\n0 2026-12-07T14:30:00.000\n5 2026-12-07T14:30:01.0000\n", {t0}},
        {"# halvern run journal 1\n0 2026-12-07T14:30:00.000\n5 2026-12-07T14:3/:01.000\n",
         {t0}}, // not a digit, though in range
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
    EXPECT_NE(journal.open(dir.path() + "/file/runs", kStart, 1), std::nullopt);
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
    ASSERT_EQ(journal.open(disk.path() + "/runs", kStart, 1), std::nullopt);
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
    ASSERT_EQ(journal.open(dir.path(), kStart, 1), std::nullopt);
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
