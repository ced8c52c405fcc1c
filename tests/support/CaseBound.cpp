#include "CaseBound.h"

#include <cstdio>
#include <cstdlib>

CaseBound::CaseBound(std::chrono::seconds bound) : m_bound(bound), m_watcher([this] { watch(); }) {}

CaseBound::~CaseBound()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_watcher.join();
}

void CaseBound::OnTestStart(const ::testing::TestInfo &test)
{
    {
        std::lock_guard lock(m_mutex);
        m_test = std::string(test.test_suite_name()) + '.' + test.name();
        m_since = std::chrono::steady_clock::now();
    }
    m_changed.notify_all();
}

void CaseBound::OnTestEnd(const ::testing::TestInfo &)
{
    {
        std::lock_guard lock(m_mutex);
        m_test.clear();
    }
    m_changed.notify_all();
}

void CaseBound::watch()
{
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        if (m_test.empty() || m_bound.count() <= 0) {
            m_changed.wait(lock);
            continue;
        }
        const std::string test = m_test;
        const auto deadline = m_since + m_bound;
        if (m_changed.wait_until(lock, deadline, [&] { return m_quit || m_test != test; }))
            continue;
        overrun(test);
    }
}

void CaseBound::overrun(const std::string &test)
{
    std::string where = "in no wait of the test helpers: a loop or a call that never returns";
    {
        std::lock_guard lock(waitMutex());
        if (const auto &wait = currentWait())
            where = std::string("in the wait at ") + wait->file_name() + ':' + std::to_string(wait->line());
    }
    std::fprintf(stderr, "\n%s did not end within %lld s, %s; the test program is ended.\n", test.c_str(),
                 static_cast<long long>(m_bound.count()), where.c_str());
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE);
}
