// The user's VBA macro, kept in Personal.xls in the office's start-up folder,
// gives the same saved workbook whichever way the workbook is made: a live
// Stop, Stop's rebuild after the office was killed, the start-up offer of a
// run Halvern never stopped, the Runs window's "Make workbook..." and
// "halvern --replay". Real port (socat), real headless office, the real
// program for --replay. In a visible office (under Xvfb) the start-up
// workbook stays hidden after Start.
#include "FileContents.h"
#include "KeptRuns.h"
#include "MainWindowFixture.h"
#include "OfficeProbe.h"
#include "QStringPrinter.h"
#include "RunFiles.h"
#include "RunJournal.h"
#include "SavedSheet.h"

#include <QDir>
#include <QMenuBar>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <csignal>

namespace {

QString startupFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Halvern/XLSTART";
}

// Uses what needs a view of the workbook (End(xlUp), Select and ActiveCell,
// Selection, Worksheet.Copy into a new workbook) and writes a note beside
// ActiveWorkbook.Path.
const QString kFinish = "Sub Finish()\n"
                        "    Dim book As Object, sheet As Object, last As Long\n"
                        "    Set book = ActiveWorkbook\n"
                        "    Set sheet = ActiveSheet\n"
                        "    last = sheet.Range(\"A65536\").End(xlUp).Row\n"
                        "    sheet.Cells(last + 1, 1).Select\n"
                        "    ActiveCell.Value = \"rows\"\n"
                        "    Selection.Offset(0, 1).Value = last\n"
                        "    sheet.Copy\n"
                        "    sheet.Cells(last + 2, 1).Value = ActiveWorkbook.Sheets(1).Cells(1, 2).Value\n"
                        "    ActiveWorkbook.Close False\n"
                        "    book.Activate\n"
                        "    Open book.Path & \"/finish-note.txt\" For Output As #1\n"
                        "    Print #1, last\n"
                        "    Close #1\n"
                        "End Sub\n"
                        // Never ends: nobody can answer it in a headless office.
                        // Ends once a file "release" is beside the workbook.
                        "Sub Hold()\n"
                        "    Do While Dir(ActiveWorkbook.Path & \"/release\") = \"\"\n"
                        "    Loop\n"
                        "    Range(\"J1\").Value = \"held\"\n"
                        "End Sub\n"
                        "Sub Forever()\n"
                        "    Range(\"J1\").Value = \"looping\"\n"
                        "    Do\n"
                        "    Loop\n"
                        "End Sub\n";

const QByteArray kLines = "1 :: 3\r\n2 :: 6\r\n3 :: 9\r\n";

// "" when the sheet holds the three lines and what the macro added after them.
std::string finishedRows(const SavedSheet &sheet)
{
    const QList<QStringList> expected = {{"1", "3"}, {"2", "6"}, {"3", "9"}, {"rows", "3"}, {"3", ""}};
    for (int row = 1; row <= int(expected.size()); ++row)
        for (int column = 1; column <= 2; ++column)
            if (sheet.at(row, column) != expected[row - 1][column - 1])
                return QString("row %1, column %2: \"%3\"")
                    .arg(row)
                    .arg(column)
                    .arg(sheet.at(row, column))
                    .toStdString();
    return sheet.rowCount() == int(expected.size()) ? "" : "rows: " + std::to_string(sheet.rowCount());
}

// What rebuilds leave in a folder: their copies and the office's locks of them.
QStringList rebuildLeftovers(const QString &folder)
{
    return QDir(folder).entryList({".halvern-rebuild-*", ".~lock..halvern-rebuild-*"}, QDir::Files | QDir::Hidden);
}

class PersonalMacroTest : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        if (HasFatalFailure())
            return;
        QFile::remove(rig.documents + "/finish-note.txt");
        const QString personal = startupFolder() + "/Personal.xls";
        if (!QFileInfo::exists(personal)) {
            ASSERT_TRUE(QDir().mkpath(startupFolder()));
            OfficeProbe maker;
            maker.makeMacroWorkbook(personal, {{"Module1", kFinish}});
        }
    }
    void useMacro() { w().setMacroSettings({true, "Finish"}); }
};

enum class Path { LiveStop, StopRebuildAfterKill, StartupOffer, RunsWindow, Replay };

