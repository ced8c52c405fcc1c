#pragma once

#include "Failure.h"
#include "RunWorkbookSave.h"
#include "SavedWorkbook.h"
#include "WorkbookHooks.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

class MessageBoxes;
class SpreadsheetFactory;
class WorkbookRebuild;

// Makes a run's workbook from its journal (see WorkbookRebuild), with
// progress and the save dialog. When that fails the user is told why and may
// try again.
class JournalWorkbookMaker {
public:
    // Takes true when the workbook was made, false when it was not.
    using Done = std::function<void(bool made)>;

    JournalWorkbookMaker(SpreadsheetFactory &factory, MessageBoxes &boxes, QString programFolder, WorkbookHooks hooks);
    ~JournalWorkbookMaker();
    JournalWorkbookMaker(const JournalWorkbookMaker &) = delete;
    JournalWorkbookMaker &operator=(const JournalWorkbookMaker &) = delete;

    // Makes the workbook from the journal whose bytes are `rawPath`; what
    // was made and saved goes into `record`, which stays until `done` has
    // been called (at once unless the user macro runs on; see
    // WorkbookRebuild::make).
    void make(const QString &rawPath, SavedWorkbook &record, Done done);

private:
    void attempt();
    void attempted(const std::optional<Failure> &failure);

    SpreadsheetFactory &m_factory;
    MessageBoxes &m_boxes;
    QString m_programFolder;
    WorkbookHooks m_hooks;
    RunWorkbookSave m_save;

    // The make under way.
    QString m_rawPath;
    SavedWorkbook *m_record = nullptr;
    std::unique_ptr<WorkbookRebuild> m_rebuild;
    Done m_done;
};
