#include "CalcCore.h"

#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <unistd.h>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XFramesSupplier.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XEventListener.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <cppuhelper/exc_hlp.hxx>
#include <com/sun/star/document/XDocumentEventBroadcaster.hpp>
#include <com/sun/star/document/XDocumentEventListener.hpp>
#include <com/sun/star/frame/theGlobalEventBroadcaster.hpp>
#include <com/sun/star/sheet/XActivationBroadcaster.hpp>
#include <com/sun/star/sheet/XActivationEventListener.hpp>
#include <cppuhelper/implbase1.hxx>
#include <cppuhelper/implbase2.hxx>
#include <thread>

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

// ---- UnoState ----

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
    }
    for (const ViewWatch &w : watchedViews) {
        try {
            w.source->removeActivationEventListener(w.listener);
        } catch (...) {
        }
    }
    try {
        if (bridge.is() && bridgeWatch.is())
            bridge->removeEventListener(bridgeWatch);
    } catch (...) {
    }
    eventSource.clear();
    eventWatch.clear();
    bridgeWatch.clear();
    lastActive.clear();
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

bool UnoState::isOwn(const Reference<css::frame::XModel> &model) const
{
    for (const auto &own : ownModels)
        if (own == model)
            return true;
    return false;
}

void UnoState::activate(const Reference<css::frame::XModel> &model)
{
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
                dead = true;
            }
        }
        throw SpreadsheetError(dead ? Kind::Gone : Kind::Failed,
                               toQString(caught.getValueTypeName()) + ": " + toQString(e.Message));
    } catch (const css::uno::Exception &e) {
        const css::uno::Any caught = cppu::getCaughtException();
        throw SpreadsheetError(*state.bridgeDown ? Kind::Gone : Kind::Failed,
                               toQString(caught.getValueTypeName()) + ": " + toQString(e.Message));
    } catch (const std::exception &e) {
        throw SpreadsheetError(Kind::Failed, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        throw SpreadsheetError(Kind::Failed, QStringLiteral("Unknown failure in the office call"));
    }
}

// ---- CalcCore ----

CalcCore::CalcCore(bool headless, SaveAsPrompt prompt) : m_headless(headless), m_prompt(std::move(prompt))
{
    m_uno->headless = headless;
}

CalcCore::~CalcCore()
{
    if (!m_quitDone && !m_folders.folder().isEmpty()) {
        // Left open for the user: drop our references and tidy up once the
        // user has ended the office.
        postCleanUp();
    } else {
        std::shared_ptr<UnoState> state = m_uno;
        m_worker->post([state] { state->releaseAll(); });
    }
    m_worker.reset(); // joins when idle, else the thread finishes on its own
}

void CalcCore::ensureRunning()
{
    if (m_ended)
        throw SpreadsheetError(Kind::Gone, QStringLiteral("The office has ended"));
    if (!m_process->alive()) {
        markEnded();
        throw SpreadsheetError(Kind::Gone, QStringLiteral("The office process has ended"));
    }
}

CallWorker::Outcome CalcCore::runJob(std::function<void()> job, std::chrono::milliseconds limit)
{
    if (limit != kWhileWorking)
        return m_worker->run(std::move(job), limit);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point began = Clock::now();
    Clock::time_point lastWork = began;
    std::uint64_t used = m_process->cpuTicks();
    return m_worker->run(std::move(job), std::chrono::milliseconds(500), [&] {
        if (!m_process->alive())
            return false;
        const Clock::time_point now = Clock::now();
        if (const std::uint64_t ticks = m_process->cpuTicks(); ticks != used) {
            used = ticks;
            lastWork = now;
        } else if (now - lastWork >= kStallLimit) {
            return false;
        }
        if (m_longCallNotice)
            m_longCallNotice(static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(now - began).count()));
        return true;
    });
}

void CalcCore::throwBusy(CallWorker::Outcome outcome, std::chrono::milliseconds limit)
{
    if (outcome == CallWorker::Outcome::Refused)
        throw SpreadsheetError(Kind::Busy, QStringLiteral("An earlier call to the office is still pending"));
    if (limit == kWhileWorking)
        throw SpreadsheetError(Kind::Busy,
                               QStringLiteral("the spreadsheet application stopped working on it for %1 seconds")
                                   .arg(kStallLimit.count() / 1000),
                               true);
    // The call goes on in the office; the caller may learn how it ended.
    throw SpreadsheetError(Kind::Busy, QStringLiteral("The office did not answer within %1 ms").arg(limit.count()),
                           true);
}

