#include "OfficeProcess.h"

#include <QFile>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <unistd.h>
#include <fcntl.h>
#include <csignal>
#include <cstring>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <vector>

namespace {
// How long the watchdog lets an office end on SIGTERM before SIGKILL.
constexpr int kWatchdogGraceMs = 1500;
constexpr int kWatchdogPollMs = 50;

// The watchdog, in a forked child of a threaded program: plain system calls
// only. It waits until the pipe breaks; a byte on it first means the office
// was let go.
[[noreturn]] void watchOffice(int pipe, pid_t group)
{
    ::setsid(); // out of our process group: a terminal's Ctrl+C must not end it first
    if (pipe != 3) {
        ::dup2(pipe, 3);
        pipe = 3;
    }
    ::close_range(0, 2, 0);
    ::close_range(4, ~0U, 0); // holds nothing of ours open, no other watchdog's pipe either
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    char byte = 0;
    ssize_t n;
    do
        n = ::read(pipe, &byte, 1);
    while (n < 0 && errno == EINTR);
    if (n == 0) {
        ::kill(-group, SIGCONT); // a stopped process cannot act on SIGTERM
        ::kill(-group, SIGTERM);
        const timespec pause{0, kWatchdogPollMs * 1000000L};
        for (int waited = 0; waited < kWatchdogGraceMs && ::kill(-group, 0) == 0; waited += kWatchdogPollMs)
            ::nanosleep(&pause, nullptr);
        ::kill(-group, SIGKILL);
    }
    ::_exit(0);
}
} // namespace

OfficeProcess::~OfficeProcess()
{
    std::lock_guard lock(m_mutex);
    if (m_pid > 0 && !groupAlive(m_pid))
        letGo();
}

void OfficeProcess::letGo()
{
    if (m_watchdog >= 0) {
        const char released = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_watchdog, &released, 1);
        ::close(m_watchdog);
        m_watchdog = -1;
    }
    if (m_ownerLock >= 0) {
        ::close(m_ownerLock);
        m_ownerLock = -1;
    }
}

void OfficeProcess::startWatchdog(pid_t group)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return;
    // Forked twice, so that init takes the watchdog and nobody has to wait for it.
    const pid_t middle = ::fork();
    if (middle == 0) {
        if (::_Fork() != 0)
            ::_exit(0);
        watchOffice(ends[0], group);
    }
    ::close(ends[0]);
    if (middle < 0) {
        ::close(ends[1]);
        return;
    }
    while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
    }
    m_watchdog = ends[1];
}

std::optional<Failure> OfficeProcess::start(const QString &program, const QStringList &arguments,
                                            const QStringList &environment, const QString &ownerLock)
{
    std::vector<QByteArray> storage;
    storage.push_back(program.toLocal8Bit());
    for (const QString &a : arguments)
        storage.push_back(a.toLocal8Bit());
    const std::size_t argCount = storage.size();
    for (const QString &e : environment)
        storage.push_back(e.toLocal8Bit());

    std::vector<char *> argv;
    std::vector<char *> envp;
    for (std::size_t i = 0; i < storage.size(); ++i)
        (i < argCount ? argv : envp).push_back(storage[i].data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGCHLD);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    posix_spawnattr_setsigdefault(&attr, &defaults);

    // The office gets no terminal input and writes its chatter nowhere: it
    // must not hold our standard output open after we end.
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);

    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &files, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
        return Failure{QString::fromLocal8Bit(std::strerror(rc))};
    std::lock_guard lock(m_mutex);
    m_pid = pid;
    m_reaped = false;
    letGo();
    m_ownerLock = ::open(QFile::encodeName(ownerLock).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_ownerLock >= 0)
        ::flock(m_ownerLock, LOCK_EX | LOCK_NB);
    startWatchdog(pid);
    return std::nullopt;
}

pid_t OfficeProcess::pid() const
{
    std::lock_guard lock(m_mutex);
    return m_pid;
}

void OfficeProcess::reapLauncher()
{
    // Called with m_mutex held. A launcher that has exited stays a zombie, and
    // so a member of its group, until it is reaped.
    if (m_pid > 0 && !m_reaped) {
        int status = 0;
        const pid_t r = waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid || (r < 0 && errno == ECHILD))
            m_reaped = true;
    }
}

bool OfficeProcess::alive()
{
    std::lock_guard lock(m_mutex);
    if (m_pid <= 0)
        return false;
    reapLauncher();
    // Cheap test for every call; zombies count as alive here, the UNO
    // connection tells the rest.
    return ::kill(-m_pid, 0) == 0 || errno == EPERM;
}

bool OfficeProcess::ended()
{
    pid_t pid;
    {
        std::lock_guard lock(m_mutex);
        if (m_pid <= 0)
            return true;
        reapLauncher();
        pid = m_pid;
    }
    if (groupAlive(pid))
        return false;
    std::lock_guard lock(m_mutex);
    letGo();
    return true;
}

namespace {
// Calls visit(state, cpu ticks) for every process of the group led by pid,
// until it returns false. Plain system calls only: this may run on a thread
// while the program ends.
template <class Visit>
void visitGroup(pid_t pid, Visit visit)
{
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return;
    while (dirent *entry = ::readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        char path[sizeof entry->d_name + 16]; // "/proc/" + any name + "/stat"
        std::snprintf(path, sizeof path, "/proc/%s/stat", entry->d_name);
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        char buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
        ::close(fd);
        if (n <= 0)
            continue;
        buffer[n] = '\0';
        // After the command name: state, parent id, process group id, ...,
        // user and system time in clock ticks.
        const char *close = std::strrchr(buffer, ')');
        char state = 0;
        int parent = 0;
        int group = 0;
        unsigned long user = 0;
        unsigned long system = 0;
        if (!close
            || std::sscanf(close + 1, " %c %d %d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &state, &parent, &group,
                           &user, &system)
                   != 5)
            continue;
        if (group == pid && !visit(state, static_cast<std::uint64_t>(user) + system))
            break;
    }
    ::closedir(proc);
}
} // namespace

bool OfficeProcess::groupAlive(pid_t pid)
{
    if (pid <= 0)
        return false;
    if (::kill(-pid, 0) != 0 && errno != EPERM)
        return false;
    // kill() also counts zombies, and an orphaned office process that nobody
    // reaps would look alive for ever: look for a living member in /proc.
    if (::access("/proc/self/stat", R_OK) != 0)
        return true;
    bool found = false;
    visitGroup(pid, [&found](char state, std::uint64_t) {
        found = state != 'Z' && state != 'X';
        return !found;
    });
    return found;
}

std::uint64_t OfficeProcess::cpuTicks() const
{
    std::uint64_t ticks = 0;
    visitGroup(pid(), [&ticks](char, std::uint64_t used) {
        ticks += used;
        return true;
    });
    return ticks;
}

void OfficeProcess::signalGroup(int sig)
{
    std::lock_guard lock(m_mutex);
    if (m_pid > 0)
        ::kill(-m_pid, sig);
}

bool OfficeProcess::waitEnded(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (ended())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool OfficeProcess::end(std::chrono::milliseconds grace)
{
    if (ended())
        return true;
    signalGroup(SIGCONT); // a stopped process cannot act on SIGTERM
    signalGroup(SIGTERM);
    if (waitEnded(grace))
        return true;
    signalGroup(SIGKILL);
    return waitEnded(std::chrono::milliseconds(3000));
}
