#include "WorkbookSaver.h"

#include "LogCategories.h"
#include "MessageBoxes.h"
#include "SpreadsheetApp.h"

#include <QDir>
#include <QFileInfo>

namespace {
const QString kWorkbookFile = QStringLiteral("spreadsheet.xls");
const QString kTitle = QStringLiteral("Halvern");

bool isGone(const SpreadsheetError &e) { return e.kind() != SpreadsheetError::Kind::Failed; }
} // namespace

WorkbookSaver::WorkbookSaver(SpreadsheetApp &app, Workbook &book, MessageBoxes &boxes, QString documentsFolder)
    : m_app(app), m_book(book), m_boxes(boxes), m_documents(std::move(documentsFolder)), m_workingName(kWorkbookFile)
{
}

QString WorkbookSaver::xlsShortfall(Workbook::UsedArea area)
{
    const bool rows = area.rows > kXlsRows;
    const bool columns = area.columns > kXlsColumns;
    if (rows && columns)
        return QStringLiteral("This workbook reaches row %1 and column %2; an .xls file keeps only the first %3 rows "
                              "and %4 columns")
            .arg(area.rows)
            .arg(area.columns)
            .arg(kXlsRows)
            .arg(kXlsColumns);
    if (rows)
        return QStringLiteral("This workbook reaches row %1; an .xls file keeps only the first %2 rows")
            .arg(area.rows)
            .arg(kXlsRows);
    if (columns)
        return QStringLiteral("This workbook reaches column %1; an .xls file keeps only the first %2 columns")
            .arg(area.columns)
            .arg(kXlsColumns);
    return QString();
}

std::optional<WorkbookSaver::WholeCopy> WorkbookSaver::wholeCopyOf(const QString &path, Workbook &book)
{
    if (!path.endsWith(QStringLiteral(".xls"), Qt::CaseInsensitive))
        return std::nullopt;
    const QString shortfall = xlsShortfall(book.usedArea());
    if (shortfall.isEmpty())
        return std::nullopt;
    return WholeCopy{path.left(path.size() - 4) + QStringLiteral(".xlsx"), shortfall};
}

std::optional<Failure> WorkbookSaver::saveAs(const QString &path)
{
    try {
        if (!m_properties.isEmpty()) {
            try {
                m_book.setCustomProperties(m_properties);
            } catch (const SpreadsheetError &e) {
                if (isGone(e))
                    throw;
                qCWarning(lcWorkbook) << "the workbook is saved without the run's properties:" << e.what();
            }
        }
        m_book.saveAs(path);
        return std::nullopt;
    } catch (const SpreadsheetError &e) {
        if (isGone(e))
            throw;
        const QString reason = QString::fromStdString(e.what()); // in plain words, the system's where it has one
        qCWarning(lcWorkbook).noquote() << "Not saved as" << path + QLatin1Char(':') << reason;
        return Failure{reason};
    }
}

WorkbookSaver::Result WorkbookSaver::save()
{
    try {
        if (m_book.saved())
            return Result::NothingToSave;
        try {
            m_book.activate();
        } catch (const SpreadsheetError &e) {
            if (isGone(e))
                throw;
            qCWarning(lcWorkbook).noquote() << "The workbook was not activated for the save:" << e.what();
        }
        // A workbook the user saved under a name of their own during the run
        // is left alone; the working copy is offered for renaming.
        if (m_book.name().toLower() != m_workingName.toLower())
            return Result::LeftAlone;
        for (;;) {
            const std::optional<QString> chosen = m_app.getSaveAsFilename(
                QString(), QStringLiteral("Excel workbook,*.xls"), QStringLiteral("Please rename this workbook"));
            if (!chosen || chosen->isEmpty())
                return Result::Declined;
            QString answer = *chosen;
            if (QFileInfo(answer).isRelative())
                answer = QDir(m_documents).absoluteFilePath(answer);
            const std::optional<Failure> failure = saveAs(answer);
            if (!failure) {
                m_savedAs = answer;
                if (m_afterSave)
                    m_afterSave(m_book);
                break;
            }
            m_boxes.show(QStringLiteral("The workbook could not be saved as\n%1\n\n%2\n\nPlease choose another "
                                        "name or folder.")
                             .arg(answer, failure->reason),
                         kTitle);
        }
        const std::optional<WholeSave> whole = saveWhole();
        if (!whole)
            return Result::Saved;
        m_boxes.show(whole->failure ? QStringLiteral("%1, and the whole workbook could not be saved as\n%2\n\n%3\n\n"
                                                     "The run's journal keeps every line.")
                                          .arg(whole->copy.shortfall, whole->copy.path, whole->failure->reason)
                                    : QStringLiteral("%1.\n\nThe whole workbook is also saved as\n%2")
                                          .arg(whole->copy.shortfall, whole->copy.path),
                     kTitle);
        return Result::Saved;
    } catch (const SpreadsheetError &e) {
        qCWarning(lcWorkbook).noquote() << "The spreadsheet failed at the save:" << e.what();
        return Result::OfficeFailed;
    }
}

std::optional<Failure> WorkbookSaver::saveTo(const QString &path, const std::function<void(const QString &)> &tell)
{
    if (std::optional<Failure> failure = saveAs(path))
        return failure;
    m_savedAs = path;
    if (m_afterSave)
        m_afterSave(m_book);
    const std::optional<WholeSave> whole = saveWhole();
    if (!whole)
        return std::nullopt;
    if (whole->failure)
        return Failure{QStringLiteral("%1, and the whole workbook could not be saved as %2: %3")
                           .arg(whole->copy.shortfall, whole->copy.path, whole->failure->reason)};
    tell(whole->copy.shortfall + QStringLiteral("; the whole workbook is also saved as ") + whole->copy.path);
    return std::nullopt;
}

std::optional<WorkbookSaver::WholeSave> WorkbookSaver::saveWhole()
{
    std::optional<WholeCopy> whole;
    try {
        whole = wholeCopyOf(m_savedAs, m_book);
    } catch (const SpreadsheetError &e) {
        if (isGone(e))
            throw;
        qCWarning(lcWorkbook).noquote() << "The used area was not measured:" << e.what();
    }
    if (!whole)
        return std::nullopt;
    std::optional<Failure> failure = saveAs(whole->path);
    if (!failure)
        m_alsoSavedAs = whole->path;
    return WholeSave{*whole, std::move(failure)};
}
