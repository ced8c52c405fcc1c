#include "SerialDeviceWatch.h"

SerialDeviceWatch::SerialDeviceWatch(int intervalMs) : m_intervalMs(intervalMs)
{
    QObject::connect(&m_watcher, &PortWatcher::deviceReturned, &m_watcher, [this](const QString &) {
        // Held locally: the call may stop this watch or start another one.
        const std::function<void()> returned = m_returned;
        if (returned)
            returned();
    });
}

void SerialDeviceWatch::watch(const QString &devicePath, std::function<void()> returned)
{
    m_returned = std::move(returned);
    m_watcher.watch(devicePath, m_intervalMs);
}

void SerialDeviceWatch::stop()
{
    m_watcher.stop();
    m_returned = nullptr;
}
