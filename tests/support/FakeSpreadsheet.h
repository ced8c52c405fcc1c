#pragma once

#include "SpreadsheetFactory.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class FakeSpreadsheetApp;

// A workbook of the fake spreadsheet: cells per sheet, a saved flag, and the
// path it was opened from or saved to.
class FakeWorkbook : public Workbook {
public:
    FakeWorkbook(FakeSpreadsheetApp *app, const QString &path);

    QString name() override;
    void activate() override;
    bool saved() override;
    void saveAs(const QString &path) override;
    UsedArea usedArea() override;
    void setCustomProperties(const Properties &set) override;
    Properties customProperties() override;
    QList<SheetValues> values() override;

    using Cells = QMap<QPair<std::int32_t, std::int32_t>, CellValue>; // (row, column)

    // The cell (row, column) of a sheet; empty when never written.
    std::optional<CellValue> cell(std::int32_t row, std::int32_t column, const QString &sheet = QString()) const;
    // Text of a cell; "" when empty or a number.
    QString text(std::int32_t row, std::int32_t column, const QString &sheet = QString()) const;

    QString path;
    QString fileName; // what name() answers
    QString activeSheet = QStringLiteral("Sheet1");
    QMap<QString, Cells> sheets; // sheet name -> cells
    bool isSaved = true;
    QStringList savedAs;   // every saveAs path, in order
    UsedArea area;         // what usedArea() answers; grows with each write
    Properties properties; // the custom document properties

private:
    FakeSpreadsheetApp *m_app;
};

// A spreadsheet application for logic tests. It keeps workbooks and cells in
// memory, records what the program asked of it, and fails on demand:
//  - gone: every call throws Gone (also after quit());
//  - cellFailure: every cell write throws that kind while set;
//  - lastRow / lastColumn: a write reaching beyond them throws Failed, as the
//    office does for cells outside its sheet;
//  - timeOut: a write call for which it answers true outlives its time limit:
//    it throws Busy (still running) and is held until finishLateWrite();
//    meanwhile every other write is refused as Busy;
//  - failOpen / failVisible: those calls throw Failed;
//  - macros: the macro names run() accepts, compared without regard to case;
//    failingMacros: those found but failing, with the reason they throw.
// With keepCells false it only counts what it is given (cellsWritten), so a
// long run does not fill memory.
class FakeSpreadsheetApp : public SpreadsheetApp {
public:
    std::shared_ptr<Workbook> open(const QString &path) override;
    // Recorded in `opened` and `hidden`; the active workbook stays.
    std::shared_ptr<Workbook> openHidden(const QString &path) override;
    void setVisible(bool visible) override;
    QString startupPath() override;
    void setCell(std::int32_t row, std::int32_t column, const CellValue &value) override;
    void setCells(std::int32_t row, std::int32_t column, const QList<CellValue> &values) override;
    // Counted in rowBatches, then written row by row (each row one Write);
    // a time-out holds the whole call.
    void setRows(std::int32_t row, std::int32_t column, const QList<QList<CellValue>> &rows) override;
    LateWrite lateWrite() override;
    QString addSheet() override;
    void run(const QString &macro, const std::function<void()> &waiting = {}) override;
    QList<std::shared_ptr<Workbook>> workbooks() override;
    std::optional<QString> getSaveAsFilename(const QString &initialFilename, const QString &fileFilter,
                                             const QString &title) override;
    void quit() override;

    // One cell write call as the program made it.
    struct Write {
        std::int32_t row;
        std::int32_t column;
        QList<CellValue> values;
    };
    struct SaveDialog {
        QString initialFilename;
        QString fileFilter;
        QString title;
    };

    std::shared_ptr<FakeWorkbook> activeBook() const { return m_active.lock(); }
    std::shared_ptr<FakeWorkbook> book(const QString &name) const;
    void setActive(const std::shared_ptr<FakeWorkbook> &book) { m_active = book; }

    QList<std::shared_ptr<FakeWorkbook>> books; // open workbooks, in opening order
    QList<Write> writes;                        // every successful cell write call
    int rowBatches = 0;                         // setRows calls
    QStringList addedSheets;                    // addSheet() results, in order
    int failedWrites = 0;                       // cell write calls that threw
    qint64 cellsWritten = 0;                    // cells of every successful write call
    QStringList opened;                         // every open() path, failed ones too
    QStringList runs;                           // every run() argument, failed ones too
    QSet<QString> macros;                       // macros run() accepts (lower case)
    QMap<QString, QString> failingMacros;       // lower-case name -> reason
    QStringList hidden;                         // every openHidden() path
    QList<SaveDialog> saveDialogs;
    QStringList saveAnswers; // answered in turn; cancelled when used up
    QString startup;         // startupPath()
    bool visible = false;
    int quitCount = 0;

    bool gone = false;
    std::optional<SpreadsheetError::Kind> cellFailure;
    std::int32_t lastRow = 1048576;
    std::int32_t lastColumn = 16384;
    std::function<bool()> timeOut;
    bool keepCells = true;
    // Ends the write held by timeOut: its cells land now when `written`.
    void finishLateWrite(bool written);
    bool lateWriteRunning() const { return m_held.has_value(); }
    QSet<QString> failOpen; // paths whose open() fails
    bool failVisible = false;
    // Called at the start of each cell write call, e.g. to act as a user would.
    std::function<void()> onWrite;
    // Called as a macro found runs, on the thread that runs it: a macro that
    // waits for the user holds it.
    std::function<void()> onRun;

private:
    void check() const;
    // Throws what a write call meets before it is carried out (failures,
    // a held late write); true when this call is to be held itself.
    bool startWrite();
    void writeCells(std::int32_t row, std::int32_t column, const QList<CellValue> &values);
    void store(std::int32_t row, std::int32_t column, const QList<CellValue> &values);

    struct Held {
        std::int32_t row;
        std::int32_t column;
        QList<QList<CellValue>> rows;
    };
    std::optional<Held> m_held;
    LateWrite m_lateEnd = LateWrite::None;

    std::weak_ptr<FakeWorkbook> m_active;
};

// Creates FakeSpreadsheetApps. prepare() hands out the next one for set-up
// before the program creates it; failCreate makes create() throw Failed.
class FakeSpreadsheetFactory : public SpreadsheetFactory {
public:
    std::shared_ptr<SpreadsheetApp> create() override;

    std::shared_ptr<FakeSpreadsheetApp> prepare();
    // The most recently created application, or null.
    std::shared_ptr<FakeSpreadsheetApp> last() const { return created.isEmpty() ? nullptr : created.last(); }

    QList<std::shared_ptr<FakeSpreadsheetApp>> created;
    bool failCreate = false;

private:
    std::shared_ptr<FakeSpreadsheetApp> m_prepared;
};
