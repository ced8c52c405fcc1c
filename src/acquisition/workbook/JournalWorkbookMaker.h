#pragma once

#include "RunWorkbookSave.h"
#include "SavedWorkbook.h"
#include "WorkbookHooks.h"

#include <QString>

class MessageBoxes;
class SpreadsheetFactory;

// Makes a run's workbook from its journal (see WorkbookRebuild), with
// progress and the save dialog. When that fails the user is told why and may
// try again.
class JournalWorkbookMaker {
public:
    JournalWorkbookMaker(SpreadsheetFactory &factory, MessageBoxes &boxes, QString programFolder, WorkbookHooks hooks);

    // Makes the workbook from the journal whose bytes are `rawPath`; what
    // was made and saved goes into `record`. False when it was not made.
    bool make(const QString &rawPath, SavedWorkbook &record);

private:
    SpreadsheetFactory &m_factory;
    MessageBoxes &m_boxes;
    QString m_programFolder;
    WorkbookHooks m_hooks;
    RunWorkbookSave m_save;
};
