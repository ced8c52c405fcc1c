#pragma once

#include "DeviceWatch.h"
#include "PortWatcher.h"

// The run's watch on the serial device itself: a PortWatcher, which looks at
// the device path on its own timer, so it keeps looking while the run's tick
// is off (a paused run).
class SerialDeviceWatch : public DeviceWatch {
public:
    explicit SerialDeviceWatch(int intervalMs = PortWatcher::defaultIntervalMs);

    void watch(const QString &devicePath, std::function<void()> returned) override;
    void stop() override;
    bool watching() const override { return m_watcher.watching(); }

    // Stat calls since the last watch() (for the benchmark).
    int looks() const { return m_watcher.looks(); }

private:
    PortWatcher m_watcher;
    int m_intervalMs;
    std::function<void()> m_returned;
};
