// Stop and the main window's unload, driven through the offscreen window with
// the real port (socat pair) and a real headless office: the user macro in
// its forms, run from a Personal.ods in the office's start-up folder before
// the save; no dialog when nothing was written; a cancelled dialog; closing
// the window during a run and while paused (both stop the run).
#include "AcquisitionRun.h"
#include "FlatWorkbook.h"
#include "MainWindowFixture.h"
#include "OfficeConversion.h"
#include "QStringPrinter.h"
#include "SavedSheet.h"

#include <QDir>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

// The office's start-up folder, where the user keeps personal macros.
QString startupFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Halvern/XLSTART";
}

// A Basic macro "Mark" that counts up cell (1, 10) of the working copy's
// active sheet, so the saved workbook shows whether, and how often, it ran.
const char *const kMarkMacro = "Sub Mark\n"
                               "  Dim e As Object, doc As Object, cell As Object\n"
                               "  e = StarDesktop.getComponents().createEnumeration()\n"
                               "  Do While e.hasMoreElements()\n"
                               "    doc = e.nextElement()\n"
                               "    If HasUnoInterfaces(doc, \"com.sun.star.frame.XModel\") Then\n"
                               "      If LCase(Right(doc.getURL(), 16)) = \"/spreadsheet.xls\" Then\n"
                               "        cell = doc.getCurrentController().getActiveSheet().getCellByPosition(9, 0)\n"
                               "        cell.setValue(cell.getValue() + 1)\n"
                               "      End If\n"
                               "    End If\n"
                               "  Loop\n"
                               "End Sub\n";

// Writes folder/Personal.ods holding the Basic module Module1 with the given
// source: a flat document converted by a separate headless office, as a user
// would save it from the office.
bool writePersonalOds(const QString &folder, const QString &basic)
{
    QTemporaryDir work;
    writeFile(work.path() + "/Personal.fods", flatWorkbook({"Macros"}, basic));
    return convertWithSeparateOffice({work.path() + "/Personal.fods"}, "ods", folder)
           && QFileInfo::exists(folder + "/Personal.ods");
}

class MainWindowStopTest : public MainWindowFixture {
protected:
    void TearDown() override
    {
        rig.tearDown();
        QFile::remove(startupFolder() + "/Personal.ods");
    }

    QStringList savedFiles() const { return QDir(rig.output.path()).entryList({"*.xls"}, QDir::Files); }
};

TEST_F(MainWindowStopTest, UserMacroInItsFormsRunsBeforeTheSave)
{
    ASSERT_TRUE(writePersonalOds(startupFolder(), kMarkMacro));
    // The stored settings name the macro but switch it off.
    AppSettings::save("Excel Macro", "Enable", "False");
    AppSettings::save("Excel Macro", "Name", "Mark");
    ASSERT_TRUE(rig.load());
    ASSERT_FALSE(rig.w->macroSettings().enabled);
    ASSERT_EQ(rig.w->macroSettings().name, "Mark");

    struct Case {
        bool enable;
        QString name;
        QString marker; // what the macro left in cell (1, 10): "" when it did not run
        QString status; // panStatus after Stop
    };
    const QList<Case> cases{
        {false, "Mark", "", ""},
        {true, "", "", ""},
        {true, "Personal.ods!Mark", "1", ""},
        {true, "Mark", "1", ""}, // tried in spreadsheet.xls first, then runs once from Personal.ods
        {true, "NoSuchMacro", "", "User macro did NOT run."},
    };
    QStringList files;
    for (qsizetype i = 0; i < cases.size(); ++i) {
        const Case &c = cases[i];
        SCOPED_TRACE(("macro " + c.name + (c.enable ? " on" : " off")).toStdString());
        if (i > 0) {
            rig.w->setMacroSettings({c.enable, c.name});
        }
        ASSERT_TRUE(rig.start()) << rig.status().toStdString();
        EXPECT_EQ(rig.status(), "Ready"); // the personal macros loaded without a warning
        ASSERT_TRUE(rig.sendWritten("m\r\n"));
        const pid_t office = rig.officeGroup();
        rig.prompts.clear();
        rig.saveAnswer = rig.outputFile(QString("macro%1.xls").arg(i));
        ASSERT_TRUE(rig.stop()) << "awaited the end of Stop";
        EXPECT_EQ(rig.status(), c.status);
        EXPECT_EQ(rig.prompts.size(), 1); // the save goes on whatever the macro did
        EXPECT_TRUE(QFileInfo::exists(rig.saveAnswer));
        EXPECT_EQ(run().state(), RunState::Stopped);
        EXPECT_TRUE(MainWindowRig::officeEnded(office));
        files.append(rig.saveAnswer);
    }

    const QList<SavedSheet> sheets = SavedSheet::read(files);
    ASSERT_EQ(sheets.size(), cases.size());
    for (qsizetype i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name.toStdString());
        ASSERT_FALSE(sheets[i].isEmpty());
        EXPECT_EQ(sheets[i].at(1, 1), "m"); // the working copy, not Personal.ods, took the data
        EXPECT_EQ(sheets[i].at(1, 10), cases[i].marker);
    }
}

