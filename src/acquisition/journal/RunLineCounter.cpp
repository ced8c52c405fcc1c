#include "RunLineCounter.h"

#include "RunCatalog.h"

RunLineCounter::RunLineCounter(QObject *parent) : QObject(parent), m_thread([this] { work(); }) {}

RunLineCounter::~RunLineCounter()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_cancel = true;
    m_wake.notify_all();
    m_thread.join();
}

void RunLineCounter::count(const QStringList &rawPaths)
{
    {
        std::lock_guard lock(m_mutex);
        m_waiting = rawPaths;
    }
    m_wake.notify_all();
}

void RunLineCounter::work()
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
        const qint64 lines = RunCatalog::countLines(path, &m_cancel);
        if (m_cancel)
            return;
        emit counted(path, lines);
    }
}
