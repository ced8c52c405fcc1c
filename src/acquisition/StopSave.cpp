#include "StopSave.h"

#include "JournalReader.h"
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
    if (missing == 0 && app && book) {
        WorkbookSaver saver(*app, *book, m_boxes, m_hooks.documentsFolder());
        result = saver.save();
        m_savedAs = saver.savedAs();
        m_alsoSavedAs = saver.alsoSavedAs();
    }
    const bool journalKept = journal.problem().isEmpty() && !journal.rawPath().isEmpty();
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
    const QString why = missing > 0
        ? QStringLiteral("%1 lines of this run are missing from the workbook: the spreadsheet application closed "
                         "or stopped answering.")
              .arg(missing)
        : QStringLiteral("The workbook cannot be saved: the spreadsheet application closed or does not answer.");
    const auto answer = m_boxes.show(why + QStringLiteral("\n\nEverything this run received is kept in its "
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

bool StopSave::rebuild(const QString &rawPath)
{
    QTemporaryDir folder;
    std::shared_ptr<SpreadsheetApp> app;
    const bool ok = folder.isValid() && rebuildIn(folder.path(), rawPath, app);
    quit(app);
    if (m_hooks.progress)
        m_hooks.progress(0, 0);
    return ok;
}

bool StopSave::rebuildIn(const QString &folder, const QString &rawPath, std::shared_ptr<SpreadsheetApp> &app)
{
    auto fail = [this](const QString &why) {
        if (m_hooks.progress)
            m_hooks.progress(0, 0);
        m_boxes.show(QStringLiteral("The workbook could not be rebuilt: ") + why, kTitle);
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
    if (m_hooks.runMacro)
        m_hooks.runMacro(*app);
    WorkbookSaver saver(*app, *book, m_boxes, m_hooks.documentsFolder());
    const WorkbookSaver::Result result = saver.save();
    m_savedAs = saver.savedAs();
    m_alsoSavedAs = saver.alsoSavedAs();
    if (result == WorkbookSaver::Result::Declined)
        tellNotSaved(rawPath);
    return result != WorkbookSaver::Result::OfficeFailed;
}
