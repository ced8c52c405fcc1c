#pragma once

#include "Failure.h"
#include "MacroCall.h"
#include "Result.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class SpreadsheetApp;
class SpreadsheetFactory;
class Workbook;

// A kept run's workbook made from its journal as the run would have made
// it: a fresh headless office, the start-up folder's workbooks opened hidden,
// a copy of the workbook the run started from as its manifest names it
// (StartingWorkbooks; for a run recorded without one, the user's working copy,
// of the master when there is none) opened as a run opens it, the journal replayed, the user macro, the save.
// The copy lies under a hidden name in the folder the user's files go to,
// so a macro's ActiveWorkbook.Path is that folder; it is removed once the
// workbook is saved or given up. A macro stopped with Cancel ends its office,
// and the workbook is made again without it.
class WorkbookRebuild {
public:
    struct Steps {
        std::function<void(qint64, qint64)> progress; // replay progress; (0, 0) hides it
        // Starts the user macro, as at Stop, which tells its continuation
        // the outcome once it has ended; empty: none.
        std::function<void(SpreadsheetApp &, MacroCall::Done)> macro;
        // The save of the filled book, whose file name is `workingName`; the
        // failure when it could not be done.
        std::function<std::optional<Failure>(SpreadsheetApp &, Workbook &, const QString &workingName)> save;
    };

    // A run's working copy is looked for in `documentsFolder`; the
    // rebuild's own copy goes into `copyFolder`.
    WorkbookRebuild(SpreadsheetFactory &factory, QString programFolder, QString documentsFolder, QString copyFolder,
                    Steps steps);

    // Takes the failure of a rebuild, or nothing when it was made.
    using Done = std::function<void(const std::optional<Failure> &)>;

    // One rebuild; `done` takes its outcome once it is over, before make()
    // returns unless the macro runs on (see MacroCall::start). This object
    // stays until then.
    void make(const QString &rawPath, Done done);

    // What the last make() did, for the run's summary and the command line.
    QString rebuilt() const { return m_rebuilt; }
    const MacroCall::Result &macro() const { return m_macro; }
    std::int64_t rows() const { return m_rows; }
    QString damage() const { return m_damage; }

    // The hidden name of this process's copy.
    static QString copyName();
    // Removes what killed rebuilds, saves and offices left in `folder` and
    // in /tmp (see Leftovers): copies, save temporaries, their locks, the
    // office's temporary files and pipes nobody listens on.
    static void removeLeftovers(const QString &folder);

private:
    // One attempt in a fresh office: the copy, the replay, then the macro
    // (when this attempt has it) and the save.
    void attempt();
    // The copy opened in `app` and filled from the journal.
    Result<std::shared_ptr<Workbook>> fill(std::shared_ptr<SpreadsheetApp> &app);
    void macroEnded(const MacroCall::Result &result);
    void save(std::shared_ptr<SpreadsheetApp> app, std::shared_ptr<Workbook> book);
    // Ends the attempt's office, removes the copy and hands on the outcome.
    void finish(std::shared_ptr<SpreadsheetApp> app, std::optional<Failure> failure);
    // Why the copy is not in place; nothing when it is.
    std::optional<Failure> placeCopy(const QString &copy) const;

    SpreadsheetFactory &m_factory;
    QString m_programFolder;
    QString m_documentsFolder;
    QString m_copyFolder;
    Steps m_steps;
    QString m_startingWorkbook;

    // The rebuild under way.
    QString m_rawPath;
    QString m_copy;
    bool m_withMacro = true;
    std::shared_ptr<SpreadsheetApp> m_app; // held while the macro runs in it
    std::shared_ptr<Workbook> m_book;
    Done m_done;

    QString m_rebuilt;
    MacroCall::Result m_macro;
    std::int64_t m_rows = 0;
    QString m_damage;
};
