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

JournalWorkbookMaker::~JournalWorkbookMaker() = default;

void JournalWorkbookMaker::make(const QString &rawPath, SavedWorkbook &record, Done done)
{
    m_rawPath = rawPath;
    m_record = &record;
    m_done = std::move(done);
    const QString documents = m_hooks.documentsFolder();
    WorkbookRebuild::Steps steps;
    steps.progress = m_hooks.progress;
    steps.macro = m_hooks.runMacro;
    steps.save = [this](SpreadsheetApp &app, Workbook &book, const QString &workingName) -> std::optional<Failure> {
        const WorkbookSaver::Result result =
            m_save.save(app, book, m_rawPath, QString(), workingName, *m_record, QStringLiteral("rebuilt"));
        if (result == WorkbookSaver::Result::Declined)
            m_save.tellNotSaved(m_rawPath);
        if (result != WorkbookSaver::Result::OfficeFailed)
            return std::nullopt;
        return Failure{QStringLiteral("the spreadsheet application closed or stopped answering during the save")};
    };
    m_rebuild = std::make_unique<WorkbookRebuild>(m_factory, m_programFolder, documents, documents, std::move(steps));
    attempt();
}

void JournalWorkbookMaker::attempt()
{
    m_rebuild->make(m_rawPath, [this](const std::optional<Failure> &failure) { attempted(failure); });
}

void JournalWorkbookMaker::attempted(const std::optional<Failure> &failure)
{
    m_record->rebuilt = m_rebuild->rebuilt();
    m_record->rebuildMacro = m_rebuild->macro().summaryLine;
    if (failure) {
        qCWarning(lcWorkbook) << "the workbook could not be rebuilt:" << failure->reason;
        // The office may have died on its own: trying again costs the user a click.
        if (m_boxes.show(QStringLiteral("The workbook could not be rebuilt: ") + failure->reason, kTitle,
                         MessageBoxes::Buttons::TryAgainCancel)
            == MessageBoxes::Answer::Ok) {
            attempt();
            return;
        }
    }
    const Done done = std::move(m_done);
    done(!failure);
}
