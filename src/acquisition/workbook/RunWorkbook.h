#pragma once

#include <QString>
#include <functional>

class JournalWorkbookMaker;

// A kept run's workbook made afresh from its journal, as the Runs window's
// "Make workbook..." and the offer at start-up make it: a rebuild through
// JournalWorkbookMaker (see WorkbookRebuild), then the run's summary brought up to date.
class RunWorkbook {
public:
    // `done` takes true when the workbook was made (saved, or its save
    // declined), false when it could not be made, which the user has been
    // told. `maker` stays until then (see JournalWorkbookMaker::make).
    static void make(JournalWorkbookMaker &maker, const QString &rawPath, std::function<void(bool made)> done = {});
};
