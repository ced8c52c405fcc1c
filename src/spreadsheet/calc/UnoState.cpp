#include "UnoState.h"

#include "OfficeText.h"

#include "LogCategories.h"

#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/document/XViewDataSupplier.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XFramesSupplier.hpp>
#include <com/sun/star/frame/theGlobalEventBroadcaster.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <cppuhelper/exc_hlp.hxx>
#include <cppuhelper/implbase1.hxx>
#include <cppuhelper/implbase2.hxx>

using Kind = SpreadsheetError::Kind;

namespace {
// Notes when the connection to the office goes down.
class BridgeWatch : public cppu::WeakImplHelper1<css::lang::XEventListener> {
public:
    explicit BridgeWatch(std::shared_ptr<std::atomic<bool>> down) : m_down(std::move(down)) {}
    void SAL_CALL disposing(const css::lang::EventObject &) override { *m_down = true; }

private:
    std::shared_ptr<std::atomic<bool>> m_down;
};
// Counts every document event (a workbook activated, closed, ...) and every
// sheet switch, so that a cached active sheet is fetched afresh after one.
class ChangeWatch
    : public cppu::WeakImplHelper2<css::document::XDocumentEventListener, css::sheet::XActivationEventListener> {
public:
    explicit ChangeWatch(std::shared_ptr<std::atomic<unsigned>> changes) : m_changes(std::move(changes)) {}
    void SAL_CALL documentEventOccured(const css::document::DocumentEvent &) override { ++*m_changes; }
    void SAL_CALL activeSpreadsheetChanged(const css::sheet::ActivationEvent &) override { ++*m_changes; }
    void SAL_CALL disposing(const css::lang::EventObject &) override { ++*m_changes; }

private:
    std::shared_ptr<std::atomic<unsigned>> m_changes;
};
} // namespace

void UnoState::watchChanges()
{
    eventSource.set(css::frame::theGlobalEventBroadcaster::get(context), UNO_QUERY);
    if (eventSource.is()) {
        eventWatch = new ChangeWatch(changes);
        eventSource->addDocumentEventListener(eventWatch);
    }
}

void UnoState::watchBridge()
{
    bridgeWatch = new BridgeWatch(bridgeDown);
    bridge->addEventListener(bridgeWatch);
}

void UnoState::forgetCache()
{
    ++*changes;
    cachedSheet.clear();
    seenComponent.clear();
    seenModel.clear();
    seenView.clear();
}

void UnoState::releaseAll()
{
    forgetCache();
    // An office that has gone answers these at once with an exception.
    try {
        if (eventSource.is() && eventWatch.is())
            eventSource->removeDocumentEventListener(eventWatch);
    } catch (...) {
        qCDebug(lcOffice).noquote() << "Document events not unwatched:" << UnoSupport::caughtReason();
    }
    for (const ViewWatch &w : watchedViews) {
        try {
            w.source->removeActivationEventListener(w.listener);
        } catch (...) {
            qCDebug(lcOffice).noquote() << "Sheet switches not unwatched:" << UnoSupport::caughtReason();
        }
    }
    try {
        if (bridge.is() && bridgeWatch.is())
            bridge->removeEventListener(bridgeWatch);
    } catch (...) {
        qCDebug(lcOffice).noquote() << "Connection not unwatched:" << UnoSupport::caughtReason();
    }
    eventSource.clear();
    eventWatch.clear();
    bridgeWatch.clear();
    lastActive.clear();
    viewless.clear();
    viewlessSheet.clear();
    ownModels.clear();
    hiddenModels.clear();
    watchedViews.clear();
    desktop.clear();
    context.clear();
    bridge.clear();
}

