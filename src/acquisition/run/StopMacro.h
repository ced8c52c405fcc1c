#pragma once

#include "MacroCall.h"

class AcquisitionView;
class SpreadsheetApp;
struct MacroSettings;

// The user macro before the save, with what the window shows of it: a macro
// that runs longer than a moment (one waiting in a message box for the user)
// is shown as running, with Cancel where it may be stopped (a rebuild, where
// nobody can answer it); one that did not run is told in the status line
// and, with the reason, in the spreadsheet lamp's tooltip.
class StopMacro {
public:
    // Starts the macro (see MacroCall::start); `done` takes the outcome once
    // the view shows it.
    static void start(SpreadsheetApp &app, const MacroSettings &macro, AcquisitionView &view, MacroCall::Done done,
                      bool cancellable = false);
};
