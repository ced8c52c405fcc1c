#include "RunWorkbookSave.h"

#include "LogCategories.h"
#include "MessageBoxes.h"
#include "RunDocumentProperties.h"
#include "SpreadsheetApp.h"
#include "SpreadsheetError.h"

#include <QFileInfo>

namespace {
const QString kTitle = QStringLiteral("Halvern");
} // namespace

RunWorkbookSave::RunWorkbookSave(MessageBoxes &boxes, WorkbookHooks hooks) : m_boxes(boxes), m_hooks(std::move(hooks))
{
}

QString RunWorkbookSave::replayCommand(const QString &rawPath, const QString &documentsFolder)
{
    // Into the folder where workbooks go, not the runs folder nobody looks in
    // (unless no documents folder is known).
    const QString folder = documentsFolder.isEmpty() ? QFileInfo(rawPath).absolutePath() : documentsFolder;
    const QString target = folder + '/' + QFileInfo(rawPath).completeBaseName() + QStringLiteral(".xlsx");
    return QStringLiteral("halvern --replay \"%1\" --save-as \"%2\"").arg(rawPath, target);
}

void RunWorkbookSave::tellNotSaved(const QString &rawPath)
{
    m_boxes.show(QStringLiteral("The workbook was not saved. Everything this run received is kept in\n%1\n\n"
                                "To make the workbook from it later:\n%2")
                     .arg(rawPath, replayCommand(rawPath, m_hooks.documentsFolder())),
                 kTitle);
}

WorkbookSaver::Result RunWorkbookSave::save(SpreadsheetApp &app, Workbook &book, const QString &rawPath,
                                            const QString &workingName, SavedWorkbook &record)
{
    try {
        record.officeVersion = app.version();
    } catch (const SpreadsheetError &e) {
        qCWarning(lcWorkbook) << "the office does not tell its version:" << e.what();
    }
    app.setLongCallNotice([this](int seconds) {
        if (m_hooks.waiting && seconds >= 2)
            m_hooks.waiting(QStringLiteral("Saving the workbook..."), seconds);
    });
    WorkbookSaver saver(app, book, m_boxes, m_hooks.documentsFolder());
    saver.setWorkingName(workingName);
    if (!rawPath.isEmpty())
        saver.setProperties(RunDocumentProperties::of(rawPath));
    const WorkbookSaver::Result result = saver.save();
    app.setLongCallNotice({});
    if (m_hooks.waiting)
        m_hooks.waiting(QString(), 0);
    record.savedAs = saver.savedAs();
    record.alsoSavedAs = saver.alsoSavedAs();
    return result;
}
