#pragma once

#include "Failure.h"

#include <functional>
#include <memory>
#include <optional>

class DeviceWatch;
class SerialComm;

// A run's port whose reading failed (the adapter was pulled out, the device
// vanished): closed at once, its device watched for, and opened again with
// the run's settings when the device is back.
class PortRecovery {
public:
    explicit PortRecovery(SerialComm &comm);
    ~PortRecovery();
    PortRecovery(const PortRecovery &) = delete;
    PortRecovery &operator=(const PortRecovery &) = delete;

    // True from the failed read until the port is open again.
    bool lost() const { return m_lost; }
    void forget() { m_lost = false; }
    // The read failed: closes the port.
    void fail();
    // Opens the lost port again; nothing when it is open, else what was
    // found (for the port lamp's tooltip).
    std::optional<Failure> reopen();
    // Watches for the device the port had; `returned` is called at every look
    // that finds it back, until stopWatching(). Nothing when no device is known.
    void watch(std::function<void()> returned);
    void stopWatching();
    bool watching() const;
    // What watches (a SerialDeviceWatch unless set, made when first needed).
    void setDeviceWatch(std::unique_ptr<DeviceWatch> watch);

private:
    SerialComm &m_comm;
    bool m_lost = false;
    std::unique_ptr<DeviceWatch> m_watch;
};
