#include "BackgroundQueue.h"

BackgroundQueue::BackgroundQueue(Job job) : m_job(std::move(job)) { m_pool.setMaxThreadCount(1); }

BackgroundQueue::~BackgroundQueue()
{
    m_cancel = true;
    m_pool.clear(); // the files not started
    m_pool.waitForDone();
}

void BackgroundQueue::replace(const QStringList &paths)
{
    m_pool.clear();
    for (const QString &path : paths)
        m_pool.start([this, path] { m_job(path, m_cancel); });
}
