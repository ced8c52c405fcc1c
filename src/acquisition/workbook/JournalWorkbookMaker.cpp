#include "JournalWorkbookMaker.h"

#include "LogCategories.h"
#include "MessageBoxes.h"
#include "WorkbookRebuild.h"

namespace {
const QString kTitle = QStringLiteral("Halvern");
} // namespace

JournalWorkbookMaker::JournalWorkbookMaker(SpreadsheetFactory &factory, MessageBoxes &boxes, QString programFolder,
                                           WorkbookHooks hooks)
    : m_factory(factory),
      m_boxes(boxes),
      m_programFolder(std::move(programFolder)),
      m_hooks(hooks),
      m_save(boxes, hooks)
{
}

bool JournalWorkbookMaker::make(const QString &rawPath, SavedWorkbook &record)
{
    const QString documents = m_hooks.documentsFolder();
    WorkbookRebuild::Steps steps;
    steps.progress = m_hooks.progress;
    steps.macro = m_hooks.runMacro;
    steps.save = [this, &rawPath, &record](SpreadsheetApp &app, Workbook &book,
                                           const QString &workingName) -> std::optional<Failure> {
        const WorkbookSaver::Result result = m_save.save(app, book, rawPath, workingName, record);
        if (result == WorkbookSaver::Result::Declined)
            m_save.tellNotSaved(rawPath);
        if (result != WorkbookSaver::Result::OfficeFailed)
            return std::nullopt;
        return Failure{QStringLiteral("the spreadsheet application closed or stopped answering during the save")};
    };
    WorkbookRebuild rebuild(m_factory, m_programFolder, documents, documents, std::move(steps));
    for (;;) {
        const std::optional<Failure> failure = rebuild.make(rawPath);
        record.rebuilt = rebuild.rebuilt();
        record.rebuildMacro = rebuild.macro().summaryLine;
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
