#include "StopSave.h"

#include "CaughtException.h"
#include "JournalReader.h"
#include "LogCategories.h"
#include "MasterWorkbook.h"
#include "MessageBoxes.h"
#include "RunJournal.h"
#include "RunReplay.h"
#include "RunTexts.h"
#include "SpreadsheetFactory.h"
#include "UserMacro.h"
#include "WorkbookSaver.h"

#include <QTemporaryDir>

namespace {
const QString kTitle = QStringLiteral("Halvern");

void quit(std::shared_ptr<SpreadsheetApp> &app)
{
    if (app) {
        try {
            app->quit();
        } catch (...) {
            qCWarning(lcWorkbook).noquote() << "Quitting the spreadsheet failed:" << CaughtException::reason();
        }
    }
    app.reset();
}
} // namespace

StopSave::StopSave(SpreadsheetFactory &factory, MessageBoxes &boxes, QString programFolder, Hooks hooks)
    : m_factory(factory), m_boxes(boxes), m_programFolder(std::move(programFolder)), m_hooks(std::move(hooks))
{
}

void StopSave::clear()
{
    m_savedAs.clear();
    m_alsoSavedAs.clear();
    m_rebuilt.clear();
}

QString StopSave::replayCommand(const QString &rawPath)
{
    QString target = rawPath;
    target.chop(4); // ".raw"
    return QStringLiteral("halvern --replay \"%1\" --save-as \"%2.xlsx\"").arg(rawPath, target);
}

void StopSave::tellNotSaved(const QString &rawPath)
{
    m_boxes.show(QStringLiteral("The workbook was not saved. Everything this run received is kept in\n%1\n\n"
                                "To make the workbook from it later:\n%2")
                     .arg(rawPath, replayCommand(rawPath)),
                 kTitle);
}

bool StopSave::saveOrRebuild(std::shared_ptr<SpreadsheetApp> &app, std::shared_ptr<Workbook> &book,
                             const RunJournal &journal, std::int64_t missing)
{
    WorkbookSaver::Result result = WorkbookSaver::Result::OfficeFailed;
    if (missing == 0 && app && book)
        result = save(*app, *book);
    // A journal that missed some bytes still holds the rest of the run.
    const bool journalKept =
        !journal.rawPath().isEmpty() && (journal.problem().isEmpty() || journal.incompleteSince().isValid());
    if (result == WorkbookSaver::Result::Declined && journalKept)
        tellNotSaved(journal.rawPath());
    if (result != WorkbookSaver::Result::OfficeFailed)
        return false;
    if (!journalKept) {
        m_boxes.show(QStringLiteral("The workbook cannot be saved: the spreadsheet application has closed or does "
                                    "not answer, and this run's bytes could not be kept: %1")
                         .arg(journal.problem()),
                     kTitle);
        return false;
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
    if (answer == MessageBoxes::Answer::Ok) {
        book.reset();
        quit(app); // a stuck office is ended here
        if (rebuild(journal.rawPath()))
            return true;
    }
    m_boxes.show(QStringLiteral("The workbook can be made from this run's journal at any time:\n%1")
                     .arg(replayCommand(journal.rawPath())),
                 kTitle);
    return !m_rebuilt.isEmpty();
}

WorkbookSaver::Result StopSave::save(SpreadsheetApp &app, Workbook &book)
{
    app.setLongCallNotice([this](int seconds) {
        if (m_hooks.waiting && seconds >= 2)
            m_hooks.waiting(QStringLiteral("Saving the workbook..."), seconds);
    });
    WorkbookSaver saver(app, book, m_boxes, m_hooks.documentsFolder());
    const WorkbookSaver::Result result = saver.save();
    app.setLongCallNotice({});
    if (m_hooks.waiting)
        m_hooks.waiting(QString(), 0);
    m_savedAs = saver.savedAs();
    m_alsoSavedAs = saver.alsoSavedAs();
    return result;
}

bool StopSave::rebuild(const QString &rawPath)
{
    for (;;) {
        QTemporaryDir folder;
        std::shared_ptr<SpreadsheetApp> app;
        QString why = QStringLiteral("no temporary folder can be made");
        const bool ok = folder.isValid() && rebuildIn(folder.path(), rawPath, app, &why);
        quit(app);
        if (m_hooks.progress)
            m_hooks.progress(0, 0);
        if (ok)
            return true;
        // The office may have died on its own: trying again costs the user a click.
        if (m_boxes.show(QStringLiteral("The workbook could not be rebuilt: ") + why, kTitle,
                         MessageBoxes::Buttons::TryAgainCancel)
            != MessageBoxes::Answer::Ok)
            return false;
    }
}

bool StopSave::rebuildIn(const QString &folder, const QString &rawPath, std::shared_ptr<SpreadsheetApp> &app,
                         QString *why)
{
    auto fail = [why](const QString &reason) {
        qCWarning(lcWorkbook).noquote() << "The workbook was not rebuilt from the journal:" << reason;
        *why = reason;
        return false;
    };
    // A fresh copy of the master, named as the working copy so the usual
    // save follows.
    const QString copy = folder + '/' + MasterWorkbook::fileName();
    if (!MasterWorkbook::copyTo(m_programFolder, copy))
        return fail(RunTexts::kNoCopy);
    JournalReader reader;
    QString error;
    if (!reader.open(rawPath, &error))
        return fail(error);
    std::shared_ptr<Workbook> book;
    try {
        app = m_factory.createHeadless();
        if (!app)
            return fail(RunTexts::kNoSpreadsheet);
        UserMacro::openStartupWorkbooks(*app); // as at Start, for the macro
        book = app->open(copy);
    } catch (const std::exception &e) {
        return fail(QString::fromStdString(e.what()));
    }
    RunReplay replay(*app, m_hooks.progress);
    if (!replay.replay(reader, &error))
        return fail(error);
    if (m_hooks.progress)
        m_hooks.progress(0, 0);
    m_rebuilt = QStringLiteral("Workbook rebuilt from the journal: %1 rows used, %2 cells written\n")
                    .arg(replay.rows())
                    .arg(replay.counts().cellsWritten);
    if (!reader.damage().isEmpty())
        m_rebuilt += QStringLiteral("Journal times damaged: ") + reader.damage() + '\n';
    if (m_hooks.runMacro)
        m_hooks.runMacro(*app);
    const WorkbookSaver::Result result = save(*app, *book);
    if (result == WorkbookSaver::Result::Declined)
        tellNotSaved(rawPath);
    if (result == WorkbookSaver::Result::OfficeFailed)
        return fail(QStringLiteral("the spreadsheet application closed or stopped answering during the save"));
    return true;
}
