// Macros brought from Excel, run by the Calc component in a real headless
// office: VBA in a personal workbook opened hidden and in the working copy,
// Basic in an .ods, and how each failure is told.
#include "CalcSpreadsheetApp.h"
#include "CalcSpreadsheetFactory.h"
#include "OfficeProbe.h"
#include "VbaWorkbookMaker.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using Kind = SpreadsheetError::Kind;

namespace {
struct Failure {
    Kind kind;
    QString text;
};

Failure failureOf(SpreadsheetApp &app, const QString &macro)
{
    try {
        app.run(macro);
    } catch (const SpreadsheetError &e) {
        return {e.kind(), QString::fromStdString(e.what())};
    }
    return {Kind::Busy, "ran"};
}
} // namespace

TEST(CalcMacro, VbaAndBasicMacrosRunOnTheActiveWorkbookAndTellWhyTheyFailed)
{
    QTemporaryDir dir;
    {
        VbaWorkbookMaker maker;
        maker.make(dir.filePath("Personal.xls"),
                   {{"Module1", "Sub MarkRun()\n  Range(\"B1\").Value = \"marked\"\n"
                                "  ActiveSheet.Cells(2, 2).Value = ActiveWorkbook.Name\nEnd Sub\n"
                                "Sub Divide()\n  Dim a, b\n  b = 0\n  a = 1 / b\nEnd Sub\n"
                                "Sub Slow()\n  Wait 1500\n  Range(\"B3\").Value = \"late\"\nEnd Sub\n"},
                    {"Tools", "Sub OpenOther()\n  Workbooks.Open \"" + dir.filePath("other.xls") + "\"\nEnd Sub\n"}},
                   true, "PERSONAL");
        maker.make(dir.filePath("Broken.xlsm"), {{"Module1", "Sub Fine()\nEnd Sub\nSub Bad()\n  x = (\nEnd Sub\n"}});
        maker.make(dir.filePath("Basic.ods"),
                   {{"Module1", "Sub Hello\n  ThisComponent.Sheets(0).getCellByPosition(0, 1).setString(\"hi\")\n"
                                "End Sub\n"}},
                   false);
        maker.make(dir.filePath("spreadsheet.xls"), {{"Module1", "Sub Nothing()\nEnd Sub\n"}});
        maker.make(dir.filePath("plain.xls"), {}, false);
        maker.make(dir.filePath("other.xls"), {{"Module1", "Sub Fill()\n  Range(\"A1\").Value = 1\nEnd Sub\n"}});
    }
    CalcSpreadsheetFactory factory;
    const auto app = factory.createHeadless();
    for (const char *name : {"Personal.xls", "Broken.xlsm", "Basic.ods"})
        app->openHidden(dir.filePath(name));
    const auto book = app->open(dir.filePath("spreadsheet.xls"));
    OfficeProbe probe(dynamic_cast<CalcSpreadsheetApp &>(*app).pipeName());

    // A macro in the working copy itself; the call alone leaves it unmodified.
    EXPECT_TRUE(book->saved());
    app->run("Module1.Nothing");
    EXPECT_TRUE(book->saved());

    // The name forms; the workbook name matches whatever its letter case.
    for (const char *form :
         {"PERSONAL.XLS!MarkRun", "Personal.xls!Module1.MarkRun", "personal.xls!PERSONAL.Module1.MarkRun"}) {
        app->run(form);
        EXPECT_EQ(probe.cell("spreadsheet.xls", 0, 1, 2).text, "marked") << form;
        EXPECT_EQ(probe.cell("spreadsheet.xls", 0, 2, 2).text, "spreadsheet.xls") << form;
    }
    EXPECT_EQ(probe.cell("Personal.xls", 0, 1, 2).type, "EMPTY");
    // The same with a working copy that holds no macros at all.
    app->open(dir.filePath("plain.xls"));
    app->run("PERSONAL.XLS!MarkRun");
    EXPECT_EQ(probe.cell("plain.xls", 0, 2, 2).text, "plain.xls");
    app->run("Basic.ods!Hello");
    EXPECT_EQ(probe.cell("Basic.ods", 0, 2, 1).text, "hi");

    // A macro that takes longer than a cell write may: the caller is kept alive meanwhile.
    int waits = 0;
    app->run("Personal.xls!Slow", [&waits] { ++waits; });
    EXPECT_GT(waits, 10);
    EXPECT_EQ(probe.cell("plain.xls", 0, 3, 2).text, "late");

    const struct {
        const char *macro;
        Kind kind;
        const char *text;
    } failures[] = {
        {"Personal.xls!Divide", Kind::Failed, "error 11: Division by zero"},
        {"Broken.xlsm!Fine", Kind::Failed, "the macro's library does not compile"},
        {"Personal.xls!Nowhere", Kind::Missing, "Personal.xls holds no macro Nowhere"},
        {"Personal.xls!Tools.MarkRun", Kind::Missing, "Personal.xls holds no macro Tools.MarkRun"},
        {"Absent.xls!MarkRun", Kind::Missing, "no open workbook is named Absent.xls"},
        {"Module1.MarkRun", Kind::Missing, "plain.xls holds no macro Module1.MarkRun"},
    };
    for (const auto &f : failures) {
        const Failure got = failureOf(*app, f.macro);
        EXPECT_EQ(got.kind, f.kind) << f.macro;
        EXPECT_TRUE(got.text.startsWith(f.text)) << f.macro << ": " << got.text.toStdString();
    }

    // A workbook a macro opens keeps the office's own macro security.
    app->run("Personal.xls!OpenOther");
    const Failure other = failureOf(*app, "other.xls!Fill");
    EXPECT_EQ(other.kind, Kind::Missing);
    EXPECT_EQ(other.text, "the macros of other.xls do not run: Halvern did not open it");
    app->quit();
}
