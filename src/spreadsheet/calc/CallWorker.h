#pragma once

#include <chrono>
#include <functional>
#include <memory>

// Runs calls on a thread of its own so that the calling (user interface)
// thread never waits longer than a time limit. A call that is not finished in
// time keeps running on the worker; until it has finished, every new call is
// refused at once. Jobs run one after the other in the order given.
class CallWorker {
public:
    enum class Outcome {
        Done,     // the job ran to its end (an exception it threw is rethrown)
        TimedOut, // the job is still running; it stays pending
        Refused,  // an earlier job is still pending; the job was not started
    };

    CallWorker();
    // Joins the thread when it is idle. A thread stuck in a pending job is
    // detached: it finishes the queued jobs and ends on its own.
    ~CallWorker();
    CallWorker(const CallWorker &) = delete;
    CallWorker &operator=(const CallWorker &) = delete;

    // Runs job on the worker and waits for it at most timeout.
    Outcome run(std::function<void()> job, std::chrono::milliseconds timeout);
    // Runs job on the worker and waits for it as long as keepWaiting(),
    // asked every `slice`, says so.
    Outcome run(std::function<void()> job, std::chrono::milliseconds slice, const std::function<bool()> &keepWaiting);
    // Queues job without waiting for it (it runs after every earlier job).
    void post(std::function<void()> job);
    // True while a job that timed out has not finished yet.
    bool pending() const;
    // Waits at most timeout for the job that timed out to finish; true when
    // none is pending any more.
    bool waitPending(std::chrono::milliseconds timeout);
    // Waits at most timeout until every queued job has run; true when idle.
    bool waitIdle(std::chrono::milliseconds timeout);

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};
