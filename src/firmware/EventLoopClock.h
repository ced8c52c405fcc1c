#pragma once

#include "WaitClock.h"

#include <QElapsedTimer>
#include <QTimer>

// The real clock: a monotonic timer, and waits that sleep in the event loop
// between polls, so a session waiting for the loader costs next to no CPU.
//
// `speed` runs the session's sense of time faster than real time (4 makes
// the 16-second limits last 4 seconds, waitSeconds(2) half a second); the
// program uses 1, tests use more to stay quick.
class EventLoopClock : public WaitClock {
public:
    explicit EventLoopClock(double speed = 1.0, int pollMs = 10);

    qint64 elapsedMs() override;
    void pause() override;
    void waitSeconds(float seconds) override;
    void processEvents() override;

private:
    void sleepInEventLoop(int ms);

    double m_speed;
    int m_pollMs;
    QElapsedTimer m_clock;
    QTimer m_wake;
};
