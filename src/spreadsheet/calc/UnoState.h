#pragma once

// Internal to the Calc component: the session with one office over UNO.
#include "SpreadsheetError.h"
#include "UnoSupport.h"

#include <atomic>
#include <com/sun/star/document/XDocumentEventBroadcaster.hpp>
#include <com/sun/star/document/XDocumentEventListener.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XEventListener.hpp>
#include <com/sun/star/sheet/XActivationBroadcaster.hpp>
#include <com/sun/star/sheet/XActivationEventListener.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <memory>
#include <vector>

// The UNO objects of one office connection. Used on the worker thread only.
struct UnoState {
    bool headless = false;
    std::shared_ptr<std::atomic<bool>> bridgeDown = std::make_shared<std::atomic<bool>>(false);
    css::uno::Reference<css::lang::XComponent> bridge;
    css::uno::Reference<css::lang::XEventListener> bridgeWatch;
    css::uno::Reference<css::uno::XComponentContext> context; // the office's
    css::uno::Reference<css::frame::XDesktop2> desktop;
    // The workbook made active last through us: used when the office's
    // current component is not a workbook (e.g. a hidden load, a Basic IDE).
    css::uno::Reference<css::frame::XModel> lastActive;
    // The active workbook while it has no view (opened for the program alone
    // to fill: writes go about twice as fast without one), and the sheet that
    // counts as its active one. It gets its view in giveView().
    css::uno::Reference<css::frame::XModel> viewless;
    css::uno::Reference<css::sheet::XSpreadsheet> viewlessSheet;
    // The workbooks opened through us: the only ones whose macros we run.
    std::vector<css::uno::Reference<css::frame::XModel>> ownModels;
    // Of those, the ones opened hidden (the personal macro workbooks): never
    // saved by us, and closed unasked when the office is quit.
    std::vector<css::uno::Reference<css::frame::XModel>> hiddenModels;
    // Cache for the write path: the current component last seen, its model
    // and view. Checked against the office on every write.
    css::uno::Reference<css::lang::XComponent> seenComponent;
    css::uno::Reference<css::frame::XModel> seenModel;
    css::uno::Reference<css::sheet::XSpreadsheetView> seenView;
    // The active sheet as last fetched, valid while no document event or
    // sheet switch has been reported since (changes counts those).
    std::shared_ptr<std::atomic<unsigned>> changes = std::make_shared<std::atomic<unsigned>>(0);
    css::uno::Reference<css::sheet::XSpreadsheet> cachedSheet;
    unsigned cachedAt = 0;
    // Our listeners in the office, removed again when we let go of it, so a
    // visible office the user keeps open does not call into us afterwards.
    css::uno::Reference<css::document::XDocumentEventBroadcaster> eventSource;
    css::uno::Reference<css::document::XDocumentEventListener> eventWatch;
    struct ViewWatch {
        css::uno::Reference<css::sheet::XSpreadsheetView> view;
        css::uno::Reference<css::sheet::XActivationBroadcaster> source;
        css::uno::Reference<css::sheet::XActivationEventListener> listener;
    };
    std::vector<ViewWatch> watchedViews;

    // Listens for document events and sheet switches (after connecting).
    void watchChanges();
    // Notes when the connection goes down.
    void watchBridge();

    // The sheet the user sees in the active workbook, right now.
    css::uno::Reference<css::sheet::XSpreadsheet> activeSheet();
    // Makes `sheet` of the active workbook its active one.
    void setActiveSheet(const css::uno::Reference<css::sheet::XSpreadsheet> &sheet);
    // Makes `model`, loaded hidden, the active workbook without a view; its
    // active sheet is the one it was saved with.
    void makeViewlessActive(const css::uno::Reference<css::frame::XModel> &model);
    // The viewless workbook, if any, gets a frame and a view of its own (a
    // window only in a visible office) on its active sheet, and becomes the
    // active workbook as one opened with a view is (VBA's ActiveWorkbook,
    // ActiveCell and End(xlUp) need a view).
    void giveView();
    // The workbook that is active right now (throws Failed when none).
    css::uno::Reference<css::frame::XModel> activeModel();
    bool isOwn(const css::uno::Reference<css::frame::XModel> &model) const;
    // Makes model the office's active workbook.
    void activate(const css::uno::Reference<css::frame::XModel> &model);
    void forgetCache();
    void releaseAll();
};

// A workbook handed out to callers. Its reference is dropped on the worker.
struct CalcDocument {
    css::uno::Reference<css::frame::XModel> model;
};

// Runs in a catch block on the worker: turns the exception being handled
// into a SpreadsheetError (Gone when the connection is dead).
[[noreturn]] void rethrowAsSpreadsheetError(UnoState &state);
