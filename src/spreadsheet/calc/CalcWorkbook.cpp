#include "CalcWorkbook.h"

#include "Leftovers.h"

#include "CalcCore.h"
#include "FolderProbe.h"
#include "LogCategories.h"
#include "SilentInteractionHandler.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QUrl>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <com/sun/star/beans/PropertyAttribute.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertyContainer.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/XDocumentProperties.hpp>
#include <com/sun/star/document/XDocumentPropertiesSupplier.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <algorithm>
#include <com/sun/star/util/XModifiable.hpp>

namespace {
Reference<css::beans::XPropertyContainer> userProperties(const Reference<css::frame::XModel> &model)
{
    const Reference<css::document::XDocumentPropertiesSupplier> supplier(model, UNO_QUERY_THROW);
    return supplier->getDocumentProperties()->getUserDefinedProperties();
}

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
    if (!QDir().mkpath(target.path())) {
        const std::optional<Failure> probe = FolderProbe::check(target.absolutePath());
        throw SpreadsheetError(Kind::Failed,
                               QStringLiteral("the folder cannot be made: ") + (probe ? probe->reason : QString()));
    }
    const QString temporary = target.path() + '/' + Leftovers::saveTemporaryName(target.suffix());
    const QString url = QUrl::fromLocalFile(temporary).toString(QUrl::FullyEncoded);
    auto doc = m_document;
    m_core->noteDocument(temporary);
    try {
        // A copy; the workbook takes the name once the copy is in place.
        storeCopy(url, filter);
    } catch (const SpreadsheetError &e) {
        // The temporary name is ours alone, and so is a lock file on it.
        QFile::remove(temporary);
        QFile::remove(OfficeFolders::lockFilePath(temporary));
        qCWarning(lcOffice).noquote() << "Saving" << absolute << "failed:" << e.what();
        if (e.kind() != Kind::Failed)
            throw;
        // The office's own words are jargon; the system's say what went wrong.
        // A folder with some room may still have too little for this workbook.
        std::optional<Failure> system = FolderProbe::check(target.path());
        if (!system)
            system = FolderProbe::check(target.path(), storedSize(filter, target.suffix()));
        throw SpreadsheetError(Kind::Failed, system ? system->reason
                                                    : QStringLiteral("the spreadsheet application could not write it"));
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

void CalcWorkbook::storeCopy(const QString &url, const QString &filter)
{
    auto doc = m_document;
    // No fixed time limit: a large workbook takes as long as it takes.
    m_core->callUntilDone<void>(
        [doc, url, filter](UnoState &) {
            css::uno::Sequence<css::beans::PropertyValue> args(3);
            args[0] = property("FilterName", css::uno::Any(toOUString(filter)));
            args[1] = property("Overwrite", css::uno::Any(true));
            args[2] = property("InteractionHandler",
                               css::uno::Any(Reference<css::task::XInteractionHandler>(new SilentInteractionHandler)));
            Reference<css::frame::XStorable>(doc->model, UNO_QUERY_THROW)->storeToURL(toOUString(url), args);
        },
        m_core->savePatience());
}

qint64 CalcWorkbook::storedSize(const QString &filter, const QString &suffix)
{
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        qCWarning(lcOffice) << "no temporary folder to measure the workbook in:" << scratch.errorString();
        return 0;
    }
    const QString copy = scratch.filePath(QStringLiteral("measure.") + suffix);
    m_core->noteDocument(copy);
    try {
        storeCopy(QUrl::fromLocalFile(copy).toString(QUrl::FullyEncoded), filter);
    } catch (const SpreadsheetError &e) {
        qCWarning(lcOffice) << "the workbook could not be measured in" << scratch.path() << ":" << e.what();
        return 0;
    }
    return QFileInfo(copy).size();
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

void CalcWorkbook::setCustomProperties(const Properties &properties)
{
    auto doc = m_document;
    m_core->call<void>(CalcCore::kCallLimit, [doc, properties](UnoState &) {
        const Reference<css::beans::XPropertyContainer> container = userProperties(doc->model);
        const Reference<css::beans::XPropertySet> set(container, UNO_QUERY_THROW);
        const Reference<css::beans::XPropertySetInfo> info = set->getPropertySetInfo();
        for (const auto &[name, value] : properties) {
            const OUString key = toOUString(name);
            const css::uno::Any text(toOUString(value));
            if (info->hasPropertyByName(key))
                set->setPropertyValue(key, text);
            else
                container->addProperty(key, css::beans::PropertyAttribute::REMOVABLE, text);
        }
    });
}

Workbook::Properties CalcWorkbook::customProperties()
{
    auto doc = m_document;
    return m_core->call<Properties>(CalcCore::kCallLimit, [doc](UnoState &) {
        const Reference<css::beans::XPropertySet> set(userProperties(doc->model), UNO_QUERY_THROW);
        Properties properties;
        for (const css::beans::Property &property : set->getPropertySetInfo()->getProperties()) {
            OUString text;
            if (set->getPropertyValue(property.Name) >>= text)
                properties.append({toQString(property.Name), toQString(text)});
        }
        return properties;
    });
}

QList<Workbook::SheetValues> CalcWorkbook::values()
{
    auto doc = m_document;
    // No fixed limit: a long run's sheets take a while to read.
    return m_core->callUntilDone<QList<SheetValues>>(
        [doc](UnoState &) {
            const Reference<css::sheet::XSpreadsheetDocument> book(doc->model, UNO_QUERY_THROW);
            const Reference<css::container::XIndexAccess> sheets(book->getSheets(), UNO_QUERY_THROW);
            QList<SheetValues> all;
            for (sal_Int32 i = 0; i < sheets->getCount(); ++i) {
                const Reference<css::sheet::XSpreadsheet> sheet(sheets->getByIndex(i), UNO_QUERY_THROW);
                SheetValues values;
                values.name = toQString(Reference<css::container::XNamed>(sheet, UNO_QUERY_THROW)->getName());
                const Reference<css::sheet::XSheetCellCursor> cursor = sheet->createCursor();
                Reference<css::sheet::XUsedAreaCursor>(cursor, UNO_QUERY_THROW)->gotoEndOfUsedArea(false);
                const css::table::CellRangeAddress end =
                    Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)->getRangeAddress();
                const Reference<css::sheet::XCellRangeData> range(
                    sheet->getCellRangeByPosition(0, 0, end.EndColumn, end.EndRow), UNO_QUERY_THROW);
                const css::uno::Sequence<css::uno::Sequence<css::uno::Any>> data = range->getDataArray();
                values.rows.reserve(data.getLength());
                for (const css::uno::Sequence<css::uno::Any> &row : data) {
                    QList<CellValue> cells;
                    cells.reserve(row.getLength());
                    for (const css::uno::Any &any : row) {
                        double number = 0;
                        OUString text;
                        if (any >>= number)
                            cells.append(number);
                        else if (any >>= text)
                            cells.append(toQString(text));
                        else
                            cells.append(QString());
                    }
                    values.rows.append(cells);
                }
                all.append(values);
            }
            return all;
        },
        m_core->savePatience());
}
