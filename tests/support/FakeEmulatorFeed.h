#pragma once

#include "EmulatorFeed.h"

#include <QByteArray>
#include <utility>

// The emulator as a test sets it: active or not, a text waiting.
class FakeEmulatorFeed : public EmulatorFeed {
public:
    bool isActive() const override { return active; }
    QByteArray takeInstrumentText() override { return std::exchange(output, QByteArray()); }

    bool active = false;
    QByteArray output;
};
