#pragma once

#include "EmulatorFeed.h"

#include <QByteArray>
#include <utility>

// The emulator as a test sets it: active or not, an output waiting, an
// inject request.
class FakeEmulatorFeed : public EmulatorFeed {
public:
    bool isActive() const override { return active; }
    QByteArray takeOutput() override { return std::exchange(output, QByteArray()); }
    bool injectTabRequested() const override { return injectTab; }
    void clearInjectTab() override
    {
        injectTab = false;
        ++injectTabCleared;
    }

    bool active = false;
    QByteArray output;
    bool injectTab = false;
    int injectTabCleared = 0;
};
