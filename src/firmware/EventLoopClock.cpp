#include "EventLoopClock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <cmath>

EventLoopClock::EventLoopClock(double speed, int pollMs)
    : m_speed(speed > 0 ? speed : 1.0), m_pollMs(std::max(1, pollMs))
{
    m_clock.start();
    m_wake.setSingleShot(true);
}

qint64 EventLoopClock::elapsedMs() { return static_cast<qint64>(m_clock.elapsed() * m_speed); }

// Blocks in the event loop until at least one event has been handled; the
// timer makes sure that happens within `ms` milliseconds at the latest.
void EventLoopClock::sleepInEventLoop(int ms)
{
    m_wake.start(std::max(1, ms));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void EventLoopClock::pause() { sleepInEventLoop(m_pollMs); }

void EventLoopClock::waitSeconds(float seconds)
{
    const qint64 realMs = static_cast<qint64>(std::ceil(double(seconds) * 1000.0 / m_speed));
    QElapsedTimer waited;
    waited.start();
    for (qint64 left = realMs; left > 0; left = realMs - waited.elapsed())
        sleepInEventLoop(static_cast<int>(std::min<qint64>(left, 1000)));
    QCoreApplication::processEvents();
}

void EventLoopClock::processEvents() { QCoreApplication::processEvents(); }
