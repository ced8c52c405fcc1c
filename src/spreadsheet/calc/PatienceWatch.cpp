#include "PatienceWatch.h"

PatienceWatch::PatienceWatch(const Patience &patience, Clock::time_point began, std::uint64_t cpuTicks)
    : m_patience(patience), m_began(began), m_lastWork(began), m_cpuTicks(cpuTicks)
{
}

PatienceWatch::Verdict PatienceWatch::look(Clock::time_point now, std::uint64_t cpuTicks)
{
    if (cpuTicks != m_cpuTicks) {
        m_cpuTicks = cpuTicks;
        m_lastWork = now;
    } else if (m_patience.stall && now - m_lastWork >= *m_patience.stall) {
        return Verdict::Stalled;
    }
    if (m_patience.cancelled && m_patience.cancelled())
        return Verdict::Cancelled;
    if (m_patience.notice)
        m_patience.notice(static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(now - m_began).count()));
    return Verdict::Wait;
}
