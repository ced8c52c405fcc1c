#pragma once

#include "SerialDevice.h"

#include <QList>

// Where the serial adapters plugged in now come from: the system's own list
// in the program, a folder of links to pseudo-terminals in tests.
class DeviceSource {
public:
    virtual ~DeviceSource() = default;
    // The adapters present now. Built-in ports (/dev/ttyS*) are not adapters.
    virtual QList<SerialDevice> devices() const = 0;
};
