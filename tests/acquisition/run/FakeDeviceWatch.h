#pragma once

#include "DeviceWatch.h"

#include <QString>
#include <functional>

// The run's device watch for logic tests: a look that finds the device back
// happens when the test calls look().
class FakeDeviceWatch : public DeviceWatch {
public:
    void watch(const QString &devicePath, std::function<void()> returned) override
    {
        path = devicePath;
        m_returned = std::move(returned);
        ++watches;
    }
    void stop() override { m_returned = nullptr; }
    bool watching() const override { return m_returned != nullptr; }

    // One look that finds the device there; nothing while not watching.
    void look()
    {
        const std::function<void()> returned = m_returned;
        if (returned)
            returned();
    }

    QString path; // what the last watch() was for
    int watches = 0;

private:
    std::function<void()> m_returned;
};
