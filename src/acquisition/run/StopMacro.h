#pragma once

#include <QString>

class AcquisitionView;
class SpreadsheetApp;
struct MacroSettings;

// The user macro at Stop, with what the window shows of it: a macro that
// runs longer than a moment (one waiting in a message box for the user) is
// shown as running and the window stays alive meanwhile; one that did not
// run is told in the status line and, with the reason, in the spreadsheet
// lamp's tooltip.
class StopMacro {
public:
    // Runs the macro when `macro` enables one. Returns the run summary's
    // line about it, empty when no macro is set.
    static QString run(SpreadsheetApp &app, const MacroSettings &macro, AcquisitionView &view);
};
