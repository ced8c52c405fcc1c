#pragma once

#include <QtGlobal>

// Time and waiting for the firmware session. Every wait keeps the window
// responsive (Cancel, the close box) by processing pending events while it
// waits. The real clock sleeps in the event loop; tests put in a clock whose
// time they move themselves.
class WaitClock {
public:
    virtual ~WaitClock() = default;

    // Monotonic milliseconds since some fixed start.
    virtual qint64 elapsedMs() = 0;
    // One short poll interval: processes pending events and sleeps until an
    // event arrives (received serial data wakes it) or a few milliseconds pass.
    virtual void pause() = 0;
    // Returns once at least that many seconds have passed, processing events
    // the whole time.
    virtual void waitSeconds(float seconds) = 0;
    // Processes pending events without waiting.
    virtual void processEvents() = 0;
};