class UserMacroPathsTest : public PersonalMacroTest, public ::testing::WithParamInterface<Path> {};

TEST_P(UserMacroPathsTest, GiveTheSameSavedWorkbookWithTheMacrosNoteBesideIt)
{
    const QString saved = rig.outputFile("made.xls");
    rig.saveAnswer = saved;
    QString noteFolder = rig.documents;
    switch (GetParam()) {
    case Path::LiveStop:
        ASSERT_TRUE(rig.start()) << rig.status().toStdString();
        useMacro();
        ASSERT_TRUE(rig.sendWritten(kLines));
        ASSERT_TRUE(rig.stop()) << "awaited the end of Stop";
        break;
    case Path::StopRebuildAfterKill: {
        ASSERT_TRUE(rig.start()) << rig.status().toStdString();
        useMacro();
        ASSERT_TRUE(rig.sendWritten(kLines));
        const pid_t office = rig.officeGroup();
        ASSERT_EQ(::kill(-office, SIGKILL), 0);
        ASSERT_TRUE(MainWindowRig::officeEnded(office));
        ASSERT_TRUE(rig.stop()) << "awaited the end of Stop"; // the boxes answer OK: rebuild
        EXPECT_EQ(rig.factory->creates, 2);
        break;
    }
    case Path::StartupOffer:
        QDir(RunJournal::defaultFolder()).removeRecursively();                         // only this run is offered
        writeKeptRun(RunJournal::defaultFolder(), "2026-12-07_08-00-00_COM5", kLines); // no summary: never stopped
        ASSERT_TRUE(rig.load());
        useMacro();
        w().offerUnfinishedRuns();
        ASSERT_TRUE(rig.idle()) << "awaited the workbook";
        break;
    case Path::RunsWindow: {
        const QString raw = writeKeptRun(RunJournal::defaultFolder(), "2026-12-06_09-00-00_COM5", kLines,
                                         stopSummary("2026-12-06 09:00:00", "2026-12-06 09:05:00", 3, ""));
        ASSERT_TRUE(rig.load());
        useMacro();
        w().makeWorkbookFromJournal(raw); // what the window's button does with the selected run
        ASSERT_TRUE(rig.idle()) << "awaited the workbook";
        break;
    }
    case Path::Replay: {
        const QString raw = writeKeptRun(rig.outputFile("kept"), "2026-12-06_09-00-00_COM5", kLines);
        QProcess program;
        program.start(qEnvironmentVariable("HALVERN_BIN_DIR") + "/halvern",
                      {"--replay", raw, "--save-as", saved, "--macro", "Finish"});
        ASSERT_TRUE(program.waitForFinished(120000)) << "awaited the end of --replay";
        EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
        noteFolder = rig.output.path(); // beside the workbook it saves
        break;
    }
    }
    EXPECT_EQ(finishedRows(SavedSheet::read(saved)), "");
    EXPECT_EQ(readFile(noteFolder + "/finish-note.txt").trimmed(), "3");
    EXPECT_EQ(rebuildLeftovers(rig.documents), QStringList());
    EXPECT_EQ(rebuildLeftovers(rig.output.path()), QStringList());
}