Reference<css::frame::XModel> UnoState::activeModel()
{
    if (!desktop.is())
        throw SpreadsheetError(Kind::Gone, QStringLiteral("Not connected to the office"));
    if (viewless.is())
        return viewless;
    const Reference<css::lang::XComponent> current = desktop->getCurrentComponent();
    if (current.is() && current.get() != seenComponent.get()) {
        // Another component came to the front: see whether it is a workbook.
        forgetCache();
        seenComponent = current;
        Reference<css::sheet::XSpreadsheetDocument> sheetDoc(current, UNO_QUERY);
        if (sheetDoc.is()) {
            seenModel.set(current, UNO_QUERY);
            if (seenModel.is())
                seenView.set(seenModel->getCurrentController(), UNO_QUERY);
        }
    }
    if (current.is() && seenModel.is()) {
        lastActive = seenModel;
        return seenModel;
    }
    if (lastActive.is())
        return lastActive;
    throw SpreadsheetError(Kind::Failed, QStringLiteral("No workbook is active"));
}

Reference<css::sheet::XSpreadsheet> UnoState::activeSheet()
{
    if (viewless.is())
        return viewlessSheet;
    const unsigned now = *changes;
    if (cachedSheet.is() && cachedAt == now)
        return cachedSheet;
    const Reference<css::frame::XModel> model = activeModel();
    Reference<css::sheet::XSpreadsheetView> view;
    if (model.get() == seenModel.get() && seenView.is())
        view = seenView;
    else
        view.set(model->getCurrentController(), UNO_QUERY);
    if (!view.is())
        throw SpreadsheetError(Kind::Failed, QStringLiteral("The active workbook has no sheet view"));
    bool watched = false;
    for (const ViewWatch &w : watchedViews)
        watched = watched || w.view.get() == view.get();
    if (!watched) {
        ViewWatch w{view, Reference<css::sheet::XActivationBroadcaster>(view, UNO_QUERY), new ChangeWatch(changes)};
        if (w.source.is())
            w.source->addActivationEventListener(w.listener);
        watchedViews.push_back(std::move(w));
    }
    Reference<css::sheet::XSpreadsheet> sheet = view->getActiveSheet();
    if (!sheet.is())
        throw SpreadsheetError(Kind::Failed, QStringLiteral("The active workbook has no active sheet"));
    // Only valid if nothing happened while we looked.
    if (*changes == now) {
        cachedSheet = sheet;
        cachedAt = now;
    }
    return sheet;
}

void UnoState::setActiveSheet(const Reference<css::sheet::XSpreadsheet> &sheet)
{
    if (viewless.is()) {
        viewlessSheet = sheet;
    } else {
        const Reference<css::sheet::XSpreadsheetView> view(activeModel()->getCurrentController(), UNO_QUERY_THROW);
        view->setActiveSheet(sheet);
    }
    forgetCache();
}

void UnoState::makeViewlessActive(const Reference<css::frame::XModel> &model)
{
    const Reference<css::sheet::XSpreadsheetDocument> doc(model, UNO_QUERY_THROW);
    const Reference<css::sheet::XSpreadsheets> sheets = doc->getSheets();
    Reference<css::sheet::XSpreadsheet> sheet;
    // The sheet it was saved on, as its view settings keep it.
    const Reference<css::document::XViewDataSupplier> supplier(model, UNO_QUERY);
    const Reference<css::container::XIndexAccess> data = supplier.is() ? supplier->getViewData() : nullptr;
    if (data.is() && data->getCount() > 0) {
        Sequence<css::beans::PropertyValue> settings;
        data->getByIndex(0) >>= settings;
        for (const css::beans::PropertyValue &setting : std::as_const(settings)) {
            OUString name;
            if (setting.Name == "ActiveTable" && (setting.Value >>= name) && sheets->hasByName(name))
                sheet.set(sheets->getByName(name), UNO_QUERY);
        }
    }
    if (!sheet.is())
        sheet.set(Reference<css::container::XIndexAccess>(sheets, UNO_QUERY_THROW)->getByIndex(0), UNO_QUERY_THROW);
    viewless = model;
    viewlessSheet = sheet;
    lastActive = model;
    forgetCache();
}

