#include "OfficeProcess.h"

#include "LogCategories.h"

#include <QDebug>
#include <QFile>
#include <QStandardPaths>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <unistd.h>
#include <fcntl.h>
#include <poll.h>
#include <csignal>
#include <cstring>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <vector>

namespace {
// How long the watchdog lets an office end on SIGTERM before SIGKILL.
constexpr int kWatchdogGraceMs = 1500;
constexpr int kWatchdogPollMs = 50;

// The file descriptors the watchdog keeps: its end of a socket pair whose
// other end only we hold, and the pipe on which it tells us how the start went.
constexpr int kGuardFd = 3;
constexpr int kReportFd = 4;

// What the watchdog tells us once: the office's process id, or why there is none.
struct LaunchReport {
    pid_t pid = -1;
    int error = 0;
    bool watchdogFailed = false; // the watchdog could not be made, or could not fork the office
};

struct Launch {
    const char *path;
    char *const *argv;
    char *const *envp;
};

// In the office's process, forked from the watchdog: plain system calls only.
// A failed exec sends its errno through `status`, which closes on success.
[[noreturn]] void execOffice(const Launch &launch, int status)
{
    ::setsid(); // its own session and process group, which the watchdog ends
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (const int sig : {SIGPIPE, SIGCHLD, SIGTERM, SIGINT})
        ::sigaction(sig, &defaults, nullptr);
    ::close(kGuardFd);
    ::close(kReportFd);
    ::execve(launch.path, launch.argv, launch.envp);
    const int error = errno;
    [[maybe_unused]] const ssize_t n = ::write(status, &error, sizeof error);
    ::_exit(127);
}

// The watchdog, in a forked child of a threaded program: plain system calls
// only. It starts the office itself, so no office runs without it, tells us
// how that went, and then waits until our end of the pair closes; a byte first
// means the office was let go.
[[noreturn]] void watchOffice(int guard, int report, const Launch &launch)
{
    ::setsid(); // out of our process group: a terminal's Ctrl+C must not end it first
    const int movedGuard = ::fcntl(guard, F_DUPFD, 10);
    const int movedReport = ::fcntl(report, F_DUPFD, 10);
    if (movedGuard < 0 || movedReport < 0 || ::dup2(movedGuard, kGuardFd) < 0 || ::dup2(movedReport, kReportFd) < 0)
        ::_exit(1);                       // we read no report, and say so
    ::close_range(kReportFd + 1, ~0U, 0); // holds nothing of ours open, no other watchdog's socket either
    // The office gets no terminal input and writes its chatter nowhere: it
    // must not hold our standard output open after we end.
    const int null = ::open("/dev/null", O_RDWR);
    for (int fd = 0; fd <= 2 && null >= 0; ++fd)
        ::dup2(null, fd);
    if (null > 2)
        ::close(null);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGCHLD, &ignore, nullptr); // the office's launcher is reaped as it ends
    ::sigaction(SIGPIPE, &ignore, nullptr); // we may be gone before the report

    LaunchReport told;
    int status[2];
    pollfd guardState{kGuardFd, POLLIN, 0};
    if (::poll(&guardState, 1, 0) > 0) {
        ::_exit(0); // we are gone already: no office to start
    } else if (::pipe2(status, O_CLOEXEC) != 0) {
        told.error = errno;
        told.watchdogFailed = true;
    } else if (const pid_t office = ::_Fork(); office == 0) {
        ::close(status[0]);
        execOffice(launch, status[1]);
    } else if (office < 0) {
        told.error = errno;
        told.watchdogFailed = true;
    } else {
        ::close(status[1]);
        ssize_t n;
        do
            n = ::read(status[0], &told.error, sizeof told.error);
        while (n < 0 && errno == EINTR);
        if (n != sizeof told.error)
            told.error = 0; // closed by the exec: the office runs
        told.pid = told.error == 0 ? office : -1;
    }
    [[maybe_unused]] const ssize_t sent = ::write(kReportFd, &told, sizeof told);
    ::close(kReportFd);
    if (told.pid < 0)
        ::_exit(0);

