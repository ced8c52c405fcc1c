#pragma once

#include <QString>

class JournalWorkbookMaker;

// A kept run's workbook made afresh from its journal, as the Runs window's
// "Make workbook..." and the offer at start-up make it: a rebuild through
// JournalWorkbookMaker (see WorkbookRebuild), then the run's summary brought up to date.
class RunWorkbook {
public:
    // True when the workbook was made (saved, or its save declined); false
    // when it could not be made, which the user has been told.
    static bool make(JournalWorkbookMaker &maker, const QString &rawPath);
};
