#pragma once

#include "Failure.h"

#include <QString>
#include <optional>
#include <functional>

class SpreadsheetApp;

// The user's macros: the workbooks of the start-up folder (XLSTART), opened
// hidden beside the working copy, and the macro run at Stop (or after a
// replay).
class UserMacro {
public:
    // How a macro run ended: true when it ran to its end; otherwise the
    // office's reason ("error 11: Division by zero", "the macro's library
    // does not compile", ...).
    struct Result {
        bool ran = false;
        QString reason;
        explicit operator bool() const { return ran; }
    };

    // Opens every workbook of the application's start-up folder hidden, as
    // Excel does with XLSTART: Personal.xls, .xlsm, .xlsb, .ods and any other
    // file there. Called before the working copy is opened, so that the
    // working copy is the active workbook the macro sees. The failure names
    // what could not be opened.
    static std::optional<Failure> openStartupWorkbooks(SpreadsheetApp &app);

    // "Book!Macro" (Macro may be Module.Macro) runs exactly that; a plain
    // name is tried in each open workbook, in the application's order, until
    // one holds it. A macro that was found but failed is not tried again
    // elsewhere. `waiting` is called while the macro runs (see
    // SpreadsheetApp::run).
    static Result run(SpreadsheetApp &app, const QString &name, const std::function<void()> &waiting = {});
};