std::string pathName(const ::testing::TestParamInfo<Path> &info)
{
    static const char *const names[] = {"LiveStop", "StopRebuildAfterKill", "StartupOffer", "RunsWindow", "Replay"};
    return names[int(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Paths, UserMacroPathsTest,
                         ::testing::Values(Path::LiveStop, Path::StopRebuildAfterKill, Path::StartupOffer,
                                           Path::RunsWindow, Path::Replay),
                         pathName);

TEST_F(PersonalMacroTest, AMacroThatNeverEndsInARebuildIsCancelledAndTheWorkbookSavedWithoutItsWork)
{
    const QString raw = writeKeptRun(RunJournal::defaultFolder(), "2026-12-05_09-00-00_COM5", kLines,
                                     stopSummary("2026-12-05 09:00:00", "2026-12-05 09:05:00", 3, ""));
    ASSERT_TRUE(rig.load());
    w().setMacroSettings({true, "Forever"});
    rig.saveAnswer = rig.outputFile("cancelled.xls");
    // The user presses Cancel once the macro is shown as running.
    bool cancelled = false;
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [this, &cancelled] {
        for (QProgressDialog *running : w().findChildren<QProgressDialog *>()) {
            if (running->isVisible() && running->labelText().startsWith("Running the macro Forever")) {
                QPushButton *button = running->findChild<QPushButton *>();
                if (button && !cancelled) {
                    cancelled = true;
                    button->click();
                }
            }
        }
    });
    cancel.start(50);
    w().makeWorkbookFromJournal(raw);
    ASSERT_TRUE(rig.idle()) << "awaited the workbook";
    cancel.stop();

    EXPECT_TRUE(cancelled);
    EXPECT_EQ(rig.status(), "User macro stopped: the workbook is saved without its work.");
    EXPECT_TRUE(w().panExcel->toolTip().contains("Forever")) << w().panExcel->toolTip().toStdString();
    const SavedSheet saved = SavedSheet::read(rig.saveAnswer);
    EXPECT_EQ(saved.at(3, 2), "9");
    EXPECT_EQ(saved.at(1, 10), ""); // the macro's office ended with what it did
    const QString summary = QString::fromUtf8(readFile(RunFiles::summaryPathFor(raw)));
    EXPECT_TRUE(summary.contains("User macro: Forever was stopped with Cancel")) << summary.toStdString();
    EXPECT_EQ(rebuildLeftovers(rig.documents), QStringList());
}

// The macro at Stop runs while the window stays alive: Start and the menus
// take no clicks and a close waits until the whole Stop is over, whose save
// holds the macro's work.
TEST_F(PersonalMacroTest, WhileTheMacroRunsAtStopTheWindowTakesNoClicksAndClosesOnceTheStopIsOver)
{
    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    w().setMacroSettings({true, "Hold"});
    ASSERT_TRUE(rig.sendWritten(kLines));
    rig.saveAnswer = rig.outputFile("held.xls");
    click(w().cmdStop);
    ASSERT_TRUE(waitUntil(
        [this] {
            for (QProgressDialog *box : w().findChildren<QProgressDialog *>())
                if (box->isVisible() && box->labelText().startsWith("Running the macro Hold"))
                    return true;
            return false;
        },
        60000))
        << "awaited the macro shown as running";
    EXPECT_TRUE(w().busy());
    EXPECT_FALSE(w().cmdStart->isEnabled());
    EXPECT_FALSE(w().menuBar()->isEnabled());
    w().cmdStart->click(); // as a key press would
    w().close();
    EXPECT_EQ(run().state(), RunState::Stopped);
    EXPECT_TRUE(w().isVisible());
    EXPECT_TRUE(rig.prompts.isEmpty()); // no save before the macro has ended

    writeFile(rig.documents + "/release", "");
    ASSERT_TRUE(waitUntil([this] { return !w().isVisible(); }, 60000)) << "awaited the window's close";
    EXPECT_FALSE(run().stopping());
    EXPECT_EQ(rig.prompts.size(), 1);
    EXPECT_EQ(SavedSheet::read(rig.saveAnswer).at(1, 10), "held");
    EXPECT_EQ(run().spreadsheet(), nullptr);
}

// Under Xvfb only (app_user_macro_paths_visible): a visible office.
TEST_F(PersonalMacroTest, VisibleOfficeShowsOnlyTheWorkingCopyAfterStart)
{
    if (qEnvironmentVariableIsEmpty("HALVERN_VISIBLE_OFFICE"))
        GTEST_SKIP() << "needs a display: run as app_user_macro_paths_visible";
    qputenv("HALVERN_OFFICE_HEADLESS", "0");
    const bool started = rig.start();
    qputenv("HALVERN_OFFICE_HEADLESS", "1");
    ASSERT_TRUE(started) << rig.status().toStdString();
    OfficeProbe probe(rig.factory->last->pipeName());
    ASSERT_TRUE(waitUntil([&probe] { return probe.shownDocuments().contains("spreadsheet.xls"); }, 15000))
        << "awaited the working copy's window";
    EXPECT_EQ(probe.shownDocuments(), QStringList{"spreadsheet.xls"});
    rig.saveAnswer.clear();
    EXPECT_TRUE(rig.stop());
}

} // namespace
