#include "StopSave.h"

#include "MessageBoxes.h"
#include "OfficeQuit.h"
#include "RunJournal.h"
#include "SpreadsheetApp.h"

namespace {
const QString kTitle = QStringLiteral("Halvern");

} // namespace

StopSave::StopSave(SpreadsheetFactory &factory, MessageBoxes &boxes, QString programFolder, Hooks hooks)
    : m_boxes(boxes), m_hooks(hooks), m_save(boxes, hooks), m_maker(factory, boxes, std::move(programFolder), hooks)
{
}

void StopSave::clear() { m_saved = {}; }

void StopSave::saveOrRebuild(std::shared_ptr<SpreadsheetApp> &app, std::shared_ptr<Workbook> &book,
                             const RunJournal &journal, std::int64_t missing, std::function<void(bool rebuilt)> done)
{
    WorkbookSaver::Result result = WorkbookSaver::Result::OfficeFailed;
    if (missing == 0 && app && book)
        result = m_save.save(*app, *book, journal.rawPath(), journal.rawSha256(), QStringLiteral("spreadsheet.xls"),
                             m_saved);
    // A journal that missed some bytes still holds the rest of the run.
    const bool journalKept =
        !journal.rawPath().isEmpty() && (journal.problem().isEmpty() || journal.incompleteSince().isValid());
    if (result == WorkbookSaver::Result::Declined && journalKept)
        m_save.tellNotSaved(journal.rawPath());
    if (result != WorkbookSaver::Result::OfficeFailed) {
        done(false);
        return;
    }
    if (!journalKept) {
        m_boxes.show(QStringLiteral("The workbook cannot be saved: the spreadsheet application has closed or does "
                                    "not answer, and this run's bytes could not be kept: %1")
                         .arg(journal.problem()),
                     kTitle);
        done(false);
        return;
    }
    const QString why =
        missing > 0
            ? QStringLiteral("%1 lines of this run are missing from the workbook: the spreadsheet application closed "
                             "or stopped answering.")
                  .arg(missing)
            : QStringLiteral("The workbook cannot be saved: the spreadsheet application closed or does not answer.");
    const auto answer = m_boxes.show(why
                                         + QStringLiteral("\n\nEverything this run received is kept in its "
                                                          "journal. Rebuild the workbook from it now?"),
                                     kTitle, MessageBoxes::Buttons::OkCancel);
    if (answer != MessageBoxes::Answer::Ok) {
        tellReplay(journal.rawPath(), done);
        return;
    }
    book.reset();
    OfficeQuit::quit(app); // a stuck office is ended here
    m_maker.make(journal.rawPath(), m_saved, [this, rawPath = journal.rawPath(), done](bool made) {
        if (made)
            done(true);
        else
            tellReplay(rawPath, done);
    });
}

void StopSave::tellReplay(const QString &rawPath, const std::function<void(bool rebuilt)> &done)
{
    m_boxes.show(QStringLiteral("The workbook can be made from this run's journal at any time:\n%1")
                     .arg(RunWorkbookSave::replayCommand(rawPath, m_hooks.documentsFolder())),
                 kTitle);
    done(!m_saved.rebuilt.isEmpty());
}
