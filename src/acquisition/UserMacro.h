#pragma once

#include <QString>

class SpreadsheetApp;
class Workbook;

// The user's macros: the personal macro workbook opened beside the working
// copy, and the macro run at Stop (or after a replay).
class UserMacro {
public:
    enum class Personal { None, Opened, Failed };

    // Opens "Personal.xls" (or, as an .xls file cannot carry the office's
    // Basic macros, "Personal.ods") from the application's start-up folder,
    // and makes `book` the active workbook again.
    static Personal openPersonal(SpreadsheetApp &app, Workbook &book);

    // "Workbook!Macro" runs exactly that; a plain name is tried in each open
    // workbook, in the application's order, until one runs it. False when
    // it did not run.
    static bool run(SpreadsheetApp &app, const QString &name);
};
