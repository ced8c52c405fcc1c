#pragma once

#include <QString>

// What a save or a rebuild of a run's workbook left, for the run's summary.
struct SavedWorkbook {
    QString savedAs;
    QString alsoSavedAs;
    QString rebuilt;       // a summary line, or empty
    QString rebuildMacro;  // the rebuild's macro line, or empty
    QString officeVersion; // the version of the office the last save was tried in
};
