#pragma once

#include "Patience.h"

#include <chrono>
#include <cstdint>

// Decides, look by look, whether a call is still worth waiting for: the
// office's processor time moving shows it works.
class PatienceWatch {
public:
    using Clock = std::chrono::steady_clock;
    enum class Verdict { Wait, Stalled, Cancelled };

    PatienceWatch(const Patience &patience, Clock::time_point began, std::uint64_t cpuTicks);
    // One look at the time and the office's processor time (clock ticks);
    // tells the caller's notice and asks its cancel.
    Verdict look(Clock::time_point now, std::uint64_t cpuTicks);

private:
    const Patience &m_patience;
    Clock::time_point m_began;
    Clock::time_point m_lastWork;
    std::uint64_t m_cpuTicks;
};
