#include "RunChecker.h"

RunChecker::RunChecker(QObject *parent) : QObject(parent), m_thread([this] { work(); }) {}

RunChecker::~RunChecker()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_cancel = true;
    m_wake.notify_all();
    m_thread.join();
}

void RunChecker::check(const QStringList &rawPaths)
{
    {
        std::lock_guard lock(m_mutex);
        m_waiting = rawPaths;
    }
    m_wake.notify_all();
}

void RunChecker::work()
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
        const QString verdict = RunCheck::verdictText(RunCheck::run(path, &m_cancel).verdict);
        if (m_cancel)
            return;
        emit checked(path, verdict);
    }
}
