// Which VBA a user macro may use in this office. Every check is a macro of a
// Personal.xls made here in XLSTART, run on the working copy opened as a run
// opens it (after the start-up workbooks, not hidden) in a headless office,
// then its effect is looked at. Prints one line a feature: "works", "fails"
// with the office's reason, or "wrong" with what it did instead.
// Usage: bench_vba_check
#include "../common/PrivateHome.h"
#include "CalcSpreadsheetApp.h"
#include "CalcSpreadsheetFactory.h"
#include "MasterWorkbook.h"
#include "OfficeProbe.h"
#include "UserMacro.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
struct Check {
    const char *feature;
    const char *code; // the body of the macro
    // What the macro's effect should be; empty when it is there, else what is.
    std::function<QString(OfficeProbe &, const QString &folder)> effect;
};

QString cellIs(OfficeProbe &probe, int row, int column, const QString &expected)
{
    const QString text = probe.cell("spreadsheet.xls", 0, row, column).text;
    return text == expected ? QString() : QStringLiteral("the cell reads \"%1\", not \"%2\"").arg(text, expected);
}

QString fileStarts(const QString &path, const QByteArray &start, const char *what)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("no file ") + path;
    const QByteArray head = file.read(8);
    return head.startsWith(start) ? QString() : QStringLiteral("the file is not %1").arg(what);
}

const QByteArray kOleMagic("\xD0\xCF\x11\xE0", 4);

