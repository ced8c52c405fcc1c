#pragma once

#include <cstdint>

// What the main window needs of the COM port dialog.
class PortPicker {
public:
    virtual ~PortPicker() = default;
    // Shows the choice preset to `port` and returns the chosen port, or
    // `port` itself when the user cancelled.
    virtual std::int16_t GetPort(std::uint8_t port) = 0;
};
