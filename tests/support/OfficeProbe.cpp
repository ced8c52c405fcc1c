#include "OfficeProbe.h"

#include "CalcSpreadsheetApp.h"
#include "CalcSpreadsheetFactory.h"
#include "UnoSupport.h"

#include <QFileInfo>
#include <QUrl>
#include <com/sun/star/awt/XWindow2.hpp>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/document/XEmbeddedScripts.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/script/ModuleInfo.hpp>
#include <com/sun/star/script/ModuleType.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/script/vba/XVBACompatibility.hpp>
#include <com/sun/star/script/vba/XVBAModuleInfo.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <stdexcept>
#include <vector>

struct OfficeProbe::Impl {
    Reference<css::lang::XComponent> bridge;
    Reference<css::frame::XDesktop2> desktop;

    Reference<css::frame::XModel> model(const QString &book)
    {
        const auto e = desktop->getComponents()->createEnumeration();
        while (e->hasMoreElements()) {
            Reference<css::frame::XModel> m(e->nextElement(), UNO_QUERY);
            if (m.is() && QUrl(toQString(m->getURL())).fileName() == book)
                return m;
        }
        throw std::runtime_error(("no open document " + book).toStdString());
    }
    Reference<css::sheet::XSpreadsheet> sheet(const QString &book, int index)
    {
        Reference<css::sheet::XSpreadsheetDocument> doc(model(book), UNO_QUERY_THROW);
        Reference<css::container::XIndexAccess> sheets(doc->getSheets(), UNO_QUERY_THROW);
        return Reference<css::sheet::XSpreadsheet>(sheets->getByIndex(index), UNO_QUERY_THROW);
    }
};

OfficeProbe::OfficeProbe(const QString &pipeName) : d(std::make_unique<Impl>()) { connect(pipeName); }

OfficeProbe::OfficeProbe() : d(std::make_unique<Impl>())
{
    m_office = CalcSpreadsheetFactory().createHeadless();
    connect(dynamic_cast<CalcSpreadsheetApp &>(*m_office).pipeName());
}

void OfficeProbe::connect(const QString &pipeName)
{
    // On a loaded machine the office now and then drops a second connection
    // from this process during its first call (the program's own one stays);
    // a fresh connection then works.
    for (int attempt = 1;; ++attempt) {
        try {
            const auto local = UnoSupport::localContext(UnoSupport::programFolderOf(QStringLiteral("soffice")));
            const auto connection =
                css::connection::Connector::create(local)->connect(toOUString("pipe,name=" + pipeName));
            const auto bridge = css::bridge::BridgeFactory::create(local)->createBridge("", "urp", connection, nullptr);
            d->bridge.set(bridge, UNO_QUERY_THROW);
            Reference<css::uno::XComponentContext> ctx(bridge->getInstance("StarOffice.ComponentContext"),
                                                       UNO_QUERY_THROW);
            d->desktop = css::frame::Desktop::create(ctx);
            return;
        } catch (const css::lang::DisposedException &e) {
            if (attempt == 3)
                throw std::runtime_error(("probe cannot connect: " + toQString(e.Message)).toStdString());
        } catch (const css::uno::Exception &e) {
            throw std::runtime_error(("probe cannot connect: " + toQString(e.Message)).toStdString());
        }
    }
}

OfficeProbe::~OfficeProbe()
{
    try {
        d->desktop.clear();
        if (d->bridge.is())
            d->bridge->dispose();
        if (m_office)
            m_office->quit();
    } catch (...) {
    }
}

