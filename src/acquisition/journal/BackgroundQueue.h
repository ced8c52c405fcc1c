#pragma once

#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <atomic>
#include <functional>

// Works through a list of kept runs' files on a pool of one thread, one file
// at a time, so that a window listing runs stays alive while long journals
// are read. A new list replaces the files still waiting; destroying the
// queue cancels the file under way and waits for it.
class BackgroundQueue {
public:
    // Runs on the pool's thread; `cancel` turns true when the queue goes.
    using Job = std::function<void(const QString &path, const std::atomic<bool> &cancel)>;

    explicit BackgroundQueue(Job job);
    ~BackgroundQueue();
    BackgroundQueue(const BackgroundQueue &) = delete;
    BackgroundQueue &operator=(const BackgroundQueue &) = delete;

    void replace(const QStringList &paths);

private:
    Job m_job;
    std::atomic<bool> m_cancel{false};
    QThreadPool m_pool;
};
