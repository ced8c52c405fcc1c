#include "RunWorkbookSave.h"

#include "LogCategories.h"
#include "MessageBoxes.h"
#include "RunDocumentProperties.h"
#include "RunManifest.h"
#include "SaveRecord.h"
#include "SpreadsheetApp.h"
#include "SpreadsheetError.h"

#include <QFileInfo>

namespace {
const QString kTitle = QStringLiteral("Halvern");

// What a file at `path` keeps of `values`: an .xls file only its first
// 65,536 rows and 256 columns (the rest went to the .xlsx beside it).
QList<Workbook::SheetValues> keptBy(const QString &path, QList<Workbook::SheetValues> values)
{
    if (!path.endsWith(QStringLiteral(".xls"), Qt::CaseInsensitive))
        return values;
    for (Workbook::SheetValues &sheet : values) {
        if (sheet.rows.size() > WorkbookSaver::kXlsRows)
            sheet.rows.resize(WorkbookSaver::kXlsRows);
        for (QList<CellValue> &row : sheet.rows)
            if (row.size() > WorkbookSaver::kXlsColumns)
                row.resize(WorkbookSaver::kXlsColumns);
    }
    return values;
}
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
                                            QString rawSha256, const QString &workingName, SavedWorkbook &record,
                                            const QString &role)
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
        saver.setProperties(
            RunDocumentProperties::of(rawPath, rawSha256.isEmpty() ? std::nullopt : std::optional<QString>(rawSha256)));
    // What the workbook held when saved, macro-written cells included: a
    // later --verify names each cell changed since.
    QList<Workbook::SheetValues> values;
    bool valuesRead = false;
    saver.setAfterSave([&values, &valuesRead](Workbook &saved) {
        try {
            values = saved.values();
            valuesRead = true;
        } catch (const SpreadsheetError &e) {
            qCWarning(lcWorkbook) << "the values of the saved workbook cannot be read:" << e.what();
        }
    });
    const WorkbookSaver::Result result = saver.save();
    if (result == WorkbookSaver::Result::Saved && !rawPath.isEmpty()) {
        if (valuesRead) {
            recordSave(rawPath, saver.savedAs(), role, keptBy(saver.savedAs(), values));
            if (!saver.alsoSavedAs().isEmpty())
                recordSave(rawPath, saver.alsoSavedAs(), QStringLiteral("whole"), values);
        } else
            qCWarning(lcWorkbook) << "the save of" << saver.savedAs() << "is recorded without its values";
    }
    app.setLongCallNotice({});
    if (m_hooks.waiting)
        m_hooks.waiting(QString(), 0);
    record.savedAs = saver.savedAs();
    record.alsoSavedAs = saver.alsoSavedAs();
    return result;
}

void RunWorkbookSave::recordSave(const QString &rawPath, const QString &path, const QString &role,
                                 const QList<Workbook::SheetValues> &values)
{
    if (!QFileInfo::exists(RunManifest::pathFor(rawPath))) {
        qCWarning(lcWorkbook) << "the run" << rawPath << "has no manifest: its save is not recorded there";
        return;
    }
    const Result<ManifestEntry> entry = SaveRecord::append(rawPath, path, role, values);
    if (!entry) {
        qCWarning(lcWorkbook).noquote() << "The save of" << path << "is not recorded:" << entry.failure().reason;
        return;
    }
}
