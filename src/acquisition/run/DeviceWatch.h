#pragma once

#include <QString>
#include <functional>

// Tells a run when the device of its vanished port is there again. The run
// owns one; tests hand it a double that reports when they say.
class DeviceWatch {
public:
    virtual ~DeviceWatch() = default;

    // Starts watching `devicePath` (a new watch replaces the last one).
    // `returned` is called from the event loop at every look that finds the
    // device back, until stop(): a reopen that fails simply waits for the
    // next call.
    virtual void watch(const QString &devicePath, std::function<void()> returned) = 0;
    virtual void stop() = 0;
    virtual bool watching() const = 0;
};