void UnoState::giveView()
{
    if (!viewless.is())
        return;
    const Reference<css::frame::XModel> model = viewless;
    const Reference<css::sheet::XSpreadsheet> sheet = viewlessSheet;
    viewless.clear();
    viewlessSheet.clear();
    // Loading the model itself gives it a new frame with a view.
    const css::beans::PropertyValue modelArg = property("Model", Any(model));
    const Sequence<css::beans::PropertyValue> args(&modelArg, 1);
    Reference<css::frame::XComponentLoader>(desktop, UNO_QUERY_THROW)
        ->loadComponentFromURL("private:object", "_blank", 0, args);
    activate(model);
    const Reference<css::sheet::XSpreadsheetView> view(model->getCurrentController(), UNO_QUERY);
    if (!view.is())
        throw SpreadsheetError(Kind::Failed, QStringLiteral("The workbook got no sheet view"));
    view->setActiveSheet(sheet);
    forgetCache();
    // A macro's ActiveWorkbook is the workbook registered last for VBA: made
    // now, so that it is this one.
    try {
        Reference<css::lang::XMultiServiceFactory>(model, UNO_QUERY_THROW)->createInstance("ooo.vba.VBAGlobals");
    } catch (const css::uno::Exception &) {
        qCInfo(lcOffice).noquote() << "No VBA support:" << UnoSupport::caughtReason();
    }
}

bool UnoState::isOwn(const Reference<css::frame::XModel> &model) const
{
    for (const auto &own : ownModels)
        if (own == model)
            return true;
    return false;
}

void UnoState::activate(const Reference<css::frame::XModel> &model)
{
    if (viewless.is() && viewless != model) {
        // Another workbook comes to the front: the viewless one is left as a
        // hidden workbook.
        viewless.clear();
        viewlessSheet.clear();
    }
    const Reference<css::frame::XController> controller = model->getCurrentController();
    const Reference<css::frame::XFrame> frame = controller.is() ? controller->getFrame() : nullptr;
    if (frame.is()) {
        frame->activate();
        Reference<css::frame::XFramesSupplier> frames(desktop, UNO_QUERY);
        if (frames.is())
            frames->setActiveFrame(frame);
        if (!headless) {
            Reference<css::awt::XTopWindow> top(frame->getContainerWindow(), UNO_QUERY);
            if (top.is())
                top->toFront();
        }
    }
    lastActive = model;
    forgetCache();
}

void rethrowAsSpreadsheetError(UnoState &state)
{
    state.forgetCache();
    try {
        throw;
    } catch (const SpreadsheetError &) {
        throw;
    } catch (const css::uno::RuntimeException &e) {
        // A closed document and a dead connection both say "disposed": ask
        // the desktop whether the connection still works.
        const css::uno::Any caught = cppu::getCaughtException();
        bool dead = *state.bridgeDown || !state.desktop.is();
        if (!dead) {
            try {
                state.desktop->getCurrentFrame();
            } catch (...) {
                qCDebug(lcOffice).noquote() << "The office does not answer:" << UnoSupport::caughtReason();
                dead = true;
            }
        }
        throw SpreadsheetError(dead ? Kind::Gone : Kind::Failed, toQString(caught.getValueTypeName()) + ": "
                                                                     + OfficeText::withPaths(toQString(e.Message)));
    } catch (const css::uno::Exception &e) {
        const css::uno::Any caught = cppu::getCaughtException();
        throw SpreadsheetError(*state.bridgeDown ? Kind::Gone : Kind::Failed,
                               toQString(caught.getValueTypeName()) + ": "
                                   + OfficeText::withPaths(toQString(e.Message)));
    } catch (const std::exception &e) {
        throw SpreadsheetError(Kind::Failed, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        throw SpreadsheetError(Kind::Failed, QStringLiteral("Unknown failure in the office call"));
    }
}
