// Acquisition runs driven through the main window as a user drives them:
// buttons clicked on the offscreen window, its own 100 ms tmrMain, the real
// serial component on a socat pair, a real headless office, and the saved
// workbook read back. Covers the stream cases, a busy,
// a closed office, a port that vanishes, pause and resume, and the log of
// what failed.
#include "LogFile.h"
#include "MainWindowRunFixture.h"
#include "QStringPrinter.h"
#include "SavedSheet.h"
#include "StatusTexts.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <utility>

namespace {

TEST_F(MainWindowRunTest, InstrumentTextFromThePortLandsInTheSavedWorkbook)
{
    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    EXPECT_EQ(rig.status(), "Ready");
    EXPECT_EQ(MainWindowRig::colourOf(w().panComPort), MainWindowRig::green());
    EXPECT_EQ(MainWindowRig::colourOf(w().panExcel), MainWindowRig::green());
    EXPECT_FALSE(w().cmdStart->isEnabled());
    EXPECT_TRUE(w().cmdStop->isEnabled());
    EXPECT_TRUE(w().cmdPause->isEnabled());
    EXPECT_TRUE(w().pauseInFront());
    EXPECT_FALSE(w().cmdResume->isEnabled());
    EXPECT_FALSE(w().cmdComPorts->isEnabled());
    EXPECT_FALSE(w().mnuUtilities->menuAction()->isVisible());
    EXPECT_TRUE(w().tmrMain->isActive());
    EXPECT_TRUE(QFileInfo::exists(rig.workingCopy())); // copied from the master

    // Two data lines in column 1.
    ASSERT_TRUE(rig.sendWritten("5.1\r\n5.2\r\n"));
    EXPECT_EQ(run().nextRow(), 3);
    EXPECT_EQ(rig.status(), "Bytes Received: 10");

    // A line split across ticks, then its CR LF split across ticks.
    ASSERT_TRUE(rig.sendReceived("5."));
    ASSERT_TRUE(waitForTicks(*w().tmrMain, 2));
    ASSERT_TRUE(rig.sendReceived("3\r"));
    ASSERT_TRUE(waitForTicks(*w().tmrMain, 2));
    EXPECT_EQ(run().pendingText(), "5.3\r");
    EXPECT_EQ(run().nextRow(), 3);
    ASSERT_TRUE(rig.sendWritten("\n"));
    EXPECT_EQ(run().nextRow(), 4);

    // Two record lines in one piece: "::" and "=" are no cells; runs of
    // spaces give no empty cells.
    ASSERT_TRUE(rig.send("1 0001 :: 06/12/2026 14:30:00 = 523 X\r\n"
                         "2   0002  ::  06/12/2026   14:31:00 =   524  Y  \r\n"));
    ASSERT_TRUE(rig.written());
    EXPECT_EQ(run().nextRow(), 6);

    // Four empty lines: a separator (column 2, time stamp in row 1) and one
    // empty data line in row 2; the next lines go to rows 3 and 4, the second
    // over the first record line's cell in column 2.
    ASSERT_TRUE(rig.sendWritten("\r\n\r\n\r\n\r\n6.1\r\n6.2\r\n"));
    EXPECT_EQ(rig.w->run().blockColumn(), 2);
    EXPECT_EQ(run().nextRow(), 5);

    // On to column 255, where a three-field line meets the column limit.
    QByteArray separators;
    for (int i = 0; i < 253; ++i)
        separators += "\r\n\r\n\r\n";
    ASSERT_TRUE(rig.sendWritten(separators + "a\tb\tc\r\n"));
    EXPECT_EQ(rig.w->run().blockColumn(), 255);
    EXPECT_EQ(run().nextRow(), 3);
    EXPECT_EQ(rig.status(), "Bytes Received: " + QString::number(rig.sent));
    EXPECT_EQ(MainWindowRig::colourOf(w().panExcel), MainWindowRig::green());

    const pid_t office = rig.officeGroup();
    const QString saved = stopAndSave("stream.xls");
    EXPECT_EQ(rig.prompts, QStringList{"Please rename this workbook|Excel workbook (*.xls)"});
    ASSERT_TRUE(QFileInfo::exists(saved));
    expectStoppedLayout();
    EXPECT_EQ(rig.status(), "");
    EXPECT_EQ(MainWindowRig::colourOf(w().panComPort), rig.frameColour());
    EXPECT_EQ(MainWindowRig::colourOf(w().panExcel), rig.frameColour());
    EXPECT_EQ(rig.w->run().spreadsheet(), nullptr);
    EXPECT_FALSE(rig.comm->portOpen());
    EXPECT_TRUE(MainWindowRig::officeEnded(office));

    const SavedSheet sheet = SavedSheet::read(saved);
    ASSERT_FALSE(sheet.isEmpty());
    EXPECT_EQ(sheet.at(1, 1), "5.1");
    EXPECT_EQ(sheet.at(2, 1), "5.2");
    EXPECT_EQ(sheet.at(3, 1), "5.3"); // written once, whole
    // Record lines: number-looking tokens become numbers, the rest text.
    const QStringList first{"1", "1", "06/12/2026", "14:30:00", "523", "X", ""};
    const QStringList second{"2", "2", "06/12/2026", "14:31:00", "524", "Y", ""};
    for (int c = 1; c <= 7; ++c) {
        if (c == 2)
            continue; // column 2 holds the second block from row 1 to 4
        EXPECT_EQ(sheet.at(4, c), first[c - 1]) << "column " << c;
        EXPECT_EQ(sheet.at(5, c), second[c - 1]) << "column " << c;
    }
    EXPECT_EQ(sheet.at(4, 2), "6.2"); // the block's data overwrites the record line's cell
    EXPECT_EQ(sheet.at(5, 2), "2");   // "0002" is a plain number
    EXPECT_TRUE(SavedSheet::isHours(sheet.at(1, 2))) << sheet.at(1, 2).toStdString();
    EXPECT_EQ(sheet.at(2, 2), "");
    EXPECT_EQ(sheet.at(3, 2), "6.1");
    for (int c = 3; c <= 255; ++c) {
        ASSERT_TRUE(SavedSheet::isHours(sheet.at(1, c))) << "column " << c << ": " << sheet.at(1, c).toStdString();
        ASSERT_EQ(sheet.at(2, c), c == 255 ? "a" : "") << "column " << c;
    }
    EXPECT_EQ(sheet.at(2, 256), "b");
    EXPECT_EQ(sheet.at(2, 257), ""); // "c" finds no column after the last
    EXPECT_EQ(sheet.at(3, 255), "");
}

TEST_F(MainWindowRunTest, BusyOfficeHoldsTheLineAndWritesItToTheSameRowWhenFree)
{
    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    ASSERT_TRUE(rig.sendWritten("1\r\n"));
    ASSERT_EQ(run().nextRow(), 2);

    const pid_t office = rig.officeGroup();
    ASSERT_GT(office, 0);
    ASSERT_EQ(::kill(-office, SIGSTOP), 0);
    ASSERT_TRUE(rig.send("2\r\n"));
    const bool blocked = waitUntil([this] { return rig.status() == kBlocked; }, 10000);
    QColor excel = MainWindowRig::colourOf(w().panExcel);
    const bool pauseEnabled = w().cmdPause->isEnabled();
    // More text while the office stays busy queues up behind the held line.
    if (blocked) {
        rig.send("3\r\n");
        rig.received();
        waitForTicks(*w().tmrMain, 3);
    }
    const QByteArray held = run().pendingText();
    const std::int32_t row = run().nextRow();
    ::kill(-office, SIGCONT);
    ASSERT_TRUE(blocked);
    EXPECT_EQ(excel, MainWindowRig::yellow());
    EXPECT_FALSE(pauseEnabled);
    EXPECT_EQ(held, "2\r\n3\r\n");
    EXPECT_EQ(row, 2);
    EXPECT_EQ(run().state(), RunState::Running);

    ASSERT_TRUE(waitUntil([this] { return run().nextRow() == 4 && run().pendingText().isEmpty(); }, 15000));
    ASSERT_TRUE(waitUntil([this] { return rig.status() == "Bytes Received: 9"; }, 5000));
    EXPECT_EQ(MainWindowRig::colourOf(w().panExcel), MainWindowRig::green());
    EXPECT_TRUE(w().cmdPause->isEnabled());

    const QString saved = stopAndSave("busy.xls");
    const SavedSheet sheet = SavedSheet::read(saved);
    ASSERT_FALSE(sheet.isEmpty());
    EXPECT_EQ(sheet.at(1, 1), "1");
    EXPECT_EQ(sheet.at(2, 1), "2");
    EXPECT_EQ(sheet.at(3, 1), "3");
    EXPECT_EQ(sheet.at(4, 1), "");
    EXPECT_TRUE(MainWindowRig::officeEnded(office));
}

TEST_F(MainWindowRunTest, ClosedOfficeIsShownInRedTheRunGoesOnAndStopRebuildsFromTheJournal)
{
    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    ASSERT_TRUE(rig.sendWritten("1\r\n"));

    const pid_t office = rig.officeGroup();
    ASSERT_EQ(::kill(-office, SIGKILL), 0);
    ASSERT_TRUE(rig.send("2\r\n"));
    ASSERT_TRUE(waitUntil([this] { return rig.status() == kClosed; }, 10000));
    EXPECT_EQ(MainWindowRig::colourOf(w().panExcel), MainWindowRig::red());
    EXPECT_EQ(MainWindowRig::colourOf(w().panComPort), MainWindowRig::green());
    EXPECT_FALSE(w().cmdPause->isEnabled());

    // The run goes on: the port is still read, and nothing is dropped.
    ASSERT_TRUE(rig.sendReceived("3\r\n"));
    ASSERT_TRUE(waitForTicks(*w().tmrMain, 3));
    EXPECT_EQ(run().state(), RunState::Running);
    EXPECT_EQ(run().pendingText(), "2\r\n3\r\n");
    EXPECT_EQ(rig.status(), kClosed);

    // Stop counts the lines the workbook lacks and, answered OK, rebuilds it
    // in a fresh office from the run's journal and saves every line. The
    // first rebuild's office dies: "Try again" makes it in another.
    rig.saveAnswer = rig.outputFile("rebuilt.xls");
    rig.factory->onHeadless = [first = true](CalcSpreadsheetApp &rebuildOffice) mutable {
        if (std::exchange(first, false))
            ::kill(-rebuildOffice.processGroup(), SIGKILL);
    };
    click(w().cmdStop);
    expectStoppedLayout();
    ASSERT_EQ(rig.boxes.boxes.size(), 2);
    EXPECT_TRUE(rig.boxes.boxes[0].text.startsWith("2 lines of this run are missing from the workbook"))
        << rig.boxes.boxes[0].text.toStdString();
    EXPECT_TRUE(rig.boxes.boxes[1].text.startsWith("The workbook could not be rebuilt: "))
        << rig.boxes.boxes[1].text.toStdString();
    EXPECT_EQ(rig.boxes.boxes[1].buttons, MessageBoxes::Buttons::TryAgainCancel);
    EXPECT_EQ(rig.factory->creates, 3);
    EXPECT_EQ(rig.prompts.size(), 1);
    const SavedSheet sheet = SavedSheet::read(rig.outputFile("rebuilt.xls"));
    EXPECT_EQ(sheet.at(1, 1), "1");
    EXPECT_EQ(sheet.at(2, 1), "2");
    EXPECT_EQ(sheet.at(3, 1), "3");
    const QByteArray summary = readFile(run().journal().summaryPath());
    EXPECT_TRUE(summary.contains("rebuilt from the journal: 3 rows used, 3 cells written\n")) << summary.toStdString();
    EXPECT_EQ(rig.w->run().spreadsheet(), nullptr);
    EXPECT_FALSE(rig.comm->portOpen());
    EXPECT_TRUE(MainWindowRig::officeEnded(rig.officeGroup()));
}

TEST_F(MainWindowRunTest, PortVanishingMidRunIsShownAndStopSavesWhatCame)
{
    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    ASSERT_TRUE(rig.sendReceived("1\r\n2\r\n3"));
    rig.pty.stop(); // the adapter is pulled
    ASSERT_TRUE(waitUntil([this] { return rig.status() == kNoPort; }, 5000));
    EXPECT_EQ(MainWindowRig::colourOf(w().panComPort), MainWindowRig::red());
    EXPECT_EQ(MainWindowRig::colourOf(w().panExcel), MainWindowRig::green());
    EXPECT_FALSE(rig.comm->portOpen());
    EXPECT_EQ(run().state(), RunState::Running);
    EXPECT_EQ(run().nextRow(), 3);
    ASSERT_TRUE(waitForTicks(*w().tmrMain, 3)); // the ticks go on quietly
    EXPECT_EQ(rig.status(), kNoPort);
    EXPECT_TRUE(w().cmdStop->isEnabled());

    const pid_t office = rig.officeGroup();
    const QString saved = stopAndSave("vanished.xls");
    expectStoppedLayout();
    EXPECT_EQ(MainWindowRig::colourOf(w().panComPort), rig.frameColour());
    EXPECT_TRUE(MainWindowRig::officeEnded(office));
    const SavedSheet sheet = SavedSheet::read(saved);
    ASSERT_FALSE(sheet.isEmpty());
    EXPECT_EQ(sheet.at(1, 1), "1");
    EXPECT_EQ(sheet.at(2, 1), "2");
    EXPECT_EQ(sheet.at(3, 1), ""); // "3" never got its line end
}

TEST_F(MainWindowRunTest, TheLogFileKeepsWhyTheMacroThePortAndASaveFailed)
{
    const QString log = rig.outputFile("state/Halvern/halvern.log");
    ASSERT_EQ(LogFile::install(log), std::nullopt);
    struct Uninstall {
        ~Uninstall() { LogFile::uninstall(); }
    } uninstall;
    ASSERT_TRUE(rig.load());
    rig.w->setMacroSettings({true, "NoSuchMacro"});
    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    ASSERT_TRUE(rig.sendReceived("1\r\n2\r\n"));
    rig.pty.stop(); // the adapter is pulled
    ASSERT_TRUE(waitUntil([this] { return rig.status() == kNoPort; }, 5000)) << "the port shown lost";
    // A folder that is a file cannot take the workbook; the second answer can.
    writeFile(rig.outputFile("plain-file"), "x");
    const QString refused = rig.outputFile("plain-file/run.xls");
    rig.saveAnswers = {refused, rig.outputFile("run.xls")};
    ASSERT_TRUE(rig.stop()) << "awaited the end of Stop";
    ASSERT_TRUE(QFileInfo::exists(rig.outputFile("run.xls")));

    const QStringList lines = QString::fromUtf8(readFile(log)).split('\n');
    auto logged = [&lines](const QString &category, const QString &text) {
        for (const QString &line : lines)
            if (line.contains(" " + category + ": ") && line.contains(text))
                return true;
        return false;
    };
    const QString all = lines.join('\n');
    EXPECT_TRUE(logged("halvern.workbook", "NoSuchMacro")) << all.toStdString();
    EXPECT_TRUE(logged("halvern.serial", "The port was lost: Error reading comm device")) << all.toStdString();
    EXPECT_TRUE(logged("halvern.workbook", refused)) << all.toStdString();
    // The reason the user was told is the one logged.
    ASSERT_EQ(rig.boxes.boxes.size(), 1);
    const QString told = rig.boxes.boxes.first().text.section("\n\n", 1, 1);
    EXPECT_FALSE(told.isEmpty()) << rig.boxes.boxes.first().text.toStdString();
    EXPECT_TRUE(logged("halvern.workbook", told)) << told.toStdString() << "\n" << all.toStdString();
}

TEST_F(MainWindowRunTest, PauseHoldsThePortTextAndResumeWritesItInOrder)
{
    ASSERT_TRUE(rig.load());
    // Neither does anything while stopped: the lamps keep their grey.
    const QColor portLamp = MainWindowRig::colourOf(w().panComPort);
    const QColor excelLamp = MainWindowRig::colourOf(w().panExcel);
    w().cmdPause_Click();
    w().cmdResume_Click();
    expectStoppedLayout();
    EXPECT_EQ(MainWindowRig::colourOf(w().panComPort), portLamp);
    EXPECT_EQ(MainWindowRig::colourOf(w().panExcel), excelLamp);
    EXPECT_EQ(portLamp, QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(rig.status(), "");

    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    // Resume while running does nothing either.
    w().cmdResume_Click();
    EXPECT_EQ(run().state(), RunState::Running);
    EXPECT_EQ(rig.status(), "Ready");
    EXPECT_TRUE(w().pauseInFront());
    EXPECT_FALSE(w().cmdResume->isEnabled());

    // 150 lines of 7 bytes before the pause: a count with a thousands group.
    QByteArray before;
    for (int i = 1; i <= 150; ++i)
        before += QByteArray("P") + QByteArray::number(i).rightJustified(4, '0') + "\r\n";
    ASSERT_TRUE(rig.sendWritten(before));
    ASSERT_EQ(run().nextRow(), 151);

    click(w().cmdPause);
    EXPECT_EQ(run().state(), RunState::Paused);
    EXPECT_EQ(rig.status(), "Paused");
    EXPECT_EQ(MainWindowRig::colourOf(w().panComPort), MainWindowRig::yellow());
    EXPECT_EQ(MainWindowRig::colourOf(w().panExcel), MainWindowRig::yellow());
    EXPECT_FALSE(w().cmdPause->isEnabled());
    EXPECT_TRUE(w().cmdResume->isEnabled());
    EXPECT_FALSE(w().pauseInFront());
    EXPECT_TRUE(w().tmrMain->isActive()); // the port is still read
    // Pause again while paused: nothing changes.
    w().cmdPause_Click();
    EXPECT_EQ(run().state(), RunState::Paused);
    EXPECT_TRUE(w().cmdResume->isEnabled());

    // What the instrument prints meanwhile goes into the run's journal at
    // once; nothing is written, and the display stays as the pause left it.
    QByteArray during;
    for (int i = 1; i <= 40; ++i)
        during += QByteArray("Q") + QByteArray::number(i).rightJustified(4, '0') + "\r\n";
    ASSERT_TRUE(rig.send(during));
    ASSERT_TRUE(waitUntil([&] { return run().journal().bytes() == 1330; }, 5000));
    EXPECT_EQ(run().bytesReceived(), 1330);
    EXPECT_EQ(run().nextRow(), 151);
    EXPECT_EQ(rig.status(), "Paused");
    EXPECT_TRUE(rig.comm->portOpen());

    click(w().cmdResume);
    // Resume shows the count so far with its digits grouped.
    EXPECT_EQ(rig.status(), "Bytes Received: 1,330");
    EXPECT_EQ(run().state(), RunState::Running);
    EXPECT_EQ(MainWindowRig::colourOf(w().panComPort), MainWindowRig::green());
    EXPECT_EQ(MainWindowRig::colourOf(w().panExcel), MainWindowRig::green());
    EXPECT_TRUE(w().cmdPause->isEnabled());
    EXPECT_FALSE(w().cmdResume->isEnabled());
    EXPECT_TRUE(w().pauseInFront());
    // The next tick reads the waiting lines back from the journal and writes them.
    ASSERT_TRUE(waitUntil([this] { return run().nextRow() == 191; }, 10000)) << run().nextRow();
    EXPECT_EQ(rig.status(), "Bytes Received: 1330"); // the parser's own form

    const QString saved = stopAndSave("paused.xls");
    const SavedSheet sheet = SavedSheet::read(saved);
    ASSERT_FALSE(sheet.isEmpty());
    for (int i = 1; i <= 150; ++i)
        ASSERT_EQ(sheet.at(i, 1), "P" + QString::number(i).rightJustified(4, '0')) << "row " << i;
    for (int i = 1; i <= 40; ++i)
        ASSERT_EQ(sheet.at(150 + i, 1), "Q" + QString::number(i).rightJustified(4, '0')) << "row " << 150 + i;
    EXPECT_EQ(sheet.at(191, 1), "");
}

} // namespace