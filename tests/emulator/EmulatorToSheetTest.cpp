// The whole data path without an instrument: the program started as a user
// starts it, the emulator opened from the main window's menu, Start with a
// real headless office, the emulated models' output written by the main
// window's own timer, Stop with the save dialog answered, and the saved
// workbooks read back.
#include "MainWindowFixture.h"
#include "SavedSheet.h"
#include "frmEmulation.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QLineEdit>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

class EmulatorToSheetTest : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(rig.startProgram());
        rig.w->mnuToolsDLREmulation->trigger();
        emulator = rig.w->emulatorWindow();
        ASSERT_TRUE(emulator);
        ASSERT_TRUE(rig.mailbox.isActive());
    }

    template <class T>
    T *control(const char *name)
    {
        T *c = emulator->findChild<T *>(QString::fromLatin1(name));
        EXPECT_TRUE(c) << name;
        return c;
    }

    // Start, let the emulator feed the run until done() holds, then Stop with
    // the workbook saved under name; the saved path.
    QString record(const QString &name, const std::function<bool()> &done, int timeoutMs,
                   const std::function<void()> &beforeStop = {})
    {
        click(rig.w->cmdStart);
        EXPECT_EQ(run().state(), RunState::Running) << rig.status().toStdString();
        EXPECT_TRUE(waitUntil(done, timeoutMs));
        if (beforeStop)
            beforeStop();
        rig.saveAnswer = rig.outputFile(name);
        const pid_t office = rig.officeGroup();
        click(rig.w->cmdStop);
        EXPECT_EQ(run().state(), RunState::Stopped);
        EXPECT_TRUE(MainWindowRig::officeEnded(office));
        return rig.saveAnswer;
    }

    frmEmulation *emulator = nullptr;
};

TEST_F(EmulatorToSheetTest, StrataRecordLinesAndOrbisBlocksWithAnInjectedTabLine)
{
    // Strata, as the window loads: measurement and temperature limits at 50.
    ASSERT_EQ(control<QComboBox>("cboMachine")->currentText(), "Strata");
    const QString strata = record(
        "strata.xls", [this] { return run().nextRow() >= 4; }, 10000);

    // VX-Orbis, an end-of-line group after every three readings.
    auto *machine = control<QComboBox>("cboMachine");
    control<QLineEdit>("txtEOLFrequency")->setText("3");
    machine->setCurrentIndex(machine->findText("VX-Orbis"));
    // Orbis output has replaced the last Strata line in the mailbox.
    ASSERT_TRUE(waitUntil([this] { return !rig.mailbox.output().contains("::"); }, 5000));
    auto *injectTab = control<QCheckBox>("chkInjectTab");
    std::int16_t injectedColumn = 0;
    const QString orbis = record(
        "orbis.xls", [this] { return rig.w->run().blockColumn() >= 4; }, 15000,
        [&] {
            // Ask for one TAB line; the next reading becomes "9999", TAB,
            // "10000". Then the output is stopped (a half-typed machine name)
            // before a later block could write over the second field.
            injectTab->click();
            EXPECT_TRUE(rig.mailbox.injectTabRequested());
            EXPECT_TRUE(waitUntil([&] { return !injectTab->isChecked(); }, 5000));
            EXPECT_FALSE(rig.mailbox.injectTabRequested());
            injectedColumn = rig.w->run().blockColumn();
            machine->setEditText("VX-Orb");
            // The last piece posted is still taken.
            EXPECT_TRUE(waitUntil([this] { return rig.mailbox.output().isEmpty(); }, 5000));
        });
    EXPECT_EQ(rig.prompts.size(), 2);

    const QList<SavedSheet> sheets = SavedSheet::read({strata, orbis});
    ASSERT_EQ(sheets.size(), 2);

    const SavedSheet &s = sheets[0];
    ASSERT_GE(s.rowCount(), 3);
    const QRegularExpression date("^\\d\\d-\\d\\d-\\d{4}$");
    const QRegularExpression time("^\\d\\d:\\d\\d:\\d\\d$");
    for (int row = 1; row <= 3; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(s.at(row, 1), "0");
        EXPECT_EQ(s.at(row, 2), "0"); // index 0000, a number in the sheet
        EXPECT_TRUE(date.match(s.at(row, 3)).hasMatch()) << s.at(row, 3).toStdString();
        EXPECT_TRUE(time.match(s.at(row, 4)).hasMatch()) << s.at(row, 4).toStdString();
        EXPECT_EQ(s.at(row, 5), "50");
        EXPECT_EQ(s.at(row, 6), "(RAW)");
        EXPECT_EQ(s.at(row, 7), "50");
        EXPECT_EQ(s.at(row, 8), "(C)");
        EXPECT_EQ(s.at(row, 9), "");
    }
    const QDate today = QDate::currentDate();
    EXPECT_TRUE(s.at(1, 3) == today.toString("MM-dd-yyyy") || s.at(1, 3) == today.addDays(-1).toString("MM-dd-yyyy"))
        << s.at(1, 3).toStdString();

    // Orbis: the first block starts in row 1 of column 1 without a stamp;
    // every later block has its time stamp in row 1 and readings below.
    const SavedSheet &o = sheets[1];
    ASSERT_FALSE(o.isEmpty());
    ASSERT_GE(injectedColumn, 4);
    int fullBlocks = 0;
    int injected = 0;
    for (int row = 1; row <= o.rowCount(); ++row)
        for (int column = 1; column <= o.rows[row - 1].size(); ++column) {
            const QString cell = o.at(row, column);
            if (cell == "10000") {
                ++injected;
                EXPECT_EQ(o.at(row, column - 1), "9999") << "row " << row << " column " << column;
                EXPECT_EQ(column - 1, injectedColumn);
            }
        }
    EXPECT_EQ(injected, 1);
    EXPECT_TRUE(o.at(1, 1) == "9999" || o.at(1, 1) == "") << o.at(1, 1).toStdString();
    for (int column = 2; column <= injectedColumn; ++column) {
        SCOPED_TRACE(column);
        ASSERT_TRUE(SavedSheet::isHours(o.at(1, column))) << o.at(1, column).toStdString();
        int readings = 0;
        while (o.at(2 + readings, column) == "9999")
            ++readings;
        EXPECT_EQ(o.at(2 + readings, column), "") << "only readings below the stamp";
        if (column < injectedColumn && readings == 3)
            ++fullBlocks;
    }
    // A piece can be lost when the machine is very busy; most blocks are whole.
    EXPECT_GE(fullBlocks, 1);
}

} // namespace
