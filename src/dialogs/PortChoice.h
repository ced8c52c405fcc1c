#pragma once

#include "PortListing.h"

#include <QString>
#include <cstdint>
#include <optional>

// The port choice of the COM port dialog as its controls hold it: an option
// (1 to 4 stand for their own port, 0 is "Other", which takes the port from
// the list) and a position in the list of "COM 5" to "COM 16".
class PortChoice {
public:
    static constexpr int noOption = -1;
    static constexpr int otherOption = 0;
    static constexpr int lastOptionPort = 4;
    static constexpr int firstListPort = 5;
    static constexpr int lastPort = 16;
    static constexpr int listCount = lastPort - firstListPort + 1;
    static constexpr int noListPosition = -1;

    int option = noOption;
    int listPosition = noListPosition;

    // The preset for the port in use: ports 1 to 4 set their option with the
    // list on "COM 5", ports 5 to 16 set "Other" with the list on that port.
    // Any other number sets nothing and leaves the list as it is
    // (listPosition noListPosition).
    static PortChoice forPort(std::uint8_t port);

    // The chosen port, or nothing when no option is set or "Other" has no
    // list entry.
    std::optional<std::int16_t> port() const;

    static int portAtListPosition(int position) { return position + firstListPort; }
    // "COM 5" for position 0, up to "COM 16".
    static QString listEntry(int position);

    // The tooltip of a COM number: its device path; under it the adapter's
    // description and serial number when known, and "No device present" when
    // nothing is at the path now.
    static QString toolTip(const PortListing::Entry &entry);
};
