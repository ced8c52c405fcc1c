#include "BackgroundQueue.h"

BackgroundQueue::BackgroundQueue(Job job) : m_job(std::move(job)), m_thread([this] { work(); }) {}

BackgroundQueue::~BackgroundQueue()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_cancel = true;
    m_wake.notify_all();
    m_thread.join();
}

void BackgroundQueue::replace(const QStringList &paths)
{
    {
        std::lock_guard lock(m_mutex);
        m_waiting = paths;
    }
    m_wake.notify_all();
}

void BackgroundQueue::work()
{
    for (;;) {
        QString path;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_quit || !m_waiting.isEmpty(); });
            if (m_quit)
                return;
            path = m_waiting.takeFirst();
        }
        m_job(path, m_cancel);
    }
}
