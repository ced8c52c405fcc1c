// What Stop keeps, driven through the offscreen main window with the real
// port (socat pair), a real headless office and real file systems: saves the
// system refuses (a read-only mount, a full disk) are told and asked again
// until a good path saves everything; a plain name lands in the documents
// folder; more rows than ".xls" keeps are saved whole as ".xlsx" beside it;
// lines held back by a busy office are written at Stop, or rebuilt from the
// journal when the office is still stuck; a journal that cannot be written
// does not stop the run.
#include "MainWindowFixture.h"
#include "QStringPrinter.h"
#include "RunJournal.h"
#include "SavedSheet.h"
#include "StatusTexts.h"
#include "TmpfsMount.h"

#include <QDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

// Record lines "<n> :: <3n>" for n = first .. first + count - 1: two cells a row.
QByteArray recordLines(int first, int count)
{
    QByteArray text;
    for (int n = first; n < first + count; ++n)
        text += QByteArray::number(n) + " :: " + QByteArray::number(3 * n) + "\r\n";
    return text;
}

// Rows 1 .. count hold the record lines from 1 on; "" when they do, else the
// first row that does not.
std::string missingRecordRow(const SavedSheet &sheet, int count)
{
    for (int n = 1; n <= count; ++n)
        if (sheet.at(n, 1) != QString::number(n) || sheet.at(n, 2) != QString::number(3 * n))
            return "row " + std::to_string(n) + ": " + sheet.at(n, 1).toStdString() + ", "
                   + sheet.at(n, 2).toStdString();
    return sheet.at(count + 1, 1).isEmpty() ? "" : "more rows than sent";
}

QString systemReason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

class StopSaveTest : public MainWindowFixture {
protected:
    QStringList boxTexts() const
    {
        QStringList texts;
        for (const RecordingMessageBoxes::Box &box : rig.boxes.boxes)
            texts << box.text;
        return texts;
    }
};

