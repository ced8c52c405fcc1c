#include "OfficeProcess.h"


#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <unistd.h>
#include <fcntl.h>
#include <csignal>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

bool OfficeProcess::start(const QString &program, const QStringList &arguments,
                          const QStringList &environment, QString *error)
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
    if (rc != 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(rc));
        return false;
    }
    std::lock_guard lock(m_mutex);
    m_pid = pid;
    m_reaped = false;
    return true;
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
    return !groupAlive(pid);
}

bool OfficeProcess::groupAlive(pid_t pid)
{
    if (pid <= 0)
        return false;
    if (::kill(-pid, 0) != 0 && errno != EPERM)
        return false;
    // kill() also counts zombies, and an orphaned office process that nobody
    // reaps would look alive for ever: look for a living member in /proc.
    // Plain system calls only: this may run on a thread while the program ends.
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return true;
    bool found = false;
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
        // After the command name: state, parent id, process group id, ...
        const char *close = std::strrchr(buffer, ')');
        char state = 0;
        int parent = 0;
        int group = 0;
        if (!close || std::sscanf(close + 1, " %c %d %d", &state, &parent, &group) != 3)
            continue;
        if (group == pid && state != 'Z' && state != 'X') {
            found = true;
            break;
        }
    }
    ::closedir(proc);
    return found;
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
