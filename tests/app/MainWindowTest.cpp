#include "AppSettings.h"
#include "AcquisitionRun.h"
#include "FolderLookup.h"
#include "WaitUntil.h"
#include "FakeSerialComm.h"
#include "AppVersion.h"
#include "EmulatedInstruments.h"
#include "EmulatorMailbox.h"
#include "FakeSpreadsheet.h"
#include "FileContents.h"
#include "KeptRuns.h"
#include "RunCatalog.h"
#include "RunJournal.h"
#include "Startup.h"
#include "RecordingMessageBoxes.h"
#include "SingleInstance.h"
#include "SpreadsheetFactory.h"
#include "frmAbout.h"
#include "frmMain.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>
#include <QApplication>
#include <QMessageBox>
#include <gtest/gtest.h>

namespace {

// Counts creations; the main window alone must never start the application.
class CountingFactory : public SpreadsheetFactory {
public:
    std::shared_ptr<SpreadsheetApp> create() override
    {
        ++creates;
        throw SpreadsheetError(SpreadsheetError::Kind::Failed, "not in this test");
    }
    int creates = 0;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        QSettings(QSettings::UserScope, "Halvern", "Halvern").clear();
        writeKeyChain("Halvern,Halvern,Quentaro Works\r\n");
    }

    void writeKeyChain(const QByteArray &text) { writeFile(folder.path() + "/KeyChain.txt", text); }

    frmMain::Services services(SerialComm &port)
    {
        return frmMain::Services{port, boxes, factory, instruments, mailbox, folder.path()};
    }

    std::unique_ptr<frmMain> makeWindow() { return std::make_unique<frmMain>(services(serial)); }

    static QString stored(const QString &section, const QString &key)
    {
        return AppSettings::get(section, key, "<absent>");
    }

    QTemporaryDir folder;
    EmulatedInstruments instruments;
    EmulatorMailbox mailbox;
    FakeSerialComm serial;
    RecordingMessageBoxes boxes;
    CountingFactory factory;
};

TEST_F(MainWindowTest, MissingKeyChainRefusesToLoadAndWritesNoSettings)
{
    QFile::remove(folder.path() + "/KeyChain.txt");
    AppSettings::save("Communication", "ComPort", "7");
    auto w = makeWindow();
    EXPECT_FALSE(w->Form_Load());
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, "Cannot open KeyChain file: " + folder.path() + "/KeyChain.txt");
    EXPECT_EQ(boxes.boxes[0].title, "Program cannot be loaded.");
    EXPECT_FALSE(w->isVisible());
    // The window closed itself; the stored settings are untouched.
    EXPECT_EQ(stored("Communication", "ComPort"), "7");
    EXPECT_EQ(stored("Excel Macro", "Enable"), "<absent>");
}

TEST_F(MainWindowTest, EmptyProductNameRefusesToLoad)
{
    for (const QByteArray &text : {QByteArray(), QByteArray(",Halvern,Quentaro Works\r\n"), QByteArray("   \r\n")}) {
        boxes.boxes.clear();
        writeKeyChain(text);
        auto w = makeWindow();
        EXPECT_FALSE(w->Form_Load()) << text.constData();
        ASSERT_EQ(boxes.boxes.size(), 1);
        EXPECT_EQ(boxes.boxes[0].text, "KeyChain file does not contain the name of this product.");
        EXPECT_EQ(boxes.boxes[0].title, "Program cannot be loaded.");
    }
    EXPECT_EQ(stored("Communication", "ComPort"), "<absent>");
}