    char byte = 0;
    ssize_t n;
    do
        n = ::read(kGuardFd, &byte, 1);
    while (n < 0 && errno == EINTR);
    if (n == 0) {
        ::kill(-told.pid, SIGCONT); // a stopped process cannot act on SIGTERM
        ::kill(-told.pid, SIGTERM);
        const timespec pause{0, kWatchdogPollMs * 1000000L};
        for (int waited = 0; waited < kWatchdogGraceMs && ::kill(-told.pid, 0) == 0; waited += kWatchdogPollMs)
            ::nanosleep(&pause, nullptr);
        ::kill(-told.pid, SIGKILL);
    }
    ::_exit(0);
}

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }
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
        const char released = 1; // to a watchdog that may have gone: no SIGPIPE
        [[maybe_unused]] const ssize_t n = ::send(m_watchdog, &released, 1, MSG_NOSIGNAL);
        ::close(m_watchdog);
        m_watchdog = -1;
    }
    if (m_ownerLock >= 0) {
        ::close(m_ownerLock);
        m_ownerLock = -1;
    }
}

std::optional<Failure> OfficeProcess::start(const QString &program, const QStringList &arguments,
                                            const QStringList &environment, const QString &ownerLock)
{
    auto fail = [](const QString &reason) { return std::optional<Failure>(Failure{reason}); };
    // Looked up here: the watchdog may only make plain system calls.
    const QString path = program.contains('/') ? program : QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        return fail(systemError(ENOENT));

    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(path));
    storage.push_back(program.toLocal8Bit());
    for (const QString &a : arguments)
        storage.push_back(a.toLocal8Bit());
    const std::size_t argEnd = storage.size();
    for (const QString &e : environment)
        storage.push_back(e.toLocal8Bit());
    std::vector<char *> argv;
    std::vector<char *> envp;
    for (std::size_t i = 1; i < storage.size(); ++i)
        (i < argEnd ? argv : envp).push_back(storage[i].data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const Launch launch{storage[0].constData(), argv.data(), envp.data()};

    std::lock_guard lock(m_mutex);
    letGo();
    m_pid = -1;
    m_ownerLock = ::open(QFile::encodeName(ownerLock).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_ownerLock >= 0)
        ::flock(m_ownerLock, LOCK_EX | LOCK_NB);

    auto noWatchdog = [&](const QString &reason) {
        qCWarning(lcOffice) << "the office is not started: its watchdog cannot be made:" << reason;
        letGo();
        return fail(QStringLiteral("its watchdog cannot be made: ") + reason);
    };
    int guard[2];
    int report[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, guard) != 0)
        return noWatchdog(QStringLiteral("socketpair: ") + systemError(errno));
    if (::pipe2(report, O_CLOEXEC) != 0) {
        const int e = errno;
        ::close(guard[0]);
        ::close(guard[1]);
        return noWatchdog(QStringLiteral("pipe: ") + systemError(e));
    }
    // Forked twice, so that init takes the watchdog and nobody has to wait for it.
    const pid_t middle = ::fork();
    if (middle == 0) {
        const pid_t watchdog = ::_Fork();
        if (watchdog < 0) {
            const LaunchReport told{-1, errno, true};
            [[maybe_unused]] const ssize_t n = ::write(report[1], &told, sizeof told);
        }
        if (watchdog != 0)
            ::_exit(0);
        watchOffice(guard[0], report[1], launch);
    }
    const int forkError = errno;
    ::close(guard[0]);
    ::close(report[1]);
    LaunchReport told;
    ssize_t n = -1;
    if (middle > 0) {
        while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
        }
        do
            n = ::read(report[0], &told, sizeof told);
        while (n < 0 && errno == EINTR);
    }
    ::close(report[0]);
    m_watchdog = guard[1];
    if (middle < 0)
        return noWatchdog(QStringLiteral("fork: ") + systemError(forkError));
    if (n != sizeof told)
        return noWatchdog(QStringLiteral("it ended before it started the office"));
    if (told.watchdogFailed)
        return noWatchdog(systemError(told.error));
    if (told.pid < 0) {
        letGo();
        return fail(systemError(told.error));
    }
    m_pid = told.pid;
    return std::nullopt;
}

pid_t OfficeProcess::pid() const
{
    std::lock_guard lock(m_mutex);
    return m_pid;
}

bool OfficeProcess::alive()
{
    std::lock_guard lock(m_mutex);
    if (m_pid <= 0)
        return false;
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