TEST_F(StopSaveTest, SavesTheSystemRefusesAreToldAndAskedAgainUntilAGoodPathSavesEverything)
{
    TmpfsMount readOnly(rig.outputFile("read-only"), TmpfsMount::Access::ReadOnly, 1 << 20);
    if (!readOnly.isMounted())
        GTEST_SKIP() << readOnly.problem().toStdString();
    TmpfsMount full(rig.outputFile("full"), TmpfsMount::Access::Writable, 64 << 10);
    if (!full.isMounted())
        GTEST_SKIP() << full.problem().toStdString();
    ASSERT_TRUE(full.fill());

    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    ASSERT_TRUE(rig.sendWritten(recordLines(1, 40)));
    const pid_t office = rig.officeGroup();
    const QString refused = readOnly.path() + "/run.xls";
    const QString noRoom = full.path() + "/run.xls";
    const QString good = rig.outputFile("run.xls");
    rig.saveAnswers = {refused, noRoom, good};
    click(w().cmdStop);

    EXPECT_EQ(rig.prompts.size(), 3);
    const QStringList boxes = boxTexts();
    ASSERT_EQ(boxes.size(), 2) << boxes.join("\n---\n").toStdString();
    EXPECT_TRUE(boxes[0].contains(refused) && boxes[0].contains(systemReason(EROFS))) << boxes[0].toStdString();
    EXPECT_TRUE(boxes[1].contains(noRoom) && boxes[1].contains(systemReason(ENOSPC))) << boxes[1].toStdString();
    // No part-written workbook, no lock file left where the saves failed.
    EXPECT_EQ(QDir(full.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"filler"});
    EXPECT_EQ(QDir(readOnly.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
    EXPECT_TRUE(MainWindowRig::officeEnded(office));
    const QString summary = QString::fromUtf8(readFile(run().journal().summaryPath()));
    EXPECT_TRUE(summary.contains("Workbook saved as: " + good + "\n")) << summary.toStdString();
    EXPECT_EQ(missingRecordRow(SavedSheet::read(good), 40), "");
}

TEST_F(StopSaveTest, APlainNameIsSavedInTheDocumentsFolder)
{
    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    ASSERT_TRUE(rig.sendWritten(recordLines(1, 3)));
    rig.saveAnswer = "plain.xls";
    click(w().cmdStop);

    EXPECT_TRUE(rig.boxes.boxes.isEmpty()) << boxTexts().join("\n---\n").toStdString();
    const QString saved = rig.documents + "/plain.xls";
    ASSERT_TRUE(QFileInfo::exists(saved));
    EXPECT_FALSE(QFileInfo::exists(rig.programFolder + "/plain.xls"));
    EXPECT_FALSE(QFileInfo::exists(QDir::current().filePath("plain.xls")));
    EXPECT_EQ(missingRecordRow(SavedSheet::read(saved), 3), "");
}

TEST_F(StopSaveTest, MoreRowsThanXlsKeepsAreSavedWholeAsXlsxBesideItAndTheUserIsTold)
{
    constexpr int kLines = 70000;
    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    // The port takes about 10 KB a second; the emulator's mailbox, the run's
    // other intake, hands the whole text to one tick.
    rig.mailbox.setActive(true);
    rig.mailbox.post(recordLines(1, kLines));
    ASSERT_TRUE(waitUntil([this] { return run().nextRow() == kLines + 1 && run().pendingText().isEmpty(); }, 60000))
        << "row " << run().nextRow() << ", " << rig.status().toStdString();
    rig.saveAnswer = rig.outputFile("long.xls");
    click(w().cmdStop);

    const QString whole = rig.outputFile("long.xlsx");
    const QStringList boxes = boxTexts();
    ASSERT_EQ(boxes.size(), 1) << boxes.join("\n---\n").toStdString();
    EXPECT_TRUE(boxes[0].contains(whole) && boxes[0].contains(QString::number(kLines))) << boxes[0].toStdString();
    const QList<SavedSheet> sheets = SavedSheet::read({whole, rig.saveAnswer});
    EXPECT_EQ(sheets[0].rowCount(), kLines);
    EXPECT_EQ(missingRecordRow(sheets[0], kLines), "");
    EXPECT_EQ(sheets[1].rowCount(), 65536); // the .xls itself, as far as it goes
}

TEST_F(StopSaveTest, LinesHeldBackByABusyOfficeAreWrittenAtStopOnlyTheUnfinishedLastLineIsLeftOut)
{
    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    ASSERT_TRUE(rig.sendWritten(recordLines(1, 1)));
    const pid_t office = rig.officeGroup();
    ASSERT_EQ(::kill(-office, SIGSTOP), 0);
    const QByteArray held = recordLines(2, 2) + "4 :: unfinished";
    const bool blocked = rig.sendReceived(held) && waitUntil([this] { return rig.status() == kBlocked; }, 10000);
    // The user clicks Stop before another tick comes round.
    w().tmrMain->stop();
    ::kill(-office, SIGCONT);
    ASSERT_TRUE(blocked);
    ASSERT_EQ(run().pendingText(), held);

    rig.saveAnswer = rig.outputFile("busy.xls");
    const QString raw = run().journal().rawPath();
    click(w().cmdStop);

    EXPECT_TRUE(rig.boxes.boxes.isEmpty()) << boxTexts().join("\n---\n").toStdString();
    EXPECT_EQ(rig.factory->creates, 1); // written by the run's own office, not rebuilt
    EXPECT_TRUE(MainWindowRig::officeEnded(office));
    EXPECT_EQ(missingRecordRow(SavedSheet::read(rig.saveAnswer), 3), "");
    EXPECT_EQ(readFile(raw), recordLines(1, 1) + held); // the unfinished line stays in the journal
}

TEST_F(StopSaveTest, AnOfficeStillStuckAtStopIsEndedAndTheWorkbookRebuiltFromTheJournal)
{
    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    ASSERT_TRUE(rig.sendWritten(recordLines(1, 1)));
    const pid_t office = rig.officeGroup();
    ASSERT_EQ(::kill(-office, SIGSTOP), 0);
    const bool blocked =
        rig.sendReceived(recordLines(2, 2)) && waitUntil([this] { return rig.status() == kBlocked; }, 10000);
    if (!blocked)
        ::kill(-office, SIGCONT);
    ASSERT_TRUE(blocked);

    rig.saveAnswer = rig.outputFile("stuck.xls");
    click(w().cmdStop);

    const QStringList boxes = boxTexts();
    ASSERT_FALSE(boxes.isEmpty());
    EXPECT_TRUE(boxes[0].startsWith("2 lines of this run are missing from the workbook")) << boxes[0].toStdString();
    EXPECT_TRUE(MainWindowRig::officeEnded(office)); // no office outlives Stop, stuck or not
    if (MainWindowRig::officeAlive(office))
        ::kill(-office, SIGKILL);
    EXPECT_EQ(rig.factory->creates, 2);
    EXPECT_TRUE(MainWindowRig::officeEnded(rig.officeGroup()));
    EXPECT_EQ(missingRecordRow(SavedSheet::read(rig.saveAnswer), 3), "");
}

TEST_F(StopSaveTest, AJournalFolderThatCannotBeWrittenDoesNotStopTheRun)
{
    // A file where the journals' folder should be.
    QDir(RunJournal::defaultFolder()).removeRecursively();
    writeFile(RunJournal::defaultFolder(), "in the way");
    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    EXPECT_TRUE(w().panExcel->toolTip().contains(RunJournal::defaultFolder())) << w().panExcel->toolTip().toStdString();
    ASSERT_TRUE(rig.sendWritten(recordLines(1, 5)));
    EXPECT_EQ(rig.status(), "Bytes Received: " + QString::number(rig.sent));
    EXPECT_EQ(MainWindowRig::colourOf(w().panExcel), MainWindowRig::green());
    rig.saveAnswer = rig.outputFile("unjournalled.xls");
    click(w().cmdStop);
    QFile::remove(RunJournal::defaultFolder());

    EXPECT_TRUE(rig.boxes.boxes.isEmpty()) << boxTexts().join("\n---\n").toStdString();
    EXPECT_EQ(missingRecordRow(SavedSheet::read(rig.saveAnswer), 5), "");
}

} // namespace
