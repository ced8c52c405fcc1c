#include "CalcSpreadsheetApp.h"

#include "OfficeText.h"
#include "PlainFile.h"

#include "CalcCore.h"
#include "CalcWorkbook.h"
#include "DocumentMacro.h"
#include "LogCategories.h"
#include "SilentInteractionHandler.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <algorithm>
#include <vector>

using Kind = SpreadsheetError::Kind;

namespace {
// The workbook's name as Workbook.Name gives it.
QString modelName(const Reference<css::frame::XModel> &model) { return QUrl(toQString(model->getURL())).fileName(); }

// Every open spreadsheet document, in the office's order.
std::vector<Reference<css::frame::XModel>> spreadsheetModels(UnoState &state)
{
    std::vector<Reference<css::frame::XModel>> models;
    const Reference<css::container::XEnumeration> e = state.desktop->getComponents()->createEnumeration();
    while (e->hasMoreElements()) {
        Reference<css::sheet::XSpreadsheetDocument> doc(e->nextElement(), UNO_QUERY);
        Reference<css::frame::XModel> model(doc, UNO_QUERY);
        if (model.is())
            models.push_back(model);
    }
    return models;
}

// "Excel workbook,*.xls" (description, pattern, ...) as a Qt filter:
// "Excel workbook (*.xls)".
QString qtFilter(const QString &fileFilter)
{
    const QStringList parts = fileFilter.split(',');
    if (parts.size() < 2)
        return fileFilter;
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i].trimmed() + QStringLiteral(" (") + parts[i + 1].trimmed().replace(';', ' ') + ')';
    return filters.join(QStringLiteral(";;"));
}
} // namespace

CalcSpreadsheetApp::CalcSpreadsheetApp(std::shared_ptr<CalcCore> core) : m_core(std::move(core)) {}

CalcSpreadsheetApp::~CalcSpreadsheetApp()
{
    if (m_core->headless())
        m_core->quit();
}

std::shared_ptr<Workbook> CalcSpreadsheetApp::open(const QString &path) { return load(path, Load::WithView); }

std::shared_ptr<Workbook> CalcSpreadsheetApp::openToFill(const QString &path) { return load(path, Load::ToFill); }

std::shared_ptr<Workbook> CalcSpreadsheetApp::openHidden(const QString &path) { return load(path, Load::Hidden); }

std::shared_ptr<Workbook> CalcSpreadsheetApp::load(const QString &path, Load how)
{
    m_core->ensureRunning();
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        throw SpreadsheetError(Kind::Failed, QStringLiteral("No such file: %1").arg(path));
    // The office would wait on a FIFO for good and follow a link: named
    // instead. A workbook loaded hidden (a start-up folder's, or one only
    // read, checked before) may be a link to a plain file.
    const bool hidden = how == Load::Hidden;
    if (hidden && !info.isFile())
        throw SpreadsheetError(Kind::Failed, QStringLiteral("%1 is not a plain file").arg(path));
    if (const std::optional<Failure> failure = hidden ? std::nullopt : PlainFile::check(path))
        throw SpreadsheetError(Kind::Failed, failure->reason);
    const QString absolute = info.absoluteFilePath();
    // A lock left behind by a killed office of ours must not stop us.
    OfficeFolders::removeStaleLock(absolute);
    m_core->noteDocument(absolute);
    const QString url = QUrl::fromLocalFile(absolute).toString(QUrl::FullyEncoded);
    auto document = std::make_shared<CalcDocument>();
    m_core->call<void>(CalcCore::kDocumentLimit, [url, document, how](UnoState &state) {
        // A workbook to fill goes without a view in a headless office (where
        // nobody sees it) until a macro runs: writes go twice as fast.
        const bool viewless = how == Load::ToFill && state.headless;
        const bool hidden = how == Load::Hidden || viewless;
        std::vector<css::beans::PropertyValue> args{
            property("MacroExecutionMode", Any(css::document::MacroExecMode::ALWAYS_EXECUTE_NO_WARN)),
            property("InteractionHandler",
                     Any(Reference<css::task::XInteractionHandler>(new SilentInteractionHandler))),
        };
        // A hidden document has no view, and the VBA a macro runs on the
        // working copy (End(xlUp), ActiveCell, Selection, Worksheet.Copy)
        // needs one: only the personal macro workbooks stay hidden, and a
        // workbook to fill gets its view before a macro runs. A headless
        // office shows no window either way.
        if (hidden)
            args.push_back(property("Hidden", Any(true)));
        const Reference<css::frame::XComponentLoader> loader(state.desktop, UNO_QUERY_THROW);
        const Reference<css::lang::XComponent> component = loader->loadComponentFromURL(
            toOUString(url), "_blank", 0, Sequence<css::beans::PropertyValue>(args.data(), args.size()));
        Reference<css::sheet::XSpreadsheetDocument> sheets(component, UNO_QUERY);
        Reference<css::frame::XModel> model(component, UNO_QUERY);
        if (!sheets.is() || !model.is()) {
            Reference<css::util::XCloseable> closeable(component, UNO_QUERY);
            if (closeable.is())
                closeable->close(true);
            throw SpreadsheetError(Kind::Failed, QStringLiteral("Not a workbook: %1").arg(OfficeText::withPaths(url)));
        }
        state.ownModels.push_back(model);
        if (how == Load::Hidden)
            state.hiddenModels.push_back(model);
        if (viewless) {
            state.makeViewlessActive(model);
            document->model = model;
            return;
        }
        // Like Workbooks.Open: the opened workbook becomes the active one,
        // unless it is one the user does not see.
        if (!hidden) {
            state.activate(model);
            // A macro's ActiveWorkbook is the workbook the office registered
            // last for VBA: one in a window is registered as it is
            // activated, one in a headless office only as its VBA objects
            // are made. Made now, so the macro at Stop sees this one.
            try {
                Reference<css::lang::XMultiServiceFactory>(model, UNO_QUERY_THROW)
                    ->createInstance("ooo.vba.VBAGlobals");
            } catch (const css::uno::Exception &) {
                // no VBA support in this office: Basic macros still run
                qCInfo(lcOffice).noquote() << "No VBA support:" << UnoSupport::caughtReason();
            }
        }
        document->model = model;
    });
    return std::make_shared<CalcWorkbook>(m_core, document);
}

