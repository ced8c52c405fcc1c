// The Calc component against a real headless LibreOffice.
#include "CalcSpreadsheetApp.h"
#include "CalcSpreadsheetFactory.h"
#include "FileContents.h"
#include "FlatWorkbook.h"
#include "OfficeFolders.h"
#include "OfficeProbe.h"
#include "OfficeProcess.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Kind = SpreadsheetError::Kind;

namespace {
CalcSpreadsheetApp &calcOf(const std::shared_ptr<SpreadsheetApp> &app)
{
    return dynamic_cast<CalcSpreadsheetApp &>(*app);
}

template <class F>
Kind failureOf(F f)
{
    try {
        f();
    } catch (const SpreadsheetError &e) {
        return e.kind();
    }
    ADD_FAILURE() << "no SpreadsheetError thrown";
    return Kind::Failed;
}

std::shared_ptr<Workbook> bookNamed(SpreadsheetApp &app, const QString &name)
{
    for (const auto &book : app.workbooks())
        if (book->name() == name)
            return book;
    return nullptr;
}

QStringList officeFolders()
{
    return QDir(OfficeFolders::dataRoot()).entryList({"office-*"}, QDir::Dirs | QDir::NoDotAndDotDot);
}
} // namespace

TEST(CalcOffice, MissingOfficeFailsAndLeavesNothing)
{
    CalcSpreadsheetFactory factory({}, "/nonexistent/libreoffice/soffice");
    EXPECT_EQ(failureOf([&] { factory.create(); }), Kind::Failed);
    EXPECT_TRUE(officeFolders().isEmpty());
}