TEST_F(MainWindowStopTest, NothingWrittenAsksNothingAndACancelledDialogSavesNothing)
{
    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    pid_t office = rig.officeGroup();
    click(w().cmdStop);
    EXPECT_TRUE(rig.prompts.isEmpty());
    EXPECT_EQ(run().state(), RunState::Stopped);
    EXPECT_TRUE(MainWindowRig::officeEnded(office));

    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    ASSERT_TRUE(rig.sendWritten("1\r\n2\r\n"));
    office = rig.officeGroup();
    rig.saveAnswer.clear(); // the user cancels
    click(w().cmdStop);
    EXPECT_EQ(rig.prompts, QStringList{"Please rename this workbook|Excel workbook (*.xls)"});
    EXPECT_EQ(rig.status(), "");
    EXPECT_EQ(rig.w->run().spreadsheet(), nullptr);
    EXPECT_TRUE(MainWindowRig::officeEnded(office)); // quit all the same: no office left
    EXPECT_TRUE(savedFiles().isEmpty());
    // The command the box suggests saves into the documents folder, named after the run.
    const QString run = QFileInfo(rig.w->run().journal().rawPath()).completeBaseName();
    ASSERT_EQ(rig.boxes.boxes.size(), 1);
    EXPECT_TRUE(rig.boxes.boxes[0].text.endsWith("--save-as \"" + rig.documents + "/" + run + ".xlsx\""))
        << rig.boxes.boxes[0].text.toStdString();
    // The working copy on disk is still the master's copy.
    EXPECT_EQ(readFile(rig.workingCopy()), readFile(rig.programFolder + "/spreadsheet.xls"));
}

TEST_F(MainWindowStopTest, ClosingTheWindowDuringARunStopsItBeforeTheSettingsAreWritten)
{
    AppSettings::save("Excel Macro", "Name", "Before");
    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    ASSERT_TRUE(rig.sendWritten("u1\r\nu2\r\n"));
    rig.w->setMacroSettings({rig.w->macroSettings().enabled, "After"}); // changed during the run, stored at unload

    QString storedDuringStop;
    rig.onPrompt = [&storedDuringStop] { storedDuringStop = AppSettings::get("Excel Macro", "Name", "<absent>"); };
    rig.saveAnswer = rig.outputFile("unload.xls");
    const pid_t office = rig.officeGroup();
    w().close();

    EXPECT_EQ(rig.prompts.size(), 1);
    EXPECT_EQ(storedDuringStop, "Before");
    EXPECT_EQ(AppSettings::get("Excel Macro", "Name", "<absent>"), "After");
    EXPECT_EQ(run().state(), RunState::Stopped);
    EXPECT_FALSE(rig.comm->portOpen());
    EXPECT_EQ(rig.w->run().spreadsheet(), nullptr);
    EXPECT_TRUE(MainWindowRig::officeEnded(office));
    const SavedSheet sheet = SavedSheet::read(rig.saveAnswer);
    EXPECT_EQ(sheet.at(1, 1), "u1");
    EXPECT_EQ(sheet.at(2, 1), "u2");
}

TEST_F(MainWindowStopTest, ClosingTheWindowWhilePausedStopsAndSavesEveryLine)
{
    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    ASSERT_TRUE(rig.sendWritten("p1\r\n"));
    click(w().cmdPause);
    ASSERT_EQ(run().state(), RunState::Paused);
    ASSERT_TRUE(rig.sendReceived("p2\r\np3\r\n")); // arrives during the pause
    rig.saveAnswer = rig.outputFile("paused.xls");
    const pid_t office = rig.officeGroup();
    w().close();

    EXPECT_EQ(rig.prompts.size(), 1);
    EXPECT_EQ(run().state(), RunState::Stopped);
    EXPECT_TRUE(MainWindowRig::officeEnded(office));
    const SavedSheet sheet = SavedSheet::read(rig.saveAnswer);
    EXPECT_EQ(sheet.at(1, 1), "p1");
    EXPECT_EQ(sheet.at(2, 1), "p2");
    EXPECT_EQ(sheet.at(3, 1), "p3");
}

} // namespace
