#pragma once

#include "MacroCall.h"
#include "WorkbookSaver.h"

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
// headless office (see WorkbookRebuild). When the workbook is not saved, the user is told where
// the run's bytes are kept and how to make the workbook from them later.
class StopSave {
public:
    struct Hooks {
        std::function<QString()> documentsFolder;     // where a plain name is saved
        std::function<void(qint64, qint64)> progress; // replay progress; (0, 0) hides it
        // The user macro before a rebuild's save, which may be stopped.
        std::function<MacroCall::Result(SpreadsheetApp &)> runMacro;
        std::function<void(const QString &, int)> waiting; // a long save: text and seconds; "" ends it
    };

    StopSave(SpreadsheetFactory &factory, MessageBoxes &boxes, QString programFolder, Hooks hooks);

    // Saves the run's workbook, or rebuilds it from `journal`. `missing` lines
    // of the journal are not in the workbook. A rebuild first quits the run's
    // office (a stuck one is ended so) and resets `app` and `book`.
    // True when the journal was replayed into a rebuilt workbook, so that it
    // holds every line (saved or not).
    bool saveOrRebuild(std::shared_ptr<SpreadsheetApp> &app, std::shared_ptr<Workbook> &book, const RunJournal &journal,
                       std::int64_t missing);
    // Makes the workbook from the journal whose bytes are `rawPath` (see
    // WorkbookRebuild), with progress and the save dialog. When that fails
    // the user is told why and may try again. False when it was not made.
    bool rebuild(const QString &rawPath);

    // What the last save or rebuild left, for the run's summary.
    QString savedAs() const { return m_savedAs; }
    QString alsoSavedAs() const { return m_alsoSavedAs; }
    QString rebuilt() const { return m_rebuilt; }           // a summary line, or empty
    QString rebuildMacro() const { return m_rebuildMacro; } // the rebuild's macro line, or empty
    // The version of the office the last save was tried in.
    QString officeVersion() const { return m_officeVersion; }
    void clear();

    // "halvern --replay ..." that makes the workbook from the journal
    // `rawPath` into `documentsFolder`, named after the run.
    static QString replayCommand(const QString &rawPath, const QString &documentsFolder);

private:
    // Saves `book` as the user chooses, a long save shown as it goes on; the
    // workbook carries the identity of the run whose journal is `rawPath`
    // (its hash `rawSha256`, read from the file when not given).
    WorkbookSaver::Result save(SpreadsheetApp &app, Workbook &book, const QString &rawPath, QString rawSha256 = {},
                               const QString &workingName = QStringLiteral("spreadsheet.xls"));
    void tellNotSaved(const QString &rawPath);

    SpreadsheetFactory &m_factory;
    MessageBoxes &m_boxes;
    QString m_programFolder;
    Hooks m_hooks;

    QString m_savedAs;
    QString m_alsoSavedAs;
    QString m_rebuilt;
    QString m_rebuildMacro;
    QString m_officeVersion;
};