void OfficeProbe::makeMacroWorkbook(const QString &path, const Modules &modules, bool vba, const QString &project)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    const QString filter = suffix == "xlsm" ? "Calc MS Excel 2007 VBA XML" : suffix == "ods" ? "calc8" : "MS Excel 97";
    try {
        Sequence<css::beans::PropertyValue> hidden(1);
        hidden[0] = property("Hidden", Any(true));
        const Reference<css::frame::XComponentLoader> loader(d->desktop, UNO_QUERY_THROW);
        const Reference<css::lang::XComponent> doc =
            loader->loadComponentFromURL("private:factory/scalc", "_blank", 0, hidden);
        const Reference<css::script::XLibraryContainer> libraries(
            Reference<css::document::XEmbeddedScripts>(doc, UNO_QUERY_THROW)->getBasicLibraries(), UNO_QUERY_THROW);
        const OUString library = toOUString(vba ? project : QStringLiteral("Standard"));
        if (vba) {
            const Reference<css::script::vba::XVBACompatibility> compatibility(libraries, UNO_QUERY_THROW);
            compatibility->setVBACompatibilityMode(true);
            compatibility->setProjectName(library);
        }
        if (!libraries->hasByName(library))
            libraries->createLibrary(library);
        const Reference<css::container::XNameContainer> modulesOf(libraries->getByName(library), UNO_QUERY_THROW);
        for (const auto &[name, code] : modules) {
            if (vba)
                Reference<css::script::vba::XVBAModuleInfo>(modulesOf, UNO_QUERY_THROW)
                    ->insertModuleInfo(toOUString(name),
                                       {Reference<css::uno::XInterface>(), css::script::ModuleType::NORMAL});
            modulesOf->insertByName(toOUString(name), Any(toOUString((vba ? "Option VBASupport 1\n" : "") + code)));
        }
        Sequence<css::beans::PropertyValue> args(1);
        args[0] = property("FilterName", Any(toOUString(filter)));
        Reference<css::frame::XStorable>(doc, UNO_QUERY_THROW)
            ->storeToURL(toOUString(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString()), args);
        Reference<css::util::XCloseable>(doc, UNO_QUERY_THROW)->close(true);
    } catch (const css::uno::Exception &e) {
        throw std::runtime_error(("cannot make " + path + ": " + toQString(e.Message)).toStdString());
    }
}

OfficeProbe::Cell OfficeProbe::cell(const QString &book, int sheet, int row, int column)
{
    try {
        const Reference<css::table::XCell> c = d->sheet(book, sheet)->getCellByPosition(column - 1, row - 1);
        Cell result;
        switch (c->getType()) {
        case css::table::CellContentType_EMPTY:
            result.type = "EMPTY";
            break;
        case css::table::CellContentType_VALUE:
            result.type = "VALUE";
            break;
        case css::table::CellContentType_TEXT:
            result.type = "TEXT";
            break;
        case css::table::CellContentType_FORMULA:
            result.type = "FORMULA";
            break;
        default:
            result.type = "?";
            break;
        }
        result.value = c->getValue();
        result.formula = toQString(c->getFormula());
        result.text = toQString(Reference<css::text::XTextRange>(c, UNO_QUERY_THROW)->getString());
        return result;
    } catch (const css::uno::Exception &e) {
        throw std::runtime_error(("probe: " + toQString(e.Message)).toStdString());
    }
}

bool OfficeProbe::readOnly(const QString &book)
{
    return Reference<css::frame::XStorable>(d->model(book), UNO_QUERY_THROW)->isReadonly();
}

QStringList OfficeProbe::shownDocuments()
{
    QStringList shown;
    const auto e = d->desktop->getComponents()->createEnumeration();
    while (e->hasMoreElements()) {
        const Reference<css::frame::XModel> model(e->nextElement(), UNO_QUERY);
        const Reference<css::frame::XController> controller = model.is() ? model->getCurrentController() : nullptr;
        const Reference<css::frame::XFrame> frame = controller.is() ? controller->getFrame() : nullptr;
        const Reference<css::awt::XWindow2> window(frame.is() ? frame->getContainerWindow() : nullptr, UNO_QUERY);
        if (window.is() && window->isVisible())
            shown << QUrl(toQString(model->getURL())).fileName();
    }
    return shown;
}

void OfficeProbe::setActiveSheet(const QString &book, int sheet)
{
    Reference<css::sheet::XSpreadsheetView> view(d->model(book)->getCurrentController(), UNO_QUERY_THROW);
    view->setActiveSheet(d->sheet(book, sheet));
}

void OfficeProbe::closeAll()
{
    std::vector<Reference<css::util::XCloseable>> docs;
    const auto e = d->desktop->getComponents()->createEnumeration();
    while (e->hasMoreElements()) {
        Reference<css::util::XCloseable> doc(e->nextElement(), UNO_QUERY);
        if (doc.is())
            docs.push_back(doc);
    }
    for (const auto &doc : docs)
        doc->close(true);
}
