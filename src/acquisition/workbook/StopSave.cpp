#include "StopSave.h"

#include "FileDigest.h"
#include "LogCategories.h"
#include "MessageBoxes.h"
#include "RunJournal.h"
#include "RunDocumentProperties.h"
#include "SpreadsheetApp.h"
#include "SpreadsheetError.h"
#include "WorkbookRebuild.h"
#include "WorkbookSaver.h"

#include <QFileInfo>

namespace {
const QString kTitle = QStringLiteral("Halvern");

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
    m_rebuildMacro.clear();
    m_officeVersion.clear();
}

QString StopSave::replayCommand(const QString &rawPath, const QString &documentsFolder)
{
    // Into the folder where workbooks go, not the runs folder nobody looks in
    // (unless no documents folder is known).
    const QString folder = documentsFolder.isEmpty() ? QFileInfo(rawPath).absolutePath() : documentsFolder;
    const QString target = folder + '/' + QFileInfo(rawPath).completeBaseName() + QStringLiteral(".xlsx");
    return QStringLiteral("halvern --replay \"%1\" --save-as \"%2\"").arg(rawPath, target);
}

void StopSave::tellNotSaved(const QString &rawPath)
{
    m_boxes.show(QStringLiteral("The workbook was not saved. Everything this run received is kept in\n%1\n\n"
                                "To make the workbook from it later:\n%2")
                     .arg(rawPath, replayCommand(rawPath, m_hooks.documentsFolder())),
                 kTitle);
}

bool StopSave::saveOrRebuild(std::shared_ptr<SpreadsheetApp> &app, std::shared_ptr<Workbook> &book,
                             const RunJournal &journal, std::int64_t missing)
{
    WorkbookSaver::Result result = WorkbookSaver::Result::OfficeFailed;
    if (missing == 0 && app && book)
        result = save(*app, *book, journal.rawPath(), journal.rawSha256());
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
        WorkbookRebuild::quit(app); // a stuck office is ended here
        if (rebuild(journal.rawPath()))
            return true;
    }
    m_boxes.show(QStringLiteral("The workbook can be made from this run's journal at any time:\n%1")
                     .arg(replayCommand(journal.rawPath(), m_hooks.documentsFolder())),
                 kTitle);
    return !m_rebuilt.isEmpty();
}

WorkbookSaver::Result StopSave::save(SpreadsheetApp &app, Workbook &book, const QString &rawPath, QString rawSha256,
                                     const QString &workingName)
{
    try {
        m_officeVersion = app.version();
    } catch (const SpreadsheetError &e) {
        qCWarning(lcWorkbook) << "the office does not tell its version:" << e.what();
    }
    app.setLongCallNotice([this](int seconds) {
        if (m_hooks.waiting && seconds >= 2)
            m_hooks.waiting(QStringLiteral("Saving the workbook..."), seconds);
    });
    WorkbookSaver saver(app, book, m_boxes, m_hooks.documentsFolder());
    saver.setWorkingName(workingName);
    if (!rawPath.isEmpty()) {
        QString error;
        if (rawSha256.isEmpty())
            rawSha256 = FileDigest::sha256(rawPath, &error);
        if (rawSha256.isEmpty())
            qCWarning(lcWorkbook) << "cannot hash the journal" << rawPath << "for the workbook:" << error;
        saver.setProperties(RunDocumentProperties::of(rawPath, rawSha256));
    }
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
    const QString documents = m_hooks.documentsFolder();
    WorkbookRebuild::Steps steps;
    steps.progress = m_hooks.progress;
    steps.macro = m_hooks.runMacro;
    steps.save = [this, &rawPath](SpreadsheetApp &app, Workbook &book,
                                  const QString &workingName) -> std::optional<Failure> {
        const WorkbookSaver::Result result = save(app, book, rawPath, QString(), workingName);
        if (result == WorkbookSaver::Result::Declined)
            tellNotSaved(rawPath);
        if (result != WorkbookSaver::Result::OfficeFailed)
            return std::nullopt;
        return Failure{QStringLiteral("the spreadsheet application closed or stopped answering during the save")};
    };
    WorkbookRebuild rebuild(m_factory, m_programFolder, documents, documents, std::move(steps));
    for (;;) {
        const std::optional<Failure> failure = rebuild.make(rawPath);
        m_rebuilt = rebuild.rebuilt();
        m_rebuildMacro = rebuild.macro().summaryLine;
        if (!failure)
            return true;
        const QString why = failure->reason;
        qCWarning(lcWorkbook) << "the workbook could not be rebuilt:" << why;
        // The office may have died on its own: trying again costs the user a click.
        if (m_boxes.show(QStringLiteral("The workbook could not be rebuilt: ") + why, kTitle,
                         MessageBoxes::Buttons::TryAgainCancel)
            != MessageBoxes::Answer::Ok)
            return false;
    }
}
