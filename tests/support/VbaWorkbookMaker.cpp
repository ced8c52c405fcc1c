#include "VbaWorkbookMaker.h"

#include "CalcSpreadsheetApp.h"
#include "CalcSpreadsheetFactory.h"
#include "UnoSupport.h"

#include <QFileInfo>
#include <QUrl>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/document/XEmbeddedScripts.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/script/ModuleInfo.hpp>
#include <com/sun/star/script/ModuleType.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/script/vba/XVBACompatibility.hpp>
#include <com/sun/star/script/vba/XVBAModuleInfo.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <stdexcept>

struct VbaWorkbookMaker::Impl {
    Reference<css::lang::XComponent> bridge;
    Reference<css::frame::XDesktop2> desktop;
};

VbaWorkbookMaker::VbaWorkbookMaker() : d(std::make_unique<Impl>())
{
    CalcSpreadsheetFactory factory;
    m_app = factory.createHeadless();
    const QString pipe = dynamic_cast<CalcSpreadsheetApp &>(*m_app).pipeName();
    try {
        const auto local = UnoSupport::localContext(UnoSupport::programFolderOf(QStringLiteral("soffice")));
        const auto connection = css::connection::Connector::create(local)->connect(toOUString("pipe,name=" + pipe));
        const auto bridge = css::bridge::BridgeFactory::create(local)->createBridge("", "urp", connection, nullptr);
        d->bridge.set(bridge, UNO_QUERY_THROW);
        Reference<css::uno::XComponentContext> ctx(bridge->getInstance("StarOffice.ComponentContext"),
                                                   UNO_QUERY_THROW);
        d->desktop = css::frame::Desktop::create(ctx);
    } catch (const css::uno::Exception &e) {
        throw std::runtime_error(("maker cannot connect: " + toQString(e.Message)).toStdString());
    }
}

VbaWorkbookMaker::~VbaWorkbookMaker()
{
    try {
        d->desktop.clear();
        if (d->bridge.is())
            d->bridge->dispose();
    } catch (...) {
    }
    try {
        m_app->quit();
    } catch (...) {
    }
}

void VbaWorkbookMaker::make(const QString &path, const Modules &modules, bool vba, const QString &project,
                            const QString &firstCell)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    const QString filter = suffix == "xlsm" ? "Calc MS Excel 2007 VBA XML" : suffix == "ods" ? "calc8" : "MS Excel 97";
    try {
        const Reference<css::frame::XComponentLoader> loader(d->desktop, UNO_QUERY_THROW);
        Sequence<css::beans::PropertyValue> hidden(1);
        hidden[0] = property("Hidden", Any(true));
        const Reference<css::lang::XComponent> doc =
            loader->loadComponentFromURL("private:factory/scalc", "_blank", 0, hidden);
        if (!firstCell.isEmpty()) {
            const Reference<css::sheet::XSpreadsheetDocument> sheets(doc, UNO_QUERY_THROW);
            const Reference<css::container::XIndexAccess> byIndex(sheets->getSheets(), UNO_QUERY_THROW);
            const Reference<css::sheet::XSpreadsheet> sheet(byIndex->getByIndex(0), UNO_QUERY_THROW);
            Reference<css::text::XTextRange>(sheet->getCellByPosition(0, 0), UNO_QUERY_THROW)
                ->setString(toOUString(firstCell));
        }
        const Reference<css::document::XEmbeddedScripts> scripts(doc, UNO_QUERY_THROW);
        const Reference<css::script::XLibraryContainer> libraries(scripts->getBasicLibraries(), UNO_QUERY_THROW);
        const QString libraryName = vba ? project : QStringLiteral("Standard");
        if (vba) {
            const Reference<css::script::vba::XVBACompatibility> compatibility(libraries, UNO_QUERY_THROW);
            compatibility->setVBACompatibilityMode(true);
            compatibility->setProjectName(toOUString(project));
        }
        if (!libraries->hasByName(toOUString(libraryName)))
            libraries->createLibrary(toOUString(libraryName));
        const Reference<css::container::XNameContainer> library(libraries->getByName(toOUString(libraryName)),
                                                                UNO_QUERY_THROW);
        for (const auto &[name, code] : modules) {
            if (vba) {
                css::script::ModuleInfo info;
                info.ModuleType = css::script::ModuleType::NORMAL;
                Reference<css::script::vba::XVBAModuleInfo>(library, UNO_QUERY_THROW)
                    ->insertModuleInfo(toOUString(name), info);
            }
            library->insertByName(toOUString(name),
                                  Any(toOUString((vba ? QStringLiteral("Option VBASupport 1\n") : QString()) + code)));
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