TEST_F(MainWindowTest, CaptionIsTheFirstItemAndTheVersion)
{
    auto w = makeWindow();
    ASSERT_TRUE(w->Form_Load());
    EXPECT_EQ(w->windowTitle(), "Halvern v" + AppVersion::text());

    writeKeyChain("\"Halvern, Lab Edition\",Halvern\r\n");
    auto quoted = makeWindow();
    ASSERT_TRUE(quoted->Form_Load());
    EXPECT_EQ(quoted->windowTitle(), "Halvern, Lab Edition v" + AppVersion::text());
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(MainWindowTest, DefaultsWithNothingStoredAndWrittenAtClose)
{
    auto w = makeWindow();
    ASSERT_TRUE(w->Form_Load());
    EXPECT_EQ(w->lblComPort->text(), "COM 1");
    EXPECT_FALSE(w->macroSettings().enabled);
    EXPECT_TRUE(w->macroSettings().name.isEmpty());
    w->close();
    EXPECT_EQ(stored("Communication", "ComPort"), "1");
    EXPECT_EQ(stored("Excel Macro", "Enable"), "False");
    EXPECT_EQ(stored("Excel Macro", "Name"), "");
    EXPECT_EQ(factory.creates, 0);
    // The store is the per-user Halvern.conf (moved by XDG_CONFIG_HOME in tests).
    const QByteArray text = readFile(qEnvironmentVariable("XDG_CONFIG_HOME") + "/Halvern/Halvern.conf");
    ASSERT_FALSE(text.isEmpty());
    EXPECT_TRUE(text.contains("[Communication]\nComPort=1")) << text.constData();
    EXPECT_TRUE(text.contains("[Excel%20Macro]")) << text.constData();
}

TEST_F(MainWindowTest, SettingsRoundTrip)
{
    AppSettings::save("Communication", "ComPort", "12");
    AppSettings::save("Excel Macro", "Enable", "tRUE");
    AppSettings::save("Excel Macro", "Name", "Book.xls!Module1.Fill");
    auto w = makeWindow();
    ASSERT_TRUE(w->Form_Load());
    EXPECT_EQ(serial.commPort(), 12);
    EXPECT_EQ(w->lblComPort->text(), "COM 12");
    EXPECT_TRUE(w->macroSettings().enabled);
    EXPECT_EQ(w->macroSettings().name, "Book.xls!Module1.Fill");

    serial.setCommPort(4);
    w->setMacroSettings({false, "Other"});
    w->close();
    EXPECT_EQ(stored("Communication", "ComPort"), "4");
    EXPECT_EQ(stored("Excel Macro", "Enable"), "False");
    EXPECT_EQ(stored("Excel Macro", "Name"), "Other");
}

TEST_F(MainWindowTest, InvalidStoredValuesAreIgnoredSilently)
{
    const QStringList ports{"abc", "99", "0", "", "70000"};
    for (const QString &port : ports) {
        FakeSerialComm fresh;
        AppSettings::save("Communication", "ComPort", port);
        AppSettings::save("Excel Macro", "Enable", "maybe");
        frmMain w(services(fresh));
        w.setMacroSettings({true, QString()});
        ASSERT_TRUE(w.Form_Load());
        EXPECT_EQ(fresh.commPort(), 1) << port.toStdString();
        EXPECT_EQ(w.lblComPort->text(), "COM 1");
        EXPECT_FALSE(w.macroSettings().enabled);
    }
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(MainWindowTest, OpensInTheStoppedLayout)
{
    auto w = makeWindow();
    ASSERT_TRUE(w->Form_Load());
    w->show();
    EXPECT_TRUE(w->cmdStart->isEnabled());
    EXPECT_TRUE(w->cmdClose->isEnabled());
    EXPECT_TRUE(w->cmdComPorts->isEnabled());
    EXPECT_FALSE(w->cmdStop->isEnabled());
    EXPECT_FALSE(w->cmdPause->isEnabled());
    EXPECT_FALSE(w->cmdResume->isEnabled());
    EXPECT_TRUE(w->pauseInFront());
    EXPECT_EQ(w->cmdPause->geometry(), w->cmdResume->geometry());
    EXPECT_FALSE(w->cmdExcelMacro->isVisible());
    EXPECT_EQ(w->cmdStart->text(), "&Start");
    EXPECT_EQ(w->cmdStop->text(), "S&top");
    EXPECT_EQ(w->cmdComPorts->text(), "S&elect COM port");
    EXPECT_EQ(w->lblExcel->text(), "MS EXCEL");
    EXPECT_EQ(w->mnuTools->title(), "&Tools");
    EXPECT_EQ(w->mnuToolsDLREmulation->text(), "Emulator");
    EXPECT_EQ(w->mnuUtilities->title(), "&Utilities");
    EXPECT_EQ(w->mnuUtilitiesDownload->text(), "&Update firmware");
    EXPECT_EQ(w->mnuHelpAbout->text(), "&About...");
    EXPECT_TRUE(w->mnuUtilities->menuAction()->isVisible());
    EXPECT_EQ(w->frameGeometry().left(), 0);
}

TEST_F(MainWindowTest, ANoticeDoesNotHoldUpTheWindowAndALaterOneReplacesIt)
{
    auto w = makeWindow();
    ASSERT_TRUE(w->Form_Load());
    w->show();
    w->showNotice("first");
    w->showNotice("second"); // returns at once: nothing waits for the user
    QList<QMessageBox *> notices;
    for (QWidget *top : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(top); box && box->isVisible())
            notices.append(box);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_EQ(notices[0]->text(), "second");
    EXPECT_EQ(notices[0]->windowModality(), Qt::NonModal);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainWindowTest, AboutBoxHidesOnCloseAndIsReused)
{
    auto w = makeWindow();
    ASSERT_TRUE(w->Form_Load());
    frmAbout *about = w->aboutBox();
    EXPECT_EQ(about->windowTitle(), "About");

    QString shownVersion;
    QTimer::singleShot(0, [&] {
        shownVersion = about->lblVersion->text();
        about->lblVersion->setText("Version");
        about->close(); // the user's close box: hidden, not destroyed
    });
    w->mnuHelpAbout->trigger();
    EXPECT_EQ(shownVersion, "Version " + AppVersion::text());
    EXPECT_FALSE(about->isVisible());

    QTimer::singleShot(0, [&] {
        shownVersion = about->lblVersion->text();
        QTest::keyClick(about, Qt::Key_Escape);
    });
    w->mnuHelpAbout->trigger();
    EXPECT_EQ(w->aboutBox(), about);
    EXPECT_EQ(shownVersion, "Version " + AppVersion::text()); // rebuilt on activation
    EXPECT_FALSE(about->isVisible());
}

TEST_F(MainWindowTest, RunsWindowOpensFromTheToolsMenuOnceAndLeavesTheMainWindowUsable)
{
    auto w = makeWindow();
    ASSERT_TRUE(w->Form_Load());
    ASSERT_TRUE(w->mnuTools->actions().contains(w->mnuToolsRuns));
    EXPECT_EQ(w->mnuToolsRuns->text(), "&Runs...");
    w->mnuToolsRuns->trigger();
    frmRuns *runs = w->runsWindow();
    ASSERT_NE(runs, nullptr);
    EXPECT_TRUE(runs->isVisible());
    EXPECT_FALSE(runs->isModal());
    w->mnuToolsRuns->trigger();
    EXPECT_EQ(w->runsWindow(), runs);
    EXPECT_TRUE(w->cmdStart->isEnabled());
}

TEST_F(MainWindowTest, ARunThatEndedWithoutStopIsOfferedMadeWithEveryLineAndThenListedSaved)
{
    QByteArray lines;
    for (int i = 1; i <= 200; ++i)
        lines += QByteArray::number(i) + " :: " + QByteArray::number(i * 3) + "\r\n";
    const QString runs = RunJournal::defaultFolder();
    const QString raw = writeKeptRun(runs, "2026-12-07_14-30-00_COM5", lines + "unfinished");
    writeFile(folder.path() + "/spreadsheet.xls", "master");
    FakeSpreadsheetFactory offices;
    const std::shared_ptr<FakeSpreadsheetApp> office = offices.prepare();
    office->saveAnswers = {folder.path() + "/made.xls"};
    frmMain w(frmMain::Services{serial, boxes, offices, instruments, mailbox, folder.path()});
    ASSERT_TRUE(w.Form_Load());

    w.offerUnfinishedRuns(); // answered OK
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_TRUE(boxes.boxes[0].text.contains("Lines received: 200")) << boxes.boxes[0].text.toStdString();
    ASSERT_EQ(office->saveDialogs.size(), 1);
    const std::shared_ptr<FakeWorkbook> made = office->book("made.xls");
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(made->cell(200, 1).has_value());
    EXPECT_FALSE(made->cell(201, 1).has_value());

    const RunCatalog::Run listed = RunCatalog::scan(runs).value(0);
    EXPECT_EQ(listed.state, RunCatalog::State::Saved);
    EXPECT_EQ(listed.savedAs, folder.path() + "/made.xls");
    EXPECT_TRUE(listed.endedWithoutStop);
    w.offerUnfinishedRuns();
    EXPECT_EQ(boxes.boxes.size(), 1); // not offered again
    QDir(runs).removeRecursively();
}

TEST_F(MainWindowTest, StopClickedWhileATickWritesIsHandledAfterTheTick)
{
    writeFile(folder.path() + "/spreadsheet.xls", "master");
    const QString working = SpecialFolder::documents() + "/spreadsheet.xls";
    QFile::remove(working);
    FakeSpreadsheetFactory offices;
    const std::shared_ptr<FakeSpreadsheetApp> office = offices.prepare();
    office->saveAnswers = {folder.path() + "/saved.xls"};
    frmMain w(frmMain::Services{serial, boxes, offices, instruments, mailbox, folder.path()});
    ASSERT_TRUE(w.Form_Load());
    w.cmdStart->click();
    ASSERT_EQ(w.run().state(), RunState::Running);

    // The click comes while the tick's first write is in the office; the
    // data line and the record line go in two calls.
    office->onWrite = [&] {
        office->onWrite = nullptr;
        QMetaObject::invokeMethod(w.cmdStop, &QPushButton::click, Qt::QueuedConnection);
    };
    bool tickOver = false;
    qsizetype writesAtClick = -1;
    QObject::connect(w.cmdStop, &QPushButton::pressed, [&] {
        tickOver = w.tmrMain->isActive(); // the tick's last step switches the timer on again
        writesAtClick = office->writes.size();
    });
    serial.pending += "1\t2\r\n3 :: 4\r\n";
    ASSERT_TRUE(waitUntil([&] { return w.run().state() == RunState::Stopped; }, 10000)) << "Stop not handled";
    EXPECT_TRUE(tickOver);
    EXPECT_EQ(writesAtClick, 2);
    ASSERT_EQ(office->books.size(), 1);
    EXPECT_EQ(office->books[0]->text(2, 2), "4");
    QFile::remove(working);
}

TEST_F(MainWindowTest, SecondCopyIsRefused)
{
    const QString lockPath = folder.path() + "/halvern.lock";
    SingleInstance first(lockPath);
    ASSERT_TRUE(first.tryAcquire());

    SingleInstance second(lockPath);
    auto w = startUp(services(serial), second);
    EXPECT_EQ(w, nullptr);
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, "The spreadsheet interface GUI is already running.  Please use it.");
    EXPECT_EQ(boxes.boxes[0].title, "Cannot run more than one copy of this program.");
    EXPECT_EQ(stored("Communication", "ComPort"), "<absent>");
}

TEST_F(MainWindowTest, StaleLockOfACrashedCopyDoesNotBlock)
{
    const QString lockPath = folder.path() + "/halvern.lock";
    // A lock file naming a process that no longer exists.
    writeFile(lockPath, "999999\nhalvern\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    SingleInstance instance(lockPath);
    auto w = startUp(services(serial), instance);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_TRUE(w->isVisible());
}

} // namespace