const std::vector<Check> kChecks = {
    {"Range.End(xlUp)", "Range(\"A1:A3\").Value = 1\nRange(\"B1\").Value = Range(\"A65536\").End(xlUp).Row",
     [](OfficeProbe &p, const QString &) { return cellIs(p, 1, 2, "3"); }},
    {"ActiveCell", "Range(\"C1\").Select\nActiveCell.Value = \"active\"",
     [](OfficeProbe &p, const QString &) { return cellIs(p, 1, 3, "active"); }},
    {"Selection", "Range(\"D1\").Select\nSelection.Value = \"selected\"",
     [](OfficeProbe &p, const QString &) { return cellIs(p, 1, 4, "selected"); }},
    {"Worksheet.Copy (to a new workbook)",
     "Dim b As Object\nSet b = ActiveWorkbook\nRange(\"B1\").Value = 3\nb.ActiveSheet.Copy\n"
     "b.Worksheets(1).Range(\"E1\").Value = ActiveWorkbook.Sheets(1).Range(\"B1\").Value\nActiveWorkbook.Close False",
     [](OfficeProbe &p, const QString &) { return cellIs(p, 1, 5, "3"); }},
    {"Workbook.ActiveSheet of a workbook that is not the active one",
     "Dim b As Object\nSet b = ActiveWorkbook\nb.ActiveSheet.Copy\nb.ActiveSheet.Range(\"E2\").Value = \"mine\"\n"
     "ActiveWorkbook.Close False",
     [](OfficeProbe &p, const QString &) { return cellIs(p, 2, 5, "mine"); }},
    {"ActiveWorkbook after the active workbook is closed",
     "ActiveSheet.Copy\nActiveWorkbook.Close False\nRange(\"E3\").Value = \"back\"",
     [](OfficeProbe &p, const QString &) { return cellIs(p, 3, 5, "back"); }},
    {"WorksheetFunction.Sum",
     "Range(\"A1:A3\").Value = 1\nRange(\"F1\").Value = WorksheetFunction.Sum(Range(\"A1:A3\"))",
     [](OfficeProbe &p, const QString &) { return cellIs(p, 1, 6, "3"); }},
    {"Range.Sort",
     "Range(\"G1\").Value = 3\nRange(\"G2\").Value = 1\nRange(\"G3\").Value = 2\n"
     "Range(\"G1:G3\").Sort Key1:=Range(\"G1\"), Order1:=xlAscending, Header:=xlNo",
     [](OfficeProbe &p, const QString &) { return cellIs(p, 1, 7, "1"); }},
    {"Worksheet.Sort.SortFields (the recorder's sort)",
     "ActiveSheet.Sort.SortFields.Clear\nActiveSheet.Sort.SortFields.Add Key:=Range(\"G1:G3\")",
     {}},
    {"Range.FormatConditions",
     "Range(\"A1:A3\").FormatConditions.Add Type:=xlCellValue, Operator:=xlGreater, "
     "Formula1:=\"0\"",
     {}},
    {"Font.Bold", "Range(\"A1\").Font.Bold = True", {}},
    {"Font.TintAndShade", "Range(\"A1\").Font.TintAndShade = 0", {}},
    {"Font.ThemeFont", "Range(\"A1\").Font.ThemeFont = xlThemeFontNone", {}},
    {"Font.Superscript", "Range(\"A1\").Font.Superscript = False", {}},
    {"Font.Subscript", "Range(\"A1\").Font.Subscript = False", {}},
    {"ChartObjects.Add, Chart.SetSourceData (one area)",
     "ActiveSheet.ChartObjects.Add(10, 10, 200, 100).Chart.SetSourceData Source:=Range(\"A1:A3\")",
     {}},
    {"Chart.SetSourceData (two areas)",
     "ActiveSheet.ChartObjects.Add(10, 120, 200, 100).Chart.SetSourceData Source:=Range(\"A1:A3,G1:G3\")",
     {}},
    {"Workbook.SaveAs FileFormat:=6 (xlCSV)",
     "Dim b As Object\nSet b = ActiveWorkbook\nRange(\"A1\").Value = 1\nb.ActiveSheet.Copy\n"
     "ActiveWorkbook.SaveAs Filename:=b.Path & \"/six.csv\", FileFormat:=6\nActiveWorkbook.Close False",
     [](OfficeProbe &, const QString &folder) { return fileStarts(folder + "/six.csv", "1", "CSV"); }},
    {"Workbook.SaveAs FileFormat:=62 (xlCSVUTF8)",
     "Dim b As Object\nSet b = ActiveWorkbook\nRange(\"A1\").Value = 1\nb.ActiveSheet.Copy\n"
     "ActiveWorkbook.SaveAs Filename:=b.Path & \"/sixty-two.csv\", FileFormat:=62\nActiveWorkbook.Close False",
     [](OfficeProbe &, const QString &folder) {
         const QStringList written = QDir(folder).entryList({"sixty-two*"}, QDir::Files);
         if (written != QStringList{"sixty-two.csv"})
             return QStringLiteral("it wrote: ") + written.join(", ");
         const QString ole = fileStarts(folder + "/sixty-two.csv", kOleMagic, "an .xls");
         return ole.isEmpty() ? QStringLiteral("an .xls file was written under the .csv name")
                              : fileStarts(folder + "/sixty-two.csv", "1", "CSV");
     }},
    {"Workbook.SaveAs FileFormat:=56",
     "Dim b As Object\nSet b = ActiveWorkbook\nb.ActiveSheet.Copy\n"
     "ActiveWorkbook.SaveAs Filename:=b.Path & \"/copy.xls\", FileFormat:=56\n"
     "ActiveWorkbook.Close False",
     [](OfficeProbe &, const QString &folder) { return fileStarts(folder + "/copy.xls", kOleMagic, "an .xls"); }},
    {"the constant xlExcel8", "Range(\"H1\").Value = xlExcel8",
     [](OfficeProbe &p, const QString &) { return cellIs(p, 1, 8, "56"); }},
    {"Workbook.SaveCopyAs", "ActiveWorkbook.SaveCopyAs ActiveWorkbook.Path & \"/saved-copy.xls\"",
     [](OfficeProbe &, const QString &folder) { return fileStarts(folder + "/saved-copy.xls", kOleMagic, "an .xls"); }},
    {"Application.Evaluate", "Range(\"I1\").Value = Application.Evaluate(\"1+2\")",
     [](OfficeProbe &p, const QString &) { return cellIs(p, 1, 9, "3"); }},
    {"CreateObject(\"Scripting.FileSystemObject\")",
     "Dim f As Object\nSet f = CreateObject(\"Scripting.FileSystemObject\")",
     {}},
    {"Open/Print # beside ActiveWorkbook.Path",
     "Open ActiveWorkbook.Path & \"/note.txt\" For Output As #1\nPrint #1, \"note\"\nClose #1",
     [](OfficeProbe &, const QString &folder) { return fileStarts(folder + "/note.txt", "note", "the note"); }},
};
} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    usePrivateHome(home.path());
    QCoreApplication app(argc, argv);
    const QString programFolder = QCoreApplication::applicationDirPath();
    const QString documents = home.path() + "/Documents";
    const QString xlstart = home.path() + "/.local/share/Halvern/XLSTART";
    QDir().mkpath(documents);
    QDir().mkpath(xlstart);
    if (!MasterWorkbook::copyTo(programFolder, documents + "/spreadsheet.xls")) {
        std::fprintf(stderr, "no master workbook in %s\n", qPrintable(programFolder));
        return 1;
    }
    QString code;
    for (std::size_t i = 0; i < kChecks.size(); ++i)
        code += QStringLiteral("Sub Check%1()\n%2\nEnd Sub\n").arg(i).arg(QString::fromUtf8(kChecks[i].code));
    OfficeProbe().makeMacroWorkbook(xlstart + "/Personal.xls", {{"Module1", code}});

    CalcSpreadsheetFactory factory;
    std::printf("VBA in this office, on the working copy (headless, not hidden), one office a check:\n");
    for (std::size_t i = 0; i < kChecks.size(); ++i) {
        QFile::remove(documents + "/spreadsheet.xls");
        MasterWorkbook::copyTo(programFolder, documents + "/spreadsheet.xls");
        const auto office = std::dynamic_pointer_cast<CalcSpreadsheetApp>(factory.createHeadless());
        if (const std::optional<Failure> failure = UserMacro::openStartupWorkbooks(*office)) {
            std::fprintf(stderr, "%s\n", qPrintable(failure->reason));
            return 1;
        }
        office->open(documents + "/spreadsheet.xls");
        OfficeProbe probe(office->pipeName());
        const UserMacro::Result ran = UserMacro::run(*office, QStringLiteral("Personal.xls!Check%1").arg(i));
        QString verdict = QStringLiteral("works");
        if (!ran) {
            verdict = QStringLiteral("fails: ") + ran.reason.simplified();
        } else if (kChecks[i].effect) {
            const QString wrong = kChecks[i].effect(probe, documents);
            if (!wrong.isEmpty())
                verdict = QStringLiteral("wrong: ") + wrong;
        }
        std::printf("  %-50s %s\n", kChecks[i].feature, qPrintable(verdict));
        std::fflush(stdout);
        office->quit();
    }
    return 0;
}
