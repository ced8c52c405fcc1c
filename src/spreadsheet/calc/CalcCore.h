#pragma once

// Internal to the Calc component: the state one office instance shares
// between the application object and its workbook objects.
#include "CallWorker.h"
#include "OfficeFolders.h"
#include "OfficeProcess.h"
#include "SpreadsheetFactory.h"
#include "UnoSupport.h"

#include <QStringList>
#include <atomic>
#include <chrono>
#include <exception>
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
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
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

class CalcCore {
public:
    using SaveAsPrompt = std::function<std::optional<QString>(const QString &title, const QString &filter)>;

    CalcCore(bool headless, SaveAsPrompt prompt);
    // Releases the UNO objects on the worker; the office itself is left as
    // it is (quit() ends it).
    ~CalcCore();

    // Call limits: writes and small queries, and the document-level
    // operations (open, save, macros) that may legitimately take longer.
    static constexpr std::chrono::milliseconds kCallLimit{1000};
    static constexpr std::chrono::milliseconds kDocumentLimit{30000};
    // No fixed limit (saves): the call is waited for while the office lives
    // and keeps working; it fails once the office has used no processor time
    // for kStallLimit.
    static constexpr std::chrono::milliseconds kWhileWorking{-1};
    static constexpr std::chrono::milliseconds kStallLimit{60000};
    // Told every half second or so while a call without a fixed limit runs:
    // the seconds since it began.
    using LongCallNotice = std::function<void(int seconds)>;
    void setLongCallNotice(LongCallNotice notice) { m_longCallNotice = std::move(notice); }
    // How often a call without a limit lets its caller look up.
    static constexpr std::chrono::milliseconds kWaitStep{50};

    // Runs fn(uno state) on the worker within limit. Throws Gone when the
    // office has ended, Busy when it does not answer in time or an earlier
    // call is still pending, Failed when the call fails.
    template <class R>
    R call(std::chrono::milliseconds limit, std::function<R(UnoState &)> fn)
    {
        ensureRunning();
        auto result = std::make_shared<std::optional<std::conditional_t<std::is_void_v<R>, bool, R>>>();
        std::shared_ptr<UnoState> state = m_uno;
        CallWorker::Outcome outcome;
        try {
            outcome = runJob(
                [state, fn, result] {
                    try {
                        if constexpr (std::is_void_v<R>) {
                            fn(*state);
                            result->emplace(true);
                        } else {
                            result->emplace(fn(*state));
                        }
                    } catch (...) {
                        rethrowAsSpreadsheetError(*state);
                    }
                },
                limit);
        } catch (const SpreadsheetError &e) {
            if (e.kind() == SpreadsheetError::Kind::Gone || !m_process->alive()) {
                markEnded();
                throw SpreadsheetError(SpreadsheetError::Kind::Gone, QString::fromUtf8(e.what()));
            }
            throw;
        }
        if (outcome != CallWorker::Outcome::Done && !m_process->alive()) {
            markEnded();
            throw SpreadsheetError(SpreadsheetError::Kind::Gone, QStringLiteral("The office ended during the call"));
        }
        if (outcome != CallWorker::Outcome::Done)
            throwBusy(outcome, limit);
        if constexpr (!std::is_void_v<R>)
            return std::move(**result);
    }

    // Runs fn(uno state) on the worker without a time limit, for a call that
    // may wait for the user (a macro showing a message box). `waiting` is
    // called every kWaitStep until the call has ended. Throws as call() does.
    template <class R>
    R callWithoutLimit(std::function<R(UnoState &)> fn, const std::function<void()> &waiting)
    {
        struct Outcome {
            std::atomic<bool> done{false};
            std::exception_ptr error;
            std::optional<std::conditional_t<std::is_void_v<R>, bool, R>> value;
        };
        ensureRunning();
        auto outcome = std::make_shared<Outcome>();
        std::shared_ptr<UnoState> state = m_uno;
        // The job keeps its own outcome: it may end after its first wait.
        const CallWorker::Outcome first = m_worker->run(
            [state, fn, outcome] {
                try {
                    try {
                        if constexpr (std::is_void_v<R>) {
                            fn(*state);
                            outcome->value.emplace(true);
                        } else {
                            outcome->value.emplace(fn(*state));
                        }
                    } catch (...) {
                        rethrowAsSpreadsheetError(*state);
                    }
                } catch (...) {
                    outcome->error = std::current_exception();
                }
                outcome->done = true;
            },
            kWaitStep);
        if (first == CallWorker::Outcome::Refused)
            throwBusy(first, kWaitStep);
        while (!outcome->done) {
            if (waiting)
                waiting();
            if (!m_process->alive()) {
                markEnded();
                throw SpreadsheetError(SpreadsheetError::Kind::Gone, QStringLiteral("LibreOffice has ended"));
            }
            m_worker->waitPending(kWaitStep);
        }
        if (outcome->error) {
            try {
                std::rethrow_exception(outcome->error);
            } catch (const SpreadsheetError &e) {
                if (e.kind() == SpreadsheetError::Kind::Gone)
                    markEnded();
                throw;
            }
        }
        if constexpr (!std::is_void_v<R>)
            return std::move(*outcome->value);
    }

    // Throws Gone when the office has ended.
    void ensureRunning();
    bool ended() const { return m_ended; }
    // Waits at most `limit` for a call that outlived its time limit to end;
    // true when none is running any more.
    bool awaitPending(std::chrono::milliseconds limit) { return m_worker->waitPending(limit); }
    void markEnded() { m_ended = true; }
    bool headless() const { return m_headless; }

    // Start-up: launches the office and connects within connectLimit.
    void start(const QString &soffice, std::chrono::milliseconds connectLimit);
    // Ends the office as Quit does (see CalcSpreadsheetApp::quit).
    void quit();

    // Drops a workbook's reference on the worker thread.
    void release(std::shared_ptr<CalcDocument> document);
    // Documents opened or saved through us: lock files to look after. A save
    // is written under a temporary name beginning with kSavePrefix, which is
    // removed too once the office has ended.
    void noteDocument(const QString &path);
    static constexpr const char *kSavePrefix = ".~halvern-save-";
    std::optional<QString> askSaveAsFilename(const QString &title, const QString &filter) const;

    std::shared_ptr<OfficeProcess> process() const { return m_process; }
    const OfficeFolders &folders() const { return m_folders; }

private:
    // Runs job on the worker within limit, or while the office works (kWhileWorking).
    CallWorker::Outcome runJob(std::function<void()> job, std::chrono::milliseconds limit);
    [[noreturn]] void throwBusy(CallWorker::Outcome outcome, std::chrono::milliseconds limit);
    // Queued on the worker: waits for the office to end, then removes our
    // lock files and the private folders.
    void postCleanUp();
    static void removeLeftovers(const QStringList &documents, std::mutex &documentsMutex, const OfficeFolders &folders);

    const bool m_headless;
    SaveAsPrompt m_prompt;
    bool m_ended = false;
    bool m_quitDone = false;
    OfficeFolders m_folders;
    std::shared_ptr<OfficeProcess> m_process = std::make_shared<OfficeProcess>();
    std::shared_ptr<UnoState> m_uno = std::make_shared<UnoState>();
    std::shared_ptr<QStringList> m_documents = std::make_shared<QStringList>();
    std::shared_ptr<std::mutex> m_documentsMutex = std::make_shared<std::mutex>();
    std::unique_ptr<CallWorker> m_worker = std::make_unique<CallWorker>();
    LongCallNotice m_longCallNotice;
};
