#pragma once

#include "WaitClock.h"

#include <QList>
#include <functional>

// A clock whose time moves only when the code under test waits: each poll
// interval is 10 ms, each WaitSeconds its exact length. onTick runs after
// every move, so a test can let the "loader" answer at a given time.
class FakeClock : public WaitClock {
public:
    qint64 elapsedMs() override { return now; }
    void pause() override { advance(pollMs); }
    void WaitSeconds(float seconds) override
    {
        waits.append(seconds);
        advance(qRound64(double(seconds) * 1000.0));
    }
    void processEvents() override
    {
        if (onTick)
            onTick(now);
    }
    void advance(qint64 ms)
    {
        now += ms;
        if (onTick)
            onTick(now);
    }

    qint64 now = 0;
    qint64 pollMs = 10;
    QList<float> waits;
    std::function<void(qint64)> onTick;
};
