#pragma once

#include "SpreadsheetError.h"
#include "Workbook.h"

#include <QList>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

// One instance of the spreadsheet application, driven by automation. Every
// call may throw SpreadsheetError; a call the application does not complete
// within about a second throws Busy instead of waiting.
class SpreadsheetApp {
public:
    virtual ~SpreadsheetApp() = default;

    // Workbooks.Open
    virtual std::shared_ptr<Workbook> open(const QString &path) = 0;
    // Workbooks.Open for a workbook the program fills on its own (a rebuild,
    // a replay, a check): it becomes the active workbook, but an application
    // that writes faster into a workbook nobody looks at may leave it without
    // a view until a macro runs (run() gives it one first). This one opens
    // it as open() does.
    virtual std::shared_ptr<Workbook> openToFill(const QString &path) { return open(path); }
    // The same for a workbook the user never sees (the personal macro
    // workbooks): it stays hidden and does not become the active one.
    virtual std::shared_ptr<Workbook> openHidden(const QString &path) = 0;
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
    // Waits at most `limit`, without letting window events run, for that
    // write to end. True when it has ended (lateWrite() tells how); false
    // when it is still running or the application cannot wait for it.
    virtual bool awaitLateWrite(std::chrono::milliseconds limit)
    {
        (void)limit;
        return false;
    }
    // Adds a sheet after the active one in the active workbook and makes it
    // the active sheet (a full sheet's data goes on there). It is named
    // after the workbook's first sheet with a number ("Sheet1 2", ...).
    // Returns its name.
    virtual QString addSheet() = 0;
    // Application.Run, for "Book!Macro", "Book!Module.Macro", "Macro" or
    // "Module.Macro"; a name without a book is looked for in the active
    // workbook. Only the workbooks opened through this object are searched.
    // Returns once the macro has ended, however long it takes (it may wait
    // for the user); `waiting`, when given, is called every few tens of
    // milliseconds meanwhile. Throws Missing when the workbook or the macro
    // is not there, Failed when the macro did not run to its end; the
    // error's text is the reason ("error 11: Division by zero").
    virtual void run(const QString &macro, const std::function<void()> &waiting = {}) = 0;
    // Application.Workbooks, in the application's order.
    virtual QList<std::shared_ptr<Workbook>> workbooks() = 0;
    // Application.GetSaveAsFilename: the chosen full path; nothing when the
    // user cancels.
    virtual std::optional<QString> getSaveAsFilename(const QString &initialFilename, const QString &fileFilter,
                                                     const QString &title) = 0;
    // Application.Quit
    virtual void quit() = 0;
    // The application's name and version ("LibreOffice 7.4.7.2"); empty when
    // it does not say.
    virtual QString version() { return QString(); }

    // A save has no fixed time limit while the application keeps working on
    // it; `notice` is told every half second or so, with the seconds since it
    // began, so that the user can be shown it is still going.
    virtual void setLongCallNotice(std::function<void(int seconds)> notice) { (void)notice; }
};
