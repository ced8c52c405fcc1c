#pragma once

#include <QDateTime>

// The local date and time as the emulated instruments see it. The models and
// the emulator window read the clock through this interface so tests can pin it.
class EmulatorClock {
public:
    virtual ~EmulatorClock() = default;
    virtual QDateTime localNow() const = 0;
};