void CalcCore::start(const QString &soffice, std::chrono::milliseconds connectLimit)
{
    OfficeFolders::sweepEnded();
    QString error;
    if (!m_folders.create(&error)) {
        markEnded();
        throw SpreadsheetError(Kind::Failed, error);
    }
    const QString pipe = m_folders.unique();
    QStringList arguments{
        QStringLiteral("-env:UserInstallation=") + m_folders.profileUrl(),
        QStringLiteral("--accept=pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipe),
        QStringLiteral("--norestore"),
        QStringLiteral("--nologo"),
        QStringLiteral("--nodefault"),
        QStringLiteral("--nolockcheck"),
    };
    if (m_headless)
        arguments << QStringLiteral("--headless") << QStringLiteral("--invisible");
    const QString program = UnoSupport::programFolderOf(soffice);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("URE_BOOTSTRAP")); // the office crashes with a client's one
    env.insert(QStringLiteral("TMPDIR"), m_folders.tempFolder());

    if (!m_process->start(soffice, arguments, env.toStringList(), m_folders.ownerLockPath(), &error)) {
        m_folders.remove();
        markEnded();
        throw SpreadsheetError(Kind::Failed,
                               QStringLiteral("LibreOffice cannot be started (%1): %2").arg(soffice, error));
    }
    m_folders.recordLauncher(m_process->pid(), m_headless);

    std::shared_ptr<UnoState> state = m_uno;
    std::shared_ptr<OfficeProcess> process = m_process;
    const auto deadline = std::chrono::steady_clock::now() + connectLimit;
    auto connect = [state, process, pipe, deadline, program] {
        try {
            const Reference<css::uno::XComponentContext> local = UnoSupport::localContext(program);
            const Reference<css::connection::XConnector> connector = css::connection::Connector::create(local);
            Reference<css::connection::XConnection> connection;
            for (;;) {
                if (!process->alive())
                    throw SpreadsheetError(Kind::Failed, QStringLiteral("LibreOffice ended while starting"));
                try {
                    connection = connector->connect(toOUString(QStringLiteral("pipe,name=") + pipe));
                    break;
                } catch (const css::connection::NoConnectException &) {
                }
                if (std::chrono::steady_clock::now() >= deadline)
                    throw SpreadsheetError(Kind::Failed, QStringLiteral("LibreOffice did not answer in time"));
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            const Reference<css::bridge::XBridge> bridge =
                css::bridge::BridgeFactory::create(local)->createBridge("", "urp", connection, nullptr);
            state->bridge.set(bridge, UNO_QUERY_THROW);
            state->watchBridge();
            state->context.set(bridge->getInstance("StarOffice.ComponentContext"), UNO_QUERY);
            if (!state->context.is())
                throw SpreadsheetError(Kind::Failed, QStringLiteral("LibreOffice offered no component context"));
            state->desktop = css::frame::Desktop::create(state->context);
            state->watchChanges();
        } catch (...) {
            rethrowAsSpreadsheetError(*state);
        }
    };

    try {
        const auto outcome = m_worker->run(connect, connectLimit + std::chrono::milliseconds(3000));
        if (outcome != CallWorker::Outcome::Done)
            throw SpreadsheetError(Kind::Failed, QStringLiteral("LibreOffice did not answer in time"));
    } catch (const SpreadsheetError &e) {
        // Leave nothing behind: end the office (which also frees a worker
        // stuck in a call to it) and remove its folders.
        m_process->end(std::chrono::milliseconds(2000));
        markEnded();
        m_quitDone = true;
        m_worker->waitIdle(std::chrono::milliseconds(3000));
        removeLeftovers(*m_documents, *m_documentsMutex, m_folders);
        throw SpreadsheetError(Kind::Failed, QString::fromUtf8(e.what()));
    }
}

void CalcCore::quit()
{
    if (m_quitDone)
        return;
    m_quitDone = true;
    std::shared_ptr<UnoState> state = m_uno;
    const bool reachable = !m_ended && m_process->alive() && !m_worker->pending();
    if (m_headless) {
        if (reachable) {
            // Close every document first so the office removes its lock
            // files, then end the office. Unsaved changes are dropped: nobody
            // could be asked about them.
            try {
                m_worker->run(
                    [state] {
                        try {
                            if (!state->desktop.is())
                                return;
                            const Reference<css::container::XEnumeration> e =
                                state->desktop->getComponents()->createEnumeration();
                            std::vector<Reference<css::util::XCloseable>> docs;
                            while (e->hasMoreElements()) {
                                Reference<css::util::XCloseable> doc(e->nextElement(), UNO_QUERY);
                                if (doc.is())
                                    docs.push_back(doc);
                            }
                            for (const auto &doc : docs) {
                                try {
                                    doc->close(true);
                                } catch (const css::uno::Exception &) {
                                }
                            }
                            // The office ends while answering: the reply may
                            // never come, which the catch below absorbs.
                            state->desktop->terminate();
                        } catch (...) {
                        }
                    },
                    std::chrono::milliseconds(3000));
            } catch (...) {
            }
        }
        markEnded();
        if (!m_process->waitEnded(std::chrono::milliseconds(reachable ? 5000 : 0)))
            m_process->end(std::chrono::milliseconds(2000));
        // A call stuck on the office returns now that it is gone.
        m_worker->post([state] { state->releaseAll(); });
        m_worker->waitIdle(std::chrono::milliseconds(3000));
        removeLeftovers(*m_documents, *m_documentsMutex, m_folders);
        return;
    }
    // A visible office asks the user about unsaved work; the user may keep
    // it open. Ask it to end, wait a moment, and carry on either way. An
    // office that does not answer at all (stopped, hung, or still busy with
    // a call that outlived its limit) is ended: none outlives the run.
    bool answers = false;
    if (reachable) {
        try {
            answers = m_worker->run(
                          [state] {
                              if (state->desktop.is())
                                  state->desktop->getCurrentFrame();
                          },
                          kCallLimit)
                      == CallWorker::Outcome::Done;
        } catch (...) {
            answers = true; // it answered, with an exception
        }
    }
    if (answers) {
        try {
            m_worker->run(
                [state] {
                    // What a macro changed in a hidden workbook stays in
                    // memory: the office must not ask the user about it.
                    for (const auto &model : state->hiddenModels) {
                        try {
                            Reference<css::util::XCloseable>(model, UNO_QUERY_THROW)->close(true);
                        } catch (...) {
                        }
                    }
                    state->hiddenModels.clear();
                    try {
                        if (state->desktop.is())
                            state->desktop->terminate();
                    } catch (...) {
                    }
                },
                kCallLimit);
        } catch (...) {
        }
    } else if (m_process->alive()) {
        m_process->end(std::chrono::milliseconds(2000));
    }
    markEnded();
    postCleanUp();
}

void CalcCore::postCleanUp()
{
    std::shared_ptr<UnoState> state = m_uno;
    std::shared_ptr<OfficeProcess> process = m_process;
    std::shared_ptr<QStringList> documents = m_documents;
    std::shared_ptr<std::mutex> documentsMutex = m_documentsMutex;
    const OfficeFolders folders = m_folders;
    m_worker->post([state, process, documents, documentsMutex, folders] {
        state->releaseAll();
        // Wait for the office to end, however long the user keeps it open.
        while (!process->ended())
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        removeLeftovers(*documents, *documentsMutex, folders);
    });
}

void CalcCore::removeLeftovers(const QStringList &documents, std::mutex &documentsMutex, const OfficeFolders &folders)
{
    QStringList paths;
    {
        std::lock_guard lock(documentsMutex);
        paths = documents;
    }
    for (const QString &path : paths) {
        OfficeFolders::removeStaleLock(path, folders.unique());
        // A save that did not end in time may have written its temporary
        // file after it was given up on.
        if (QFileInfo(path).fileName().startsWith(QLatin1String(kSavePrefix))) {
            QFile::remove(path);
            QFile::remove(OfficeFolders::lockFilePath(path));
        }
    }
    // A killed office leaves its pipe's socket file behind.
    QFile::remove(QStringLiteral("/tmp/OSL_PIPE_%1_%2").arg(::getuid()).arg(folders.unique()));
    folders.remove();
}

void CalcCore::release(std::shared_ptr<CalcDocument> document)
{
    m_worker->post([document] { document->model.clear(); });
}

void CalcCore::noteDocument(const QString &path)
{
    std::lock_guard lock(*m_documentsMutex);
    if (!m_documents->contains(path))
        m_documents->append(path);
}

std::optional<QString> CalcCore::askSaveAsFilename(const QString &title, const QString &filter) const
{
    if (!m_prompt)
        return std::nullopt;
    std::optional<QString> chosen = m_prompt(title, filter);
    if (chosen && chosen->isEmpty())
        chosen.reset();
    return chosen;
}
