#pragma once

#include "SavedWorkbook.h"
#include "WorkbookHooks.h"
#include "WorkbookSaver.h"

#include <QString>

class MessageBoxes;
class SpreadsheetApp;
class Workbook;

// The save of a run's workbook under a name the user picks, carrying the
// identity of the run; when it is not saved, the user is told where the run's
// bytes are kept and how to make the workbook from them later.
class RunWorkbookSave {
public:
    RunWorkbookSave(MessageBoxes &boxes, WorkbookHooks hooks);

    // Saves `book` as the user chooses, a long save shown as it goes on; the
    // workbook carries the identity of the run whose journal is `rawPath`.
    // What was saved goes into `record`.
    WorkbookSaver::Result save(SpreadsheetApp &app, Workbook &book, const QString &rawPath, const QString &workingName,
                               SavedWorkbook &record);
    void tellNotSaved(const QString &rawPath);

    // "halvern --replay ..." that makes the workbook from the journal
    // `rawPath` into `documentsFolder`, named after the run.
    static QString replayCommand(const QString &rawPath, const QString &documentsFolder);

private:
    MessageBoxes &m_boxes;
    WorkbookHooks m_hooks;
};
