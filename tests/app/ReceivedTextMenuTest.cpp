// The "Received text" window opened from the main window's menu, through a
// run against the serial and spreadsheet test doubles.
#include "AcquisitionRun.h"
#include "EmulatedInstruments.h"
#include "EmulatorMailbox.h"
#include "FakeSerialComm.h"
#include "FakeSpreadsheet.h"
#include "FileContents.h"
#include "FolderLookup.h"
#include "QStringPrinter.h"
#include "RecordingMessageBoxes.h"
#include "WaitUntil.h"
#include "frmMain.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextBlock>
#include <gtest/gtest.h>

namespace {

class ReceivedTextMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings(QSettings::UserScope, "Halvern", "Halvern").clear();
        writeFile(folder.path() + "/KeyChain.txt", "Halvern,Halvern,Quentaro Works\r\n");
        writeFile(folder.path() + "/spreadsheet.xls", "master workbook");
        ASSERT_TRUE(GetFolderPath(CSIDL_PERSONAL, documents, boxes));
        QFile::remove(documents + "/spreadsheet.xls");
        app = factory.prepare();
        w = std::make_unique<frmMain>(frmMain::Services{serial, boxes, factory, instruments, mailbox, folder.path()});
        ASSERT_TRUE(w->Form_Load());
        w->show();
    }
    void TearDown() override
    {
        w->close();
        QFile::remove(documents + "/spreadsheet.xls");
    }

    QString lastShownLine() const { return w->receivedTextWindow()->view()->document()->lastBlock().text(); }

    QTemporaryDir folder;
    QString documents;
    EmulatedInstruments instruments;
    EmulatorMailbox mailbox;
    FakeSerialComm serial;
    RecordingMessageBoxes boxes;
    FakeSpreadsheetFactory factory;
    std::shared_ptr<FakeSpreadsheetApp> app;
    std::unique_ptr<frmMain> w;
};

TEST_F(ReceivedTextMenuTest, OpensBeforeARunAndShowsA50000LineBurstThatLandsWhole)
{
    w->mnuToolsReceivedText->trigger();
    ReceivedTextWindow *window = w->receivedTextWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isModal());
    EXPECT_EQ(window->windowTitle(), "Received text");
    w->mnuToolsReceivedText->trigger();
    EXPECT_EQ(w->receivedTextWindow(), window); // one window only

    w->cmdStart->click();
    ASSERT_EQ(w->run().state(), RunState::Running);
    constexpr int kLines = 50000;
    QByteArray burst;
    for (int i = 1; i <= kLines; ++i)
        burst += QByteArray::number(i) + " :: " + QByteArray::number(i % 7) + "\r\n";
    serial.pending = burst;
    ASSERT_TRUE(waitUntil([&] { return w->run().nextRow() == kLines + 1; }, 30000));
    EXPECT_TRUE(waitUntil([&] { return lastShownLine().startsWith("row 50000  "); }, 5000))
        << lastShownLine().toStdString();
    EXPECT_LE(window->view()->document()->blockCount(), 5000);

    app->saveAnswers = {documents + "/burst.xls"};
    w->cmdStop->click();
    ASSERT_EQ(app->books.value(0)->savedAs, QStringList{documents + "/burst.xls"});
    const FakeWorkbook &book = *app->books[0];
    EXPECT_EQ(book.sheets.value(book.activeSheet).size(), 2 * kLines);
    EXPECT_EQ(book.text(1, 1), "1");
    EXPECT_EQ(book.text(kLines, 2), QString::number(kLines % 7));
    // Stopped, it still shows the end of the run.
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(waitUntil([&] { return lastShownLine().startsWith("row 50000  "); }, 5000))
        << lastShownLine().toStdString();
}

} // namespace
