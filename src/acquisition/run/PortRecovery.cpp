#include "PortRecovery.h"

#include "CaughtException.h"
#include "LogCategories.h"
#include "SerialComm.h"
#include "SerialDeviceWatch.h"

PortRecovery::PortRecovery(SerialComm &comm) : m_comm(comm) {}

PortRecovery::~PortRecovery() = default;

void PortRecovery::fail()
{
    m_lost = true;
    try {
        m_comm.setPortOpen(false);
    } catch (...) {
        qCInfo(lcSerial).noquote() << "The lost port did not close:" << CaughtException::reason();
    }
}

std::optional<Failure> PortRecovery::reopen()
{
    // The serial component kept the run's settings: opening again applies them.
    try {
        m_comm.setPortOpen(true);
    } catch (...) {
        // Right after a failed read the device is usually still gone.
        qCInfo(lcSerial).noquote() << "The port did not open again:" << CaughtException::reason();
        return Failure{m_comm.lastOpenFailure().text};
    }
    m_lost = false;
    return std::nullopt;
}

void PortRecovery::watch(std::function<void()> returned)
{
    const QString device = m_comm.openedDevicePath();
    if (device.isEmpty())
        return; // nothing known to watch for: the port stays closed
    if (!m_watch)
        m_watch = std::make_unique<SerialDeviceWatch>();
    m_watch->watch(device, std::move(returned));
}

void PortRecovery::stopWatching()
{
    if (m_watch)
        m_watch->stop();
}

bool PortRecovery::watching() const { return m_watch && m_watch->watching(); }

void PortRecovery::setDeviceWatch(std::unique_ptr<DeviceWatch> watch)
{
    stopWatching();
    m_watch = std::move(watch);
}
