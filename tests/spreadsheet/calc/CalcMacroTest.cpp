// Macros brought from Excel, run by the Calc component in a real headless
// office: VBA in workbooks opened hidden, Basic in an .ods, the macro's
// ActiveWorkbook, and how each failure is told.
#include "CalcSpreadsheetApp.h"
#include "CalcSpreadsheetFactory.h"
#include "OfficeProbe.h"
#include "QStringPrinter.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using Kind = SpreadsheetError::Kind;

TEST(CalcMacro, VbaAndBasicMacrosRunOnTheActiveWorkbookAndTellWhyTheyFailed)
{
    QTemporaryDir dir;
    const auto app = CalcSpreadsheetFactory().createHeadless();
    OfficeProbe probe(dynamic_cast<CalcSpreadsheetApp &>(*app).pipeName());
    probe.makeMacroWorkbook(
        dir.filePath("Personal.xls"),
        {{"Module1", "Sub MarkRun()\n  Range(\"B1\").Value = ActiveWorkbook.Name\nEnd Sub\n"
                     "Sub Divide()\n  Dim a, b\n  a = 1 / b\nEnd Sub\n"
                     "Sub Slow()\n  Wait 1500\nEnd Sub\n"},
         {"Tools", "Sub OpenOther()\n  Workbooks.Open \"" + dir.filePath("other.xls") + "\"\nEnd Sub\n"}},
        true, "PERSONAL");
    probe.makeMacroWorkbook(dir.filePath("Broken.xlsm"),
                            {{"Module1", "Sub Fine()\nEnd Sub\nSub Bad()\n  x = (\nEnd Sub\n"}});
    probe.makeMacroWorkbook(
        dir.filePath("Basic.ods"),
        {{"Module1", "Sub Hello\n"
                     "  ThisComponent.Sheets(0).getCellByPosition(0, 1).setString(\"hi\")\nEnd Sub\n"}},
        false);
    probe.makeMacroWorkbook(dir.filePath("spreadsheet.xls"), {{"Module1", "Sub Nothing()\nEnd Sub\n"}});
    probe.makeMacroWorkbook(dir.filePath("plain.xls"), {}, false);
    probe.makeMacroWorkbook(dir.filePath("other.xls"), {{"Module1", "Sub Fill()\nEnd Sub\n"}});
    for (const char *name : {"Personal.xls", "Broken.xlsm", "Basic.ods"})
        app->openHidden(dir.filePath(name));

    // A macro of the working copy itself; the call alone leaves it unmodified.
    const auto book = app->open(dir.filePath("spreadsheet.xls"));
    app->run("Module1.Nothing");
    EXPECT_TRUE(book->saved());
    // The name forms; the workbook name matches whatever its letter case. The
    // active workbook is the one opened last, with VBA of its own or without.
    for (const char *working : {"spreadsheet.xls", "plain.xls"}) {
        if (QString(working) == "plain.xls")
            app->open(dir.filePath(working));
        for (const char *form :
             {"PERSONAL.XLS!MarkRun", "Personal.xls!Module1.MarkRun", "personal.xls!PERSONAL.Module1.MarkRun"}) {
            app->run(form);
            EXPECT_EQ(probe.cell(working, 0, 1, 2).text, working) << form;
        }
    }
    EXPECT_EQ(probe.cell("Personal.xls", 0, 1, 2).type, "EMPTY");
    app->run("Basic.ods!Hello");
    EXPECT_EQ(probe.cell("Basic.ods", 0, 2, 1).text, "hi");

    // Longer than a cell write may take: the caller is called back meanwhile.
    int waits = 0;
    app->run("Personal.xls!Slow", [&waits] { ++waits; });
    EXPECT_GT(waits, 10);

    const struct {
        QString macro;
        Kind kind;
        QString text;
    } failures[] = {
        {"Personal.xls!Divide", Kind::Failed, "error 11: Division by zero."},
        {"Broken.xlsm!Fine", Kind::Failed, "the macro's library does not compile"},
        {"Personal.xls!Nowhere", Kind::Missing, "Personal.xls holds no macro Nowhere"},
        {"Personal.xls!Tools.MarkRun", Kind::Missing, "Personal.xls holds no macro Tools.MarkRun"},
        {"Absent.xls!MarkRun", Kind::Missing, "no open workbook is named Absent.xls"},
        // A workbook a macro opens keeps the office's own macro security; it
        // is the active one now, as in Excel.
        {"other.xls!Fill", Kind::Missing, "the macros of other.xls do not run: Halvern did not open it"},
        {"Module1.Fill", Kind::Missing, "the macros of other.xls do not run: Halvern did not open it"},
    };
    app->run("Personal.xls!OpenOther");
    for (const auto &f : failures) {
        try {
            app->run(f.macro);
            ADD_FAILURE() << f.macro.toStdString() << " ran";
        } catch (const SpreadsheetError &e) {
            EXPECT_EQ(e.kind(), f.kind) << f.macro.toStdString();
            EXPECT_EQ(QString::fromStdString(e.what()), f.text);
        }
    }
    app->quit();
}
