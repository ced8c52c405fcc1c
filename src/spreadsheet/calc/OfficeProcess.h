#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <sys/types.h>

// The office process we launched. It runs in a session (and so a process
// group) of its own, so that the launcher and the office it starts can be
// signalled together and an office left open outlives neither our terminal
// nor our own exit. Thread safe.
class OfficeProcess {
public:
    OfficeProcess() = default;
    ~OfficeProcess() = default; // never ends the office by itself
    OfficeProcess(const OfficeProcess &) = delete;
    OfficeProcess &operator=(const OfficeProcess &) = delete;

    // Starts program (searched in PATH when it has no "/") with arguments and
    // the given environment ("NAME=value" entries). False, with a reason in
    // *error, when it cannot be started.
    bool start(const QString &program, const QStringList &arguments, const QStringList &environment,
               QString *error);

    // The launched process; it leads the office's process group.
    pid_t pid() const;
    // Cheap test: false once the office's process group has gone entirely.
    bool alive();
    // Thorough test: true when no living process is left in the group.
    bool ended();
    // Sends sig to every process of the group.
    void signalGroup(int sig);
    // Waits at most timeout for the whole group to end; true when it has.
    bool waitEnded(std::chrono::milliseconds timeout);
    // Ends the group: SIGTERM, then SIGKILL after grace. True when ended.
    bool end(std::chrono::milliseconds grace);

    // The processor time the group's living processes have used so far, in
    // clock ticks: it stands still while the office does no work.
    std::uint64_t cpuTicks() const;

    // Whether a process group led by pid has a living (not zombie) member.
    static bool groupAlive(pid_t pid);

private:
    void reapLauncher();

    mutable std::mutex m_mutex;
    pid_t m_pid = -1;
    bool m_reaped = false;
};
