#include "CalcCore.h"

#include "Leftovers.h"

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
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <thread>

using Kind = SpreadsheetError::Kind;

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
        releaseReferences();
    }
    m_worker.reset(); // joins when idle, else the thread finishes on its own
}

void CalcCore::ensureRunning()
{
    if (m_ended)
        throw SpreadsheetError(Kind::Gone, QStringLiteral("The office has ended"));
    if (!m_process->alive()) {
        lost(QStringLiteral("The office process has ended"));
        throw SpreadsheetError(Kind::Gone, QStringLiteral("The office process has ended"));
    }
}

void CalcCore::lost(const QString &reason)
{
    if (!m_ended)
        qCWarning(lcOffice).noquote() << "Lost the office:" << reason;
    markEnded();
}

SpreadsheetError CalcCore::givenUp(PatienceWatch::Verdict verdict, const Patience &patience)
{
    // The call goes on in the office; the caller may learn how it ended.
    if (verdict == PatienceWatch::Verdict::Cancelled)
        return SpreadsheetError(Kind::Busy, QStringLiteral("The wait for the office was given up"), true);
    const auto stall = std::chrono::duration_cast<std::chrono::seconds>(patience.stall.value_or(kStallLimit));
    return SpreadsheetError(
        Kind::Busy,
        QStringLiteral("the spreadsheet application stopped working on it for %1 seconds").arg(stall.count()), true);
}

void CalcCore::start(const QString &soffice, std::chrono::milliseconds connectLimit)
{
    OfficeFolders::sweepEnded();
    const QString program = UnoSupport::programFolderOf(soffice);
    if (const std::optional<Failure> failure = m_folders.create(program)) {
        markEnded();
        throw SpreadsheetError(Kind::Failed, failure->reason);
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
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("URE_BOOTSTRAP")); // the office crashes with a client's one
    env.insert(QStringLiteral("TMPDIR"), m_folders.tempFolder());

    if (const std::optional<Failure> failure =
            m_process->start(soffice, arguments, env.toStringList(), m_folders.ownerLockPath())) {
        m_folders.remove();
        markEnded();
        throw SpreadsheetError(Kind::Failed,
                               QStringLiteral("LibreOffice cannot be started (%1): %2").arg(soffice, failure->reason));
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
        qCWarning(lcOffice).noquote() << "The office did not start:" << e.what();
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
                                    qCWarning(lcOffice).noquote()
                                        << "A workbook did not close at quit:" << UnoSupport::caughtReason();
                                }
                            }
                            // The office ends while answering: the reply may
                            // never come, which the catch below absorbs.
                            state->desktop->terminate();
                        } catch (...) {
                            qCDebug(lcOffice).noquote()
                                << "The office ended while quitting:" << UnoSupport::caughtReason();
                        }
                    },
                    std::chrono::milliseconds(3000));
            } catch (...) {
                qCWarning(lcOffice).noquote() << "Quitting the office failed:" << UnoSupport::caughtReason();
            }
        }
        markEnded();
        if (!m_process->waitEnded(std::chrono::milliseconds(reachable ? 5000 : 0)))
            m_process->end(std::chrono::milliseconds(2000));
        // A call stuck on the office returns now that it is gone.
        releaseReferences();
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
            qCDebug(lcOffice).noquote() << "The office answered with an exception:" << UnoSupport::caughtReason();
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
                            qCWarning(lcOffice).noquote()
                                << "A hidden workbook did not close at quit:" << UnoSupport::caughtReason();
                        }
                    }
                    state->hiddenModels.clear();
                    try {
                        if (state->desktop.is())
                            state->desktop->terminate();
                    } catch (...) {
                        qCDebug(lcOffice).noquote() << "The office ended while quitting:" << UnoSupport::caughtReason();
                    }
                },
                kCallLimit);
        } catch (...) {
            qCWarning(lcOffice).noquote() << "Quitting the office failed:" << UnoSupport::caughtReason();
        }
    } else if (m_process->alive()) {
        m_process->end(std::chrono::milliseconds(2000));
    }
    markEnded();
    postCleanUp();
}

void CalcCore::releaseReferences()
{
    // Waited for: a worker left to finish on its own could still be calling
    // into the bridge while the program ends and the bridge's own statics
    // are destroyed, which crashes the program on its way out.
    std::shared_ptr<UnoState> state = m_uno;
    m_worker->post([state] { state->releaseAll(); });
    if (!m_worker->waitIdle(kReleaseLimit))
        qCWarning(lcOffice).noquote() << "The office's references were not released in time";
}

void CalcCore::postCleanUp()
{
    releaseReferences();
    std::shared_ptr<OfficeProcess> process = m_process;
    std::shared_ptr<QStringList> documents = m_documents;
    std::shared_ptr<std::mutex> documentsMutex = m_documentsMutex;
    const OfficeFolders folders = m_folders;
    m_worker->post([process, documents, documentsMutex, folders] {
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
        if (Leftovers::isSaveTemporary(QFileInfo(path).fileName())) {
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
