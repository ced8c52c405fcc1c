#pragma once

#include "JournalWorkbookMaker.h"
#include "RunWorkbookSave.h"
#include "SavedWorkbook.h"
#include "WorkbookHooks.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class MessageBoxes;
class RunJournal;
class SpreadsheetApp;
class SpreadsheetFactory;
class Workbook;

// The save at the end of a run. The filled workbook is saved under a name the
// user picks; when lines are missing from it, or the office can no longer
// save, the user may have it rebuilt from the run's journal in a fresh
// headless office (see JournalWorkbookMaker). When the workbook is not saved, the user is told where
// the run's bytes are kept and how to make the workbook from them later.
class StopSave {
public:
    using Hooks = WorkbookHooks;

    StopSave(SpreadsheetFactory &factory, MessageBoxes &boxes, QString programFolder, Hooks hooks);

    // Saves the run's workbook, or rebuilds it from `journal`. `missing` lines
    // of the journal are not in the workbook. A rebuild first quits the run's
    // office (a stuck one is ended so) and resets `app` and `book`.
    // `done` takes true when the journal was replayed into a rebuilt
    // workbook, so that it holds every line (saved or not); it is called
    // before this returns unless a rebuild's user macro runs on (see
    // WorkbookRebuild::make).
    void saveOrRebuild(std::shared_ptr<SpreadsheetApp> &app, std::shared_ptr<Workbook> &book, const RunJournal &journal,
                       std::int64_t missing, std::function<void(bool rebuilt)> done);

    // What the last save or rebuild left, for the run's summary.
    QString savedAs() const { return m_saved.savedAs; }
    QString alsoSavedAs() const { return m_saved.alsoSavedAs; }
    QString rebuilt() const { return m_saved.rebuilt; }           // a summary line, or empty
    QString rebuildMacro() const { return m_saved.rebuildMacro; } // the rebuild's macro line, or empty
    // The version of the office the last save was tried in.
    QString officeVersion() const { return m_saved.officeVersion; }
    void clear();

private:
    // Tells how to make the workbook later; `done` as for saveOrRebuild().
    void tellReplay(const QString &rawPath, const std::function<void(bool rebuilt)> &done);

    MessageBoxes &m_boxes;
    Hooks m_hooks;
    RunWorkbookSave m_save;
    JournalWorkbookMaker m_maker;
    SavedWorkbook m_saved;
};
