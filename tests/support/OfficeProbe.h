#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <memory>

class SpreadsheetApp;

// A second, independent UNO connection to an office under test, to look at
// what the component did (cell contents, read-only state) and to prepare
// documents (macro workbooks, the active sheet) the way a user would. Its
// own library (halvern_test_office): it needs the office component.
class OfficeProbe {
public:
    explicit OfficeProbe(const QString &pipeName); // throws std::runtime_error
    // With a headless office of its own, ended with the probe.
    OfficeProbe();
    ~OfficeProbe();

    using Modules = QList<QPair<QString, QString>>; // module name, code
    // Writes a workbook holding macros as a lab brings them from Excel: with
    // vba, `path` (.xls or .xlsm) holds the VBA project `project` made of the
    // modules; without, `path` (.ods) holds them as Basic modules of the
    // library "Standard".
    void makeMacroWorkbook(const QString &path, const Modules &modules, bool vba = true,
                           const QString &project = QStringLiteral("VBAProject"));

    struct Cell {
        QString type; // "EMPTY", "VALUE", "TEXT" or "FORMULA"
        double value = 0;
        QString text;    // the cell's displayed text
        QString formula; // the formula, or the content as typed
    };
    // Cell of the given sheet (0-based index) of the open document whose
    // file name is book; row and column count from 1.
    Cell cell(const QString &book, int sheet, int row, int column);
    bool readOnly(const QString &book);
    // The file names of the open documents whose window is shown.
    QStringList shownDocuments();
    void setActiveSheet(const QString &book, int sheet);
    void closeAll();

private:
    void connect(const QString &pipeName);

    struct Impl;
    std::unique_ptr<Impl> d;
    std::shared_ptr<SpreadsheetApp> m_office; // when the probe started it
};
