#pragma once

#include "WaitClock.h"

#include <QList>
#include <functional>

// The firmware session's clock for logic tests: time moves only when the code
// under test waits, each poll interval by 10 ms, each waitSeconds by its exact
// length. onTick runs after every move (and on processEvents, as the events a
// real wait would handle), so a test can let the "loader" answer or the user
// click at a given time.
class FakeWaitClock : public WaitClock {
public:
    qint64 elapsedMs() override { return now; }
    void pause() override { advance(pollMs); }
    void waitSeconds(float seconds) override
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
