#pragma once

#include "MacroCall.h"

#include <QString>
#include <functional>

class SpreadsheetApp;

// What the save and the rebuild of a run's workbook ask of the window.
struct WorkbookHooks {
    std::function<QString()> documentsFolder;     // where a plain name is saved
    std::function<void(qint64, qint64)> progress; // replay progress; (0, 0) hides it
    // Starts the user macro before a rebuild's save, which may be stopped;
    // the outcome goes to the continuation once it has ended.
    std::function<void(SpreadsheetApp &, MacroCall::Done)> runMacro;
    std::function<void(const QString &, int)> waiting; // a long save: text and seconds; "" ends it
};