TEST(CalcOffice, OfficeThatNeverAnswersIsEndedAfterTheLimit)
{
    QTemporaryDir work;
    const QString fake = work.filePath("soffice");
    const QString pidFile = work.filePath("pid");
    writeFile(fake, QString("#!/bin/sh\necho $$ > '%1'\nexec sleep 60\n").arg(pidFile).toUtf8());
    QFile::setPermissions(fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    CalcSpreadsheetFactory factory({}, fake);
    factory.setConnectTimeout(1500ms);
    EXPECT_EQ(failureOf([&] { factory.create(); }), Kind::Failed);
    const int pid = readFile(pidFile).trimmed().toInt();
    ASSERT_GT(pid, 0);
    EXPECT_FALSE(OfficeProcess::groupAlive(pid));
    EXPECT_TRUE(officeFolders().isEmpty());
}

TEST(CalcOffice, WritesAreStoredAsNumbersOrLiteralTextAndSurviveSaveAsXls)
{
    QTemporaryDir work;
    const QString flat = work.filePath("master.fods");
    writeFile(flat, flatWorkbook({"Data", "Other"}));
    const QString master = work.filePath("spreadsheet.xls");
    const QString filled = work.filePath("filled.xls");

    CalcSpreadsheetFactory factory;
    {
        auto app = factory.create();
        auto &calc = calcOf(app);
        const QString folder = calc.instanceFolder();
        EXPECT_TRUE(folder.startsWith(OfficeFolders::dataRoot() + "/office-"));
        EXPECT_TRUE(QDir(folder).exists());

        // Make the master: an Excel 97 workbook with two sheets.
        app->open(flat)->saveAs(master);
        ASSERT_TRUE(QFileInfo(master).size() > 0);
        EXPECT_EQ(readFile(master).left(4).toHex(), "d0cf11e0"); // a compound file, as .xls is

        auto book = app->open(master);
        EXPECT_EQ(book->name(), "spreadsheet.xls");
        EXPECT_TRUE(book->saved());
        EXPECT_TRUE(QFile::exists(OfficeFolders::lockFilePath(master)));

        app->setCell(1, 1, QString("5.1"));
        app->setCell(2, 1, QString("-3"));
        app->setCell(3, 1, QString("1e5"));
        app->setCell(4, 1, QString("0001"));
        app->setCell(5, 1, QString("=1+1"));
        app->setCell(6, 1, QString("=WEBSERVICE(\"http://127.0.0.1:9/x\")"));
        app->setCell(7, 1, QString("06/12/2026"));
        app->setCell(8, 1, 14.5);
        app->setCell(9, 1, QString(""));
        app->setCells(10, 1,
                      {QString("1"), QString("0001"), QString("06/12/2026"), QString("14:30:00"), QString("523"),
                       QString("X"), 2.25, QString("=A1*2")});
        EXPECT_FALSE(book->saved());
        // Cells outside the sheet are a failure, not a busy office.
        EXPECT_EQ(failureOf([&] { app->setCell(0, 1, QString("x")); }), Kind::Failed);
        EXPECT_EQ(failureOf([&] { app->setCells(1, 20000, {QString("x"), QString("y")}); }), Kind::Failed);
        app->setCell(11, 1, QString("still fine"));
        // A backlog in one call: rows of different lengths, an empty one skipped.
        app->setRows(12, 3,
                     {{QString("a"), QString("1")},
                      {QString("b"), QString("2")},
                      {},
                      {QString("c")},
                      {QString("d"), 4.5, QString("=x")}});

        // Workbooks.Open makes the opened workbook the active one; activating
        // another moves later writes there, as does the user switching sheets.
        auto first = bookNamed(*app, "spreadsheet.xls");
        ASSERT_TRUE(first);
        OfficeProbe probe(calc.pipeName());
        probe.setActiveSheet("spreadsheet.xls", 1);
        app->setCell(1, 2, QString("on the other sheet"));
        EXPECT_EQ(probe.cell("spreadsheet.xls", 1, 1, 2).text, "on the other sheet");
        EXPECT_EQ(probe.cell("spreadsheet.xls", 0, 1, 2).type, "EMPTY");
        probe.setActiveSheet("spreadsheet.xls", 0);

        EXPECT_EQ(app->getSaveAsFilename("", "Excel workbook,*.xls", "Please rename this workbook"), std::nullopt);
        book->saveAs(filled);
        EXPECT_TRUE(book->saved());
        EXPECT_EQ(book->name(), "filled.xls");

        app->quit();
        // Nothing of ours is left: no process, no lock files, no folders.
        EXPECT_FALSE(OfficeProcess::groupAlive(calc.processGroup()));
        EXPECT_FALSE(QFile::exists(OfficeFolders::lockFilePath(master)));
        EXPECT_FALSE(QFile::exists(OfficeFolders::lockFilePath(filled)));
        EXPECT_FALSE(QDir(folder).exists());
        EXPECT_EQ(failureOf([&] { app->setCell(1, 1, QString("late")); }), Kind::Gone);
        EXPECT_EQ(failureOf([&] { book->name(); }), Kind::Gone);
    }

    // Read the saved file back in a fresh office; this one has a save dialog.
    QStringList asked;
    CalcSpreadsheetFactory withDialog([&](const QString &title, const QString &filter) {
        asked << title << filter;
        return work.filePath("chosen.xls");
    });
    auto app = withDialog.create();
    EXPECT_EQ(app->getSaveAsFilename("", "Excel workbook,*.xls", "Please rename this workbook"),
              work.filePath("chosen.xls"));
    EXPECT_EQ(asked, QStringList({"Please rename this workbook", "Excel workbook (*.xls)"}));
    const QString startup = app->startupPath();
    EXPECT_EQ(startup, OfficeFolders::dataRoot() + "/XLSTART");
    EXPECT_TRUE(QDir(startup).exists());
    auto &calc = calcOf(app);
    app->open(filled);
    OfficeProbe probe(calc.pipeName());
    auto cell = [&](int row, int column) { return probe.cell("filled.xls", 0, row, column); };
    EXPECT_EQ(cell(1, 1).type, "VALUE");
    EXPECT_DOUBLE_EQ(cell(1, 1).value, 5.1);
    EXPECT_DOUBLE_EQ(cell(2, 1).value, -3);
    EXPECT_DOUBLE_EQ(cell(3, 1).value, 100000);
    EXPECT_EQ(cell(4, 1).type, "VALUE");
    EXPECT_DOUBLE_EQ(cell(4, 1).value, 1);
    EXPECT_EQ(cell(5, 1).type, "TEXT");
    EXPECT_EQ(cell(5, 1).text, "=1+1");
    EXPECT_EQ(cell(6, 1).type, "TEXT");
    EXPECT_EQ(cell(6, 1).text, "=WEBSERVICE(\"http://127.0.0.1:9/x\")");
    EXPECT_EQ(cell(7, 1).type, "TEXT");
    EXPECT_EQ(cell(7, 1).text, "06/12/2026");
    EXPECT_DOUBLE_EQ(cell(8, 1).value, 14.5);
    EXPECT_EQ(cell(9, 1).type, "EMPTY");
    EXPECT_EQ(cell(11, 1).text, "still fine");
    const QStringList row10{"1", "1", "06/12/2026", "14:30:00", "523", "X", "2.25", "=A1*2"};
    const QStringList types10{"VALUE", "VALUE", "TEXT", "TEXT", "VALUE", "TEXT", "VALUE", "TEXT"};
    for (int c = 0; c < row10.size(); ++c) {
        EXPECT_EQ(cell(10, c + 1).text, row10[c]) << c;
        EXPECT_EQ(cell(10, c + 1).type, types10[c]) << c;
    }
    EXPECT_EQ(probe.cell("filled.xls", 1, 1, 2).text, "on the other sheet");
    EXPECT_EQ(cell(12, 3).text, "a");
    EXPECT_DOUBLE_EQ(cell(12, 4).value, 1);
    EXPECT_EQ(cell(13, 3).text, "b");
    EXPECT_DOUBLE_EQ(cell(13, 4).value, 2);
    EXPECT_EQ(cell(14, 3).type, "EMPTY");
    EXPECT_EQ(cell(15, 3).text, "c");
    EXPECT_EQ(cell(15, 4).type, "EMPTY");
    EXPECT_EQ(cell(16, 3).text, "d");
    EXPECT_DOUBLE_EQ(cell(16, 4).value, 4.5);
    EXPECT_EQ(cell(16, 5).type, "TEXT");
    EXPECT_EQ(cell(16, 5).text, "=x");

    // Macros: "Book!Macro", a plain name in the active workbook, and
    // Module.Macro; a macro that is not there is an error.
    const QString macros = work.filePath("macros.fods");
    writeFile(macros, flatWorkbook({"Data", "Other"},
                                   "Sub Mark\n  ThisComponent.Sheets(0).getCellByPosition(4, 0).setValue(42)\nEnd Sub\n"
                                   "Private Sub MarkAgain()\n  ThisComponent.Sheets(0).getCellByPosition(4, "
                                   "1).setString(\"again\")\nEnd Sub\n"));
    app->open(macros);
    app->run("macros.fods!Mark");
    EXPECT_DOUBLE_EQ(probe.cell("macros.fods", 0, 1, 5).value, 42);
    app->run("Module1.MarkAgain");
    EXPECT_EQ(probe.cell("macros.fods", 0, 2, 5).text, "again");
    app->run("MACROS.FODS!Standard.Module1.Mark");
    EXPECT_EQ(failureOf([&] { app->run("filled.xls!Mark"); }), Kind::Missing);
    EXPECT_EQ(failureOf([&] { app->run("macros.fods!Missing"); }), Kind::Missing);
    EXPECT_EQ(failureOf([&] { app->run("Missing"); }), Kind::Missing);
    EXPECT_EQ(failureOf([&] { app->run("nobook.xls!Mark"); }), Kind::Missing);
    EXPECT_EQ(failureOf([&] { app->run("Module2.Mark"); }), Kind::Missing);

    // The other formats by their extension; the workbook stays modified-free.
    auto macroBook = bookNamed(*app, "macros.fods");
    ASSERT_TRUE(macroBook);
    macroBook->saveAs(work.filePath("copy.xlsx"));
    macroBook->saveAs(work.filePath("copy.ods"));
    EXPECT_EQ(macroBook->name(), "copy.ods");
    for (const char *file : {"copy.xlsx", "copy.ods"})
        EXPECT_EQ(readFile(work.filePath(file)).left(2), "PK") << file; // both are zip packages
    EXPECT_TRUE(readFile(work.filePath("copy.ods")).contains("application/vnd.oasis.opendocument.spreadsheet"));

    // Activating a workbook sends the next writes there.
    auto filledBook = bookNamed(*app, "filled.xls");
    ASSERT_TRUE(filledBook);
    EXPECT_EQ(app->workbooks().size(), 2);
    filledBook->activate();
    app->setCell(20, 1, QString("here"));
    EXPECT_EQ(cell(20, 1).text, "here");
    EXPECT_EQ(probe.cell("copy.ods", 0, 20, 1).type, "EMPTY");

    // Once the user has closed the workbooks, writes fail instead of
    // vanishing.
    probe.closeAll();
    EXPECT_EQ(failureOf([&] { app->setCell(21, 1, QString("lost?")); }), Kind::Failed);
    EXPECT_EQ(failureOf([&] { app->open(work.filePath("missing.xls")); }), Kind::Failed);
    app->quit();
    EXPECT_FALSE(OfficeProcess::groupAlive(calc.processGroup()));
}

TEST(CalcOffice, StoppedOfficeIsBusyKilledOfficeIsGoneAndItsLockDoesNotBlock)
{
    QTemporaryDir work;
    const QString flat = work.filePath("master.fods");
    writeFile(flat, flatWorkbook({"Data", "Other"}));
    const QString book = work.filePath("spreadsheet.xls");

    CalcSpreadsheetFactory factory;
    auto first = factory.create();
    first->open(flat)->saveAs(book);
    first->open(book);
    first->setCell(1, 1, QString("before"));

    // A stopped office: the write fails as busy, later writes are refused
    // while it is pending, and after the office resumes writes work again.
    const pid_t group = calcOf(first).processGroup();
    ::kill(-group, SIGSTOP);
    EXPECT_EQ(failureOf([&] { first->setCell(2, 1, QString("stopped")); }), Kind::Busy);
    // Refused, not started: no call is left running in the office.
    try {
        first->setCell(3, 1, QString("still"));
        ADD_FAILURE() << "a write to a stopped office went through";
    } catch (const SpreadsheetError &e) {
        EXPECT_TRUE(e.isBusy()) << e.what();
        EXPECT_FALSE(e.stillRunning()) << e.what();
    }
    ::kill(-group, SIGCONT);
    const bool written = waitUntil(
        [&] {
            try {
                first->setCell(3, 1, QString("again"));
                return true;
            } catch (const SpreadsheetError &e) {
                EXPECT_TRUE(e.isBusy()) << e.what();
                return !e.isBusy();
            }
        },
        10000);
    EXPECT_TRUE(written);

    // A second create is a separate office; the first one is untouched.
    auto second = factory.create();
    EXPECT_NE(calcOf(second).processGroup(), group);
    EXPECT_NE(calcOf(second).pipeName(), calcOf(first).pipeName());

    // The first office is killed: its writes fail as gone.
    ::kill(-group, SIGKILL);
    ASSERT_TRUE(waitUntil([group] { return !OfficeProcess::groupAlive(group); }, 5000));
    EXPECT_EQ(failureOf([&] { first->setCell(4, 1, QString("dead")); }), Kind::Gone);
    EXPECT_EQ(failureOf([&] { first->setCell(4, 1, QString("dead")); }), Kind::Gone);
    EXPECT_EQ(failureOf([&] { first->workbooks(); }), Kind::Gone);
    const QString lock = OfficeFolders::lockFilePath(book);
    EXPECT_TRUE(QFile::exists(lock)); // left behind by the killed office
    const QString firstFolder = calcOf(first).instanceFolder();
    first->quit();
    first.reset();
    EXPECT_FALSE(QDir(firstFolder).exists());

    // Its lock does not stop the other office from opening the workbook for
    // editing.
    second->open(book);
    OfficeProbe probe(calcOf(second).pipeName());
    EXPECT_FALSE(probe.readOnly("spreadsheet.xls"));
    second->setCell(5, 1, QString("after"));
    EXPECT_EQ(probe.cell("spreadsheet.xls", 0, 5, 1).text, "after");

    // A workbook somebody else holds open (a lock not written by an office of
    // ours) opens read-only, without a dialog; so does one the same user
    // holds open in an office of their own.
    const QString shared = work.filePath("shared.xls");
    ASSERT_TRUE(QFile::copy(book, shared));
    writeFile(OfficeFolders::lockFilePath(shared),
              "Someone Else,someone,otherhost,01.01.2026 10:00,file:///home/someone/.config/libreoffice/4;");
    second->open(shared);
    EXPECT_TRUE(probe.readOnly("shared.xls"));
    const QString mine = work.filePath("mine.xls");
    ASSERT_TRUE(QFile::copy(book, mine));
    writeFile(OfficeFolders::lockFilePath(mine),
              QString("Me,%1,%2,01.01.2026 10:00,file://%3/.config/libreoffice/4;")
                  .arg(qEnvironmentVariable("USER", "root"), QSysInfo::machineHostName(), QDir::homePath())
                  .toUtf8());
    second->open(mine);
    EXPECT_TRUE(probe.readOnly("mine.xls"));

    // Quit ends even an office that does not answer at all, and removes the
    // lock files it leaves behind.
    const pid_t secondGroup = calcOf(second).processGroup();
    ::kill(-secondGroup, SIGSTOP);
    EXPECT_EQ(failureOf([&] { second->setCell(6, 1, QString("stuck")); }), Kind::Busy);
    second->quit();
    EXPECT_FALSE(OfficeProcess::groupAlive(secondGroup));
    EXPECT_FALSE(QFile::exists(lock));
    EXPECT_TRUE(QFile::exists(OfficeFolders::lockFilePath(shared))); // not ours to remove
    EXPECT_TRUE(officeFolders().isEmpty());
}

TEST(CalcOffice, AddedSheetsFollowTheActiveOneAndTakeTheWrites)
{
    QTemporaryDir work;
    const QString flat = work.filePath("book.fods");
    writeFile(flat, flatWorkbook({"Data", "Other"}));
    CalcSpreadsheetFactory factory;
    auto app = factory.create();
    const std::shared_ptr<Workbook> book = app->open(flat);
    EXPECT_EQ(book->usedArea().rows, 0);
    OfficeProbe probe(calcOf(app).pipeName());
    EXPECT_EQ(app->addSheet(), "Data 2");
    app->setCell(1, 1, QString("next sheet"));
    EXPECT_EQ(app->addSheet(), "Data 3");
    app->setCell(1, 1, QString("and the next"));
    EXPECT_EQ(probe.cell("book.fods", 1, 1, 1).text, "next sheet");
    EXPECT_EQ(probe.cell("book.fods", 2, 1, 1).text, "and the next");
    EXPECT_EQ(probe.cell("book.fods", 3, 1, 1).type, "EMPTY"); // "Other" stays last
    // The used area is the furthest row and column of any sheet.
    app->setCell(70000, 2, QString("far down"));
    app->addSheet();
    app->setCell(3, 300, QString("far right"));
    const Workbook::UsedArea area = book->usedArea();
    EXPECT_EQ(area.rows, 70000);
    EXPECT_EQ(area.columns, 300);
    probe.closeAll();
    app->quit();
}
