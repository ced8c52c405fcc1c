#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <variant>

// A failure of a spreadsheet call. Callers only tell a busy application (the
// call was rejected, 0x80010001: the user is editing a cell or a dialog is
// open) from every other failure.
class SpreadsheetError : public std::runtime_error {
public:
    enum class Kind {
        Busy,   // call rejected by the callee; a later call may succeed
        Gone,   // the application has ended or cannot be reached
        Failed, // the call itself failed (file not found, macro missing, ...)
    };
    static constexpr std::uint32_t kCallRejected = 0x80010001u;

    SpreadsheetError(Kind kind, const QString &message, bool stillRunning = false)
        : std::runtime_error(message.toStdString()), m_kind(kind), m_stillRunning(stillRunning) {}
    Kind kind() const { return m_kind; }
    bool isBusy() const { return m_kind == Kind::Busy; }
    // Busy because the call was started but not answered within its time
    // limit: it goes on in the application and ends later, written or failed
    // (see SpreadsheetApp::lateWrite()).
    bool stillRunning() const { return m_stillRunning; }

private:
    Kind m_kind;
    bool m_stillRunning;
};

// A cell value: text, or a number. Text that is a plain decimal number is
// stored as a number by the application; nothing is ever evaluated as a formula.
using CellValue = std::variant<QString, double>;

// One open workbook. Every call may throw SpreadsheetError.
class Workbook {
public:
    virtual ~Workbook() = default;
    virtual QString name() = 0;            // file name without folder
    virtual void activate() = 0;           // make it the active workbook
    virtual bool saved() = 0;              // true when nothing is unsaved
    virtual void saveAs(const QString &path) = 0;
};

// One instance of the spreadsheet application, driven by automation. Every
// call may throw SpreadsheetError; a call the application does not complete
// within about a second throws Busy instead of waiting.
class SpreadsheetApp {
public:
    virtual ~SpreadsheetApp() = default;

    // Workbooks.Open
    virtual std::shared_ptr<Workbook> open(const QString &path) = 0;
    // Application.Visible
    virtual void setVisible(bool visible) = 0;
    // Application.StartupPath: folder of the user's Personal macro workbook.
    virtual QString startupPath() = 0;
    // Application.Cells(row, column).Value = value, on the active sheet of the
    // active workbook at the moment of the call; row and column count from 1.
    virtual void setCell(std::int32_t row, std::int32_t column, const CellValue &value) = 0;
    // The same for consecutive cells of one row, from `column` on, in one call.
    virtual void setCells(std::int32_t row, std::int32_t column, const QList<CellValue> &values) = 0;
    // Consecutive rows at once: rows[i] goes to row + i, from `column` on.
    // Rows may differ in length; an empty one writes nothing. An application
    // may write them in fewer calls than one a row; this one writes row by row.
    // On failure some of the rows may have been written.
    virtual void setRows(std::int32_t row, std::int32_t column, const QList<QList<CellValue>> &rows)
    {
        for (qsizetype i = 0; i < rows.size(); ++i)
            if (!rows[i].isEmpty())
                setCells(row + static_cast<std::int32_t>(i), column, rows[i]);
    }
    // The end of the last cell write that threw Busy with stillRunning():
    // Running while the application still works on it (every other write is
    // refused as Busy meanwhile), then Written or Failed, told once; None when
    // no such write is outstanding or its end was told already.
    enum class LateWrite { None, Running, Written, Failed };
    virtual LateWrite lateWrite() { return LateWrite::None; }
    // Application.Run: raises an error when the macro cannot be run.
    virtual void run(const QString &macro) = 0;
    // Application.Workbooks, in the application's order.
    virtual QList<std::shared_ptr<Workbook>> workbooks() = 0;
    // Application.GetSaveAsFilename: the chosen full path, or "False" on cancel.
    virtual QString getSaveAsFilename(const QString &initialFilename, const QString &fileFilter,
                                      const QString &title) = 0;
    // Application.Quit
    virtual void quit() = 0;
};

// Creates a new application instance ("create Application"); throws
// SpreadsheetError when the application is not installed or does not start.
class SpreadsheetFactory {
public:
    virtual ~SpreadsheetFactory() = default;
    virtual std::shared_ptr<SpreadsheetApp> create() = 0;
};
