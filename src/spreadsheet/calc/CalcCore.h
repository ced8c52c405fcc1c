#pragma once

// Internal to the Calc component: the state one office instance shares
// between the application object and its workbook objects, its calls, and
// the office's start and quit.
#include "CallWorker.h"
#include "LogCategories.h"
#include "OfficeFolders.h"
#include "OfficeProcess.h"
#include "Patience.h"
#include "PatienceWatch.h"
#include "SpreadsheetFactory.h"
#include "UnoState.h"

#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>

class CalcCore {
public:
    using SaveAsPrompt = std::function<std::optional<QString>(const QString &title, const QString &filter)>;

    CalcCore(bool headless, SaveAsPrompt prompt);
    // Releases the UNO objects on the worker; the office itself is left as
    // it is (quit() ends it).
    ~CalcCore();

    // Call limits: writes and small queries, and the document-level
    // operations (open, a macro's look-up) that may legitimately take longer.
    static constexpr std::chrono::milliseconds kCallLimit{1000};
    static constexpr std::chrono::milliseconds kDocumentLimit{30000};
    // A save has no fixed limit: it is given up once the office has used no
    // processor time for kStallLimit.
    static constexpr std::chrono::milliseconds kStallLimit{60000};
    // Told every half second or so while a save runs: the seconds since it
    // began.
    using LongCallNotice = std::function<void(int seconds)>;
    void setLongCallNotice(LongCallNotice notice) { m_longCallNotice = std::move(notice); }
    // How a save is waited for: stalls of kStallLimit, the long-call notice.
    Patience savePatience() const
    {
        return Patience{kStallLimit, std::chrono::milliseconds(500), m_longCallNotice, {}};
    }

    // Runs fn(uno state) on the worker within limit. Throws Gone when the
    // office has ended, Busy when it does not answer in time or an earlier
    // call is still pending, Failed when the call fails.
    template <class R>
    R call(std::chrono::milliseconds limit, std::function<R(UnoState &)> fn)
    {
        return invoke<R>(
            std::move(fn), [&](std::function<void()> job) { return m_worker->run(std::move(job), limit); },
            [limit] {
                // The call goes on in the office; the caller may learn how it ended.
                return SpreadsheetError(SpreadsheetError::Kind::Busy,
                                        QStringLiteral("The office did not answer within %1 ms").arg(limit.count()),
                                        true);
            });
    }

    // Runs fn(uno state) on the worker for as long as the patience allows
    // (see Patience). Throws as call() does; Busy when the office stalled or
    // the caller cancelled.
    template <class R>
    R callUntilDone(std::function<R(UnoState &)> fn, const Patience &patience)
    {
        PatienceWatch watch(patience, PatienceWatch::Clock::now(), m_process->cpuTicks());
        PatienceWatch::Verdict verdict = PatienceWatch::Verdict::Wait;
        return invoke<R>(
            std::move(fn),
            [&](std::function<void()> job) {
                return m_worker->run(std::move(job), patience.step, [&] {
                    if (!m_process->alive())
                        return false;
                    verdict = watch.look(PatienceWatch::Clock::now(), m_process->cpuTicks());
                    return verdict == PatienceWatch::Verdict::Wait;
                });
            },
            [&] { return givenUp(verdict, patience); });
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
    // is written under a temporary name (Leftovers::saveTemporaryName), which
    // is removed too once the office has ended.
    void noteDocument(const QString &path);
    std::optional<QString> askSaveAsFilename(const QString &title, const QString &filter) const;

    std::shared_ptr<OfficeProcess> process() const { return m_process; }
    const OfficeFolders &folders() const { return m_folders; }

private:
    // Runs fn on the worker through runJob; notDone() is the Busy error of a
    // call that was started but not answered.
    template <class R>
    R invoke(std::function<R(UnoState &)> fn, const std::function<CallWorker::Outcome(std::function<void()>)> &runJob,
             const std::function<SpreadsheetError()> &notDone)
    {
        ensureRunning();
        auto result = std::make_shared<std::optional<std::conditional_t<std::is_void_v<R>, bool, R>>>();
        std::shared_ptr<UnoState> state = m_uno;
        CallWorker::Outcome outcome;
        try {
            outcome = runJob([state, fn, result] {
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
            });
        } catch (const SpreadsheetError &e) {
            if (e.kind() == SpreadsheetError::Kind::Gone || !m_process->alive()) {
                lost(QString::fromUtf8(e.what()));
                throw SpreadsheetError(SpreadsheetError::Kind::Gone, QString::fromUtf8(e.what()));
            }
            throw;
        }
        if (outcome != CallWorker::Outcome::Done && !m_process->alive()) {
            lost(QStringLiteral("The office ended during the call"));
            throw SpreadsheetError(SpreadsheetError::Kind::Gone, QStringLiteral("The office ended during the call"));
        }
        if (outcome == CallWorker::Outcome::Refused)
            throw SpreadsheetError(SpreadsheetError::Kind::Busy,
                                   QStringLiteral("An earlier call to the office is still pending"));
        if (outcome != CallWorker::Outcome::Done) {
            SpreadsheetError busy = notDone();
            qCWarning(lcOffice).noquote() << busy.what();
            throw busy;
        }
        if constexpr (!std::is_void_v<R>)
            return std::move(**result);
    }
    // Marks the office ended; the first time, the reason is logged.
    void lost(const QString &reason);
    static SpreadsheetError givenUp(PatienceWatch::Verdict verdict, const Patience &patience);
    // Drops our references to the office's objects on the worker and waits
    // for that at most kReleaseLimit.
    void releaseReferences();
    static constexpr std::chrono::milliseconds kReleaseLimit{3000};
    // Releases our references, then queues on the worker a wait for the
    // office to end, after which our lock files and private folders go.
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