void CalcSpreadsheetApp::setVisible(bool visible)
{
    m_core->call<void>(CalcCore::kCallLimit, [visible](UnoState &state) {
        if (state.headless)
            return; // nothing can be shown
        for (const auto &model : spreadsheetModels(state)) {
            // The personal macro workbooks stay hidden, as in Excel.
            if (std::find(state.hiddenModels.begin(), state.hiddenModels.end(), model) != state.hiddenModels.end())
                continue;
            const Reference<css::frame::XController> controller = model->getCurrentController();
            const Reference<css::frame::XFrame> frame = controller.is() ? controller->getFrame() : nullptr;
            if (frame.is() && frame->getContainerWindow().is())
                frame->getContainerWindow()->setVisible(visible);
        }
    });
}

QString CalcSpreadsheetApp::startupPath()
{
    m_core->ensureRunning();
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    QString folder = base + QStringLiteral("/Halvern/XLSTART");
    QDir().mkpath(folder);
    return folder;
}

QString CalcSpreadsheetApp::addSheet()
{
    return m_core->call<QString>(CalcCore::kDocumentLimit, [](UnoState &state) {
        const Reference<css::frame::XModel> model = state.activeModel();
        const Reference<css::sheet::XSpreadsheetDocument> doc(model, UNO_QUERY_THROW);
        const Reference<css::sheet::XSpreadsheets> sheets = doc->getSheets();
        const Reference<css::container::XIndexAccess> byIndex(sheets, UNO_QUERY_THROW);
        const Reference<css::container::XNamed> first(byIndex->getByIndex(0), UNO_QUERY_THROW);
        const Reference<css::container::XNamed> active(state.activeSheet(), UNO_QUERY_THROW);
        const Sequence<OUString> names = sheets->getElementNames();
        sal_Int16 after = 0;
        for (sal_Int32 i = 0; i < names.getLength(); ++i) {
            if (names[i] == active->getName())
                after = static_cast<sal_Int16>(i);
        }
        OUString name;
        for (int n = 2; name.isEmpty() || sheets->hasByName(name); ++n)
            name = first->getName() + " " + OUString::number(n);
        sheets->insertNewByName(name, static_cast<sal_Int16>(after + 1));
        state.setActiveSheet(Reference<css::sheet::XSpreadsheet>(sheets->getByName(name), UNO_QUERY_THROW));
        return toQString(name);
    });
}

