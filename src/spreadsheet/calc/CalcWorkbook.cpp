#include "CalcWorkbook.h"

#include "CalcCore.h"
#include "FolderProbe.h"
#include "LogCategories.h"
#include "SilentInteractionHandler.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QUrl>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <algorithm>
#include <com/sun/star/util/XModifiable.hpp>

namespace {
QString filterFor(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("ods"))
        return QStringLiteral("calc8");
    if (suffix == QLatin1String("xlsx"))
        return QStringLiteral("Calc MS Excel 2007 XML");
    return QStringLiteral("MS Excel 97");
}
} // namespace

CalcWorkbook::CalcWorkbook(std::shared_ptr<CalcCore> core, std::shared_ptr<CalcDocument> document)
    : m_core(std::move(core)), m_document(std::move(document))
{
}

CalcWorkbook::~CalcWorkbook() { m_core->release(m_document); }

QString CalcWorkbook::name()
{
    auto doc = m_document;
    return m_core->call<QString>(CalcCore::kCallLimit, [doc](UnoState &) {
        const OUString url = doc->model->getURL();
        if (!url.isEmpty())
            return QUrl(toQString(url)).fileName();
        // Never saved: the office's own title ("Untitled 1").
        return toQString(Reference<css::frame::XTitle>(doc->model, UNO_QUERY_THROW)->getTitle());
    });
}

void CalcWorkbook::activate()
{
    auto doc = m_document;
    m_core->call<void>(CalcCore::kCallLimit, [doc](UnoState &state) { state.activate(doc->model); });
}

bool CalcWorkbook::saved()
{
    auto doc = m_document;
    return m_core->call<bool>(CalcCore::kCallLimit, [doc](UnoState &) {
        return !Reference<css::util::XModifiable>(doc->model, UNO_QUERY_THROW)->isModified();
    });
}

void CalcWorkbook::saveAs(const QString &path)
{
    using Kind = SpreadsheetError::Kind;
    const QFileInfo target(QFileInfo(path).absoluteFilePath());
    const QString absolute = target.filePath();
    const QString filter = filterFor(absolute);
    // Written under a temporary name in the same folder, then renamed into
    // place: a save that fails leaves no part-written workbook and no lock
    // file of the office's behind, and a file of that name stays whole.
    if (!QDir().mkpath(target.path()))
        throw SpreadsheetError(Kind::Failed, QStringLiteral("the folder cannot be made: ")
                                                 + FolderProbe::problem(target.absolutePath()));
    const QString temporary = target.path() + '/' + QLatin1String(CalcCore::kSavePrefix)
                              + QString::number(QRandomGenerator::global()->generate64(), 36) + '.' + target.suffix();
    const QString url = QUrl::fromLocalFile(temporary).toString(QUrl::FullyEncoded);
    auto doc = m_document;
    m_core->noteDocument(temporary);
    try {
        // No fixed time limit: a large workbook takes as long as it takes.
        m_core->callUntilDone<void>(
            [doc, url, filter](UnoState &) {
                css::uno::Sequence<css::beans::PropertyValue> args(3);
                args[0] = property("FilterName", css::uno::Any(toOUString(filter)));
                args[1] = property("Overwrite", css::uno::Any(true));
                args[2] =
                    property("InteractionHandler",
                             css::uno::Any(Reference<css::task::XInteractionHandler>(new SilentInteractionHandler)));
                // A copy; the workbook takes the name once the copy is in place.
                Reference<css::frame::XStorable>(doc->model, UNO_QUERY_THROW)->storeToURL(toOUString(url), args);
            },
            m_core->savePatience());
    } catch (const SpreadsheetError &e) {
        qCWarning(lcOffice).noquote() << "Saving" << absolute << "failed:" << e.what();
        // The temporary name is ours alone, and so is a lock file on it.
        QFile::remove(temporary);
        QFile::remove(OfficeFolders::lockFilePath(temporary));
        if (e.kind() != Kind::Failed)
            throw;
        // The office's own words are jargon; the system's say what went wrong.
        const QString system = FolderProbe::problem(target.path());
        throw SpreadsheetError(
            Kind::Failed, system.isEmpty() ? QStringLiteral("the spreadsheet application could not write it") : system);
    }
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(absolute).constData()) != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(temporary);
        QFile::remove(OfficeFolders::lockFilePath(temporary));
        throw SpreadsheetError(Kind::Failed, why);
    }
    QFile::remove(OfficeFolders::lockFilePath(temporary));
    // As a save under this name does: the workbook is now that file, with
    // nothing left unsaved.
    const QString targetUrl = QUrl::fromLocalFile(absolute).toString(QUrl::FullyEncoded);
    try {
        m_core->call<void>(CalcCore::kCallLimit, [doc, targetUrl](UnoState &) {
            doc->model->attachResource(toOUString(targetUrl), doc->model->getArgs());
            Reference<css::util::XModifiable>(doc->model, UNO_QUERY_THROW)->setModified(false);
        });
    } catch (const SpreadsheetError &e) {
        qCWarning(lcOffice).noquote() << "Saved, but the workbook did not take the name" << absolute + QLatin1Char(':')
                                      << e.what();
    }
}

Workbook::UsedArea CalcWorkbook::usedArea()
{
    auto doc = m_document;
    return m_core->call<UsedArea>(CalcCore::kDocumentLimit, [doc](UnoState &) {
        const Reference<css::sheet::XSpreadsheetDocument> book(doc->model, UNO_QUERY_THROW);
        const Reference<css::container::XIndexAccess> sheets(book->getSheets(), UNO_QUERY_THROW);
        UsedArea area;
        for (sal_Int32 i = 0; i < sheets->getCount(); ++i) {
            const Reference<css::sheet::XSpreadsheet> sheet(sheets->getByIndex(i), UNO_QUERY_THROW);
            const Reference<css::sheet::XSheetCellCursor> cursor = sheet->createCursor();
            Reference<css::sheet::XUsedAreaCursor>(cursor, UNO_QUERY_THROW)->gotoEndOfUsedArea(false);
            const css::table::CellRangeAddress end =
                Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)->getRangeAddress();
            // An empty sheet's used area is its first cell.
            const Reference<css::table::XCell> cell = sheet->getCellByPosition(end.EndColumn, end.EndRow);
            if (end.EndRow == 0 && end.EndColumn == 0 && cell->getType() == css::table::CellContentType_EMPTY)
                continue;
            area.rows = std::max(area.rows, end.EndRow + 1);
            area.columns = std::max(area.columns, end.EndColumn + 1);
        }
        return area;
    });
}
