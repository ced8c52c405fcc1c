#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Works through a list of kept runs' files on a thread of its own, one file
// at a time, so that a window listing runs stays alive while long journals
// are read. A new list replaces the files still waiting; destroying the
// queue cancels the file under way and waits for the thread.
class BackgroundQueue {
public:
    // Runs on the queue's thread; `cancel` turns true when the queue goes.
    using Job = std::function<void(const QString &path, const std::atomic<bool> &cancel)>;

    explicit BackgroundQueue(Job job);
    ~BackgroundQueue();
    BackgroundQueue(const BackgroundQueue &) = delete;
    BackgroundQueue &operator=(const BackgroundQueue &) = delete;

    void replace(const QStringList &paths);

private:
    void work();

    Job m_job;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    QStringList m_waiting;
    bool m_quit = false;
    std::atomic<bool> m_cancel{false};
    std::thread m_thread; // last: it starts once everything above is made
};
