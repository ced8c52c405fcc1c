#include "CaseBound.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <map>
#include <unistd.h>
#include <vector>

namespace {
// Kills every process started under this one (socat pairs, the program under
// test), so that none is left holding the test runner's output open.
void killDescendants()
{
    std::multimap<pid_t, pid_t> children; // parent -> child
    if (DIR *proc = ::opendir("/proc")) {
        while (const dirent *entry = ::readdir(proc)) {
            const std::string path = std::string("/proc/") + entry->d_name + "/stat";
            std::FILE *stat = std::fopen(path.c_str(), "r");
            if (!stat)
                continue;
            int pid = 0;
            int parent = 0;
            if (std::fscanf(stat, "%d (%*[^)]) %*c %d", &pid, &parent) == 2)
                children.emplace(parent, pid);
            std::fclose(stat);
        }
        ::closedir(proc);
    }
    std::vector<pid_t> pending{::getpid()};
    while (!pending.empty()) {
        const pid_t parent = pending.back();
        pending.pop_back();
        for (auto [it, end] = children.equal_range(parent); it != end; ++it) {
            ::kill(it->second, SIGKILL);
            pending.push_back(it->second);
        }
    }
}
} // namespace

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
        ++m_cases;
    }
    m_changed.notify_all();
}

void CaseBound::OnTestEnd(const ::testing::TestInfo &)
{
    {
        std::lock_guard lock(m_mutex);
        m_test.clear();
        ++m_cases;
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
        const std::uint64_t cases = m_cases;
        if (m_changed.wait_until(lock, m_since + m_bound, [&] { return m_quit || m_cases != cases; }))
            continue;
        overrun(m_test);
    }
}

void CaseBound::overrun(const std::string &test)
{
    std::string where = "outside waitUntil and waitForTicks: a loop or a call that never returns";
    {
        std::lock_guard lock(waitMutex());
        if (const auto &wait = currentWait())
            where = std::string("in the wait at ") + wait->file_name() + ':' + std::to_string(wait->line());
    }
    std::fprintf(stderr, "\n%s did not end within %lld s, %s; the test program is ended.\n", test.c_str(),
                 static_cast<long long>(m_bound.count()), where.c_str());
    std::fflush(stderr);
    killDescendants();
    std::_Exit(EXIT_FAILURE);
}
