#pragma once

#include "EmulatorClock.h"

// The machine's own local clock.
class SystemClock : public EmulatorClock {
public:
    QDateTime localNow() const override;
};
