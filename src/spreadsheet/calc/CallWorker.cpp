#include "CallWorker.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace {
struct Job {
    std::function<void()> fn;
    std::exception_ptr error;
    bool done = false; // guarded by the mutex
};
} // namespace

struct CallWorker::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::shared_ptr<Job>> queue;
    std::shared_ptr<Job> running;  // the job on the thread right now
    std::shared_ptr<Job> timedOut; // a waited-for job that missed its limit
    bool stop = false;
    std::thread thread;

    static void loop(std::shared_ptr<Shared> self)
    {
        std::unique_lock lock(self->mutex);
        for (;;) {
            self->changed.wait(lock, [&] { return self->stop || !self->queue.empty(); });
            if (self->queue.empty())
                return; // stopped and nothing left to do
            std::shared_ptr<Job> job = self->queue.front();
            self->queue.pop_front();
            self->running = job;
            lock.unlock();
            try {
                job->fn();
            } catch (...) {
                job->error = std::current_exception();
            }
            job->fn = nullptr; // drop what the job captured on this thread
            lock.lock();
            job->done = true;
            self->running.reset();
            self->changed.notify_all();
        }
    }
};

CallWorker::CallWorker() : m_shared(std::make_shared<Shared>())
{
    m_shared->thread = std::thread(&Shared::loop, m_shared);
}

CallWorker::~CallWorker()
{
    std::unique_lock lock(m_shared->mutex);
    m_shared->stop = true;
    m_shared->changed.notify_all();
    const bool busy = m_shared->running || !m_shared->queue.empty();
    lock.unlock();
    if (busy)
        m_shared->thread.detach();
    else
        m_shared->thread.join();
}

CallWorker::Outcome CallWorker::run(std::function<void()> fn, std::chrono::milliseconds timeout)
{
    return run(std::move(fn), timeout, [] { return false; });
}

CallWorker::Outcome CallWorker::run(std::function<void()> fn, std::chrono::milliseconds slice,
                                    const std::function<bool()> &keepWaiting)
{
    std::unique_lock lock(m_shared->mutex);
    if (m_shared->timedOut) {
        if (!m_shared->timedOut->done)
            return Outcome::Refused;
        m_shared->timedOut.reset();
    }
    auto job = std::make_shared<Job>();
    job->fn = std::move(fn);
    m_shared->queue.push_back(job);
    m_shared->changed.notify_all();
    // Blocking waits on both sides: a spinning caller or worker would take
    // the processor from the office, which does the actual work.
    while (!m_shared->changed.wait_for(lock, slice, [&] { return job->done; })) {
        lock.unlock();
        const bool wait = keepWaiting();
        lock.lock();
        if (job->done)
            break;
        if (!wait) {
            m_shared->timedOut = job;
            return Outcome::TimedOut;
        }
    }
    lock.unlock();
    if (job->error)
        std::rethrow_exception(job->error);
    return Outcome::Done;
}

void CallWorker::post(std::function<void()> fn)
{
    std::lock_guard lock(m_shared->mutex);
    auto job = std::make_shared<Job>();
    job->fn = std::move(fn);
    m_shared->queue.push_back(job);
    m_shared->changed.notify_all();
}

bool CallWorker::pending() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->timedOut && !m_shared->timedOut->done;
}

bool CallWorker::waitPending(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_shared->mutex);
    return m_shared->changed.wait_for(lock, timeout, [&] { return !m_shared->timedOut || m_shared->timedOut->done; });
}

bool CallWorker::waitIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_shared->mutex);
    return m_shared->changed.wait_for(lock, timeout, [&] { return !m_shared->running && m_shared->queue.empty(); });
}
