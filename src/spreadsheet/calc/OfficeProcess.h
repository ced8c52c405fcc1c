#pragma once

#include "Failure.h"

#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <sys/types.h>

// The office process we launched. It runs in a session (and so a process
// group) of its own, so that the launcher and the office it starts can be
// signalled together and our terminal's signals do not reach it.
//
// No office outlives us, however we end (a crash, kill -9): a watchdog
// process starts the office, so there is never an office without one, and
// waits on a socket whose other end only we hold. When that end closes
// without the office having been let go, the watchdog ends the office's
// process group. While the office runs we also hold an flock on an owner
// file of its instance folder, so a later start-up can tell an office whose
// program is gone (see OfficeFolders::sweepEnded). Thread safe.
class OfficeProcess {
public:
    OfficeProcess() = default;
    // Never ends the office by itself: an office still running is left to
    // the user, and to the watchdog when we end.
    ~OfficeProcess();
    OfficeProcess(const OfficeProcess &) = delete;
    OfficeProcess &operator=(const OfficeProcess &) = delete;

    // Starts program (searched in PATH when it has no "/") with arguments and
    // the given environment ("NAME=value" entries). The failure, when it
    // cannot be started; also when its watchdog cannot be made (then the
    // office is not started at all).
    // `ownerLock` is a file that is locked for as long as the office is ours.
    std::optional<Failure> start(const QString &program, const QStringList &arguments, const QStringList &environment,
                                 const QString &ownerLock);

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
    // Called with m_mutex held.
    void startWatchdog(pid_t group);
    // The office has ended: the watchdog and the owner lock are let go.
    void letGo();

    mutable std::mutex m_mutex;
    pid_t m_pid = -1;
    int m_watchdog = -1; // our end of the watchdog's socket pair
    int m_ownerLock = -1;
};