void CalcSpreadsheetApp::run(const QString &macro, const std::function<void()> &waiting)
{
    // "Book!Macro" runs Macro from the workbook named Book; a plain name is
    // looked up in the active workbook. Macro may be Name, Module.Name or
    // Library.Module.Name.
    QString book;
    QString name = macro.trimmed();
    const qsizetype bang = name.indexOf('!');
    if (bang > 0) {
        book = name.left(bang).trimmed();
        name = name.mid(bang + 1).trimmed();
        if (book.size() >= 2 && book.startsWith('\'') && book.endsWith('\''))
            book = book.mid(1, book.size() - 2);
    } else if (bang == 0) {
        name = name.mid(1).trimmed();
    }
    const QStringList parts = name.split('.');
    if (name.isEmpty() || parts.size() > 3 || parts.contains(QString()))
        throw SpreadsheetError(Kind::Missing, QStringLiteral("%1 is not a macro name").arg(macro));
    const QString library = parts.size() == 3 ? parts[0] : QString();
    const QString module = parts.size() >= 2 ? parts[parts.size() - 2] : QString();
    const QString &sub = parts.last();

    const auto found = m_core->call<std::shared_ptr<DocumentMacro>>(
        CalcCore::kDocumentLimit, [book, library, module, sub, name](UnoState &state) {
            // VBA needs a view (ActiveCell, Selection, End(xlUp)): a
            // workbook filled without one gets it now.
            state.giveView();
            Reference<css::frame::XModel> model;
            if (book.isEmpty()) {
                model = state.activeModel();
            } else {
                for (const auto &candidate : spreadsheetModels(state)) {
                    if (modelName(candidate).compare(book, Qt::CaseInsensitive) == 0) {
                        model = candidate;
                        break;
                    }
                }
                if (!model.is())
                    throw SpreadsheetError(Kind::Missing, QStringLiteral("no open workbook is named %1").arg(book));
            }
            const QString bookName = modelName(model);
            // A workbook opened from elsewhere (by a macro, by the user) keeps
            // the office's own macro security.
            if (!state.isOwn(model))
                throw SpreadsheetError(
                    Kind::Missing,
                    QStringLiteral("the macros of %1 do not run: Halvern did not open it").arg(bookName));
            std::shared_ptr<DocumentMacro> macro = DocumentMacro::find(model, library, module, sub);
            if (!macro)
                throw SpreadsheetError(Kind::Missing, QStringLiteral("%1 holds no macro %2").arg(bookName, name));
            macro->addCaller();
            return macro;
        });
    // The caller module goes again whatever happened, on the office's thread.
    auto removeCaller = [this, found] {
        try {
            m_core->call<void>(CalcCore::kCallLimit, [found](UnoState &) { found->removeCaller(); });
        } catch (...) {
            qCWarning(lcOffice).noquote()
                << "The macro's caller module stays in its workbook:" << UnoSupport::caughtReason();
        }
    };
    QString answer;
    try {
        // A macro may wait for the user (a message box) without using the
        // processor: no stall ends it.
        Patience patience{std::nullopt, std::chrono::milliseconds(50), {}, {}};
        if (waiting)
            patience.notice = [&waiting](int) { waiting(); };
        answer = m_core->callUntilDone<QString>([found](UnoState &) { return found->call(); }, patience);
    } catch (...) {
        removeCaller();
        throw;
    }
    removeCaller();
    DocumentMacro::checkAnswer(answer);
}

QList<std::shared_ptr<Workbook>> CalcSpreadsheetApp::workbooks()
{
    const auto models = m_core->call<std::vector<Reference<css::frame::XModel>>>(
        CalcCore::kCallLimit, [](UnoState &state) { return spreadsheetModels(state); });
    QList<std::shared_ptr<Workbook>> books;
    for (const auto &model : models) {
        auto document = std::make_shared<CalcDocument>();
        document->model = model;
        books.append(std::make_shared<CalcWorkbook>(m_core, document));
    }
    return books;
}

std::optional<QString> CalcSpreadsheetApp::getSaveAsFilename(const QString &initialFilename, const QString &fileFilter,
                                                             const QString &title)
{
    Q_UNUSED(initialFilename); // the dialog starts without a file name
    m_core->ensureRunning();
    return m_core->askSaveAsFilename(title, qtFilter(fileFilter));
}

void CalcSpreadsheetApp::quit() { m_core->quit(); }

QString CalcSpreadsheetApp::version()
{
    return m_core->call<QString>(CalcCore::kCallLimit, [](UnoState &state) {
        const Reference<css::lang::XMultiServiceFactory> provider(
            state.context->getServiceManager()->createInstanceWithContext(
                "com.sun.star.configuration.ConfigurationProvider", state.context),
            UNO_QUERY_THROW);
        css::uno::Sequence<css::uno::Any> args(1);
        args[0] <<= property("nodepath", css::uno::Any(OUString("/org.openoffice.Setup/Product")));
        const Reference<css::container::XNameAccess> product(
            provider->createInstanceWithArguments("com.sun.star.configuration.ConfigurationAccess", args),
            UNO_QUERY_THROW);
        OUString name;
        OUString number;
        product->getByName("ooName") >>= name;
        product->getByName("ooSetupVersionAboutBox") >>= number;
        return (toQString(name) + ' ' + toQString(number)).trimmed();
    });
}

pid_t CalcSpreadsheetApp::processGroup() const { return m_core->process()->pid(); }

QString CalcSpreadsheetApp::pipeName() const { return m_core->folders().unique(); }

QString CalcSpreadsheetApp::instanceFolder() const { return m_core->folders().folder(); }

void CalcSpreadsheetApp::setLongCallNotice(std::function<void(int seconds)> notice)
{
    m_core->setLongCallNotice(std::move(notice));
}
