#pragma once

#include <QString>

// Why the serial port could not be opened last time, told to the user in
// the lamp's tooltip and by the command line.
struct OpenFailure {
    enum class Kind {
        None,       // the last open worked (or none was tried)
        Missing,    // no device at the path
        Permission, // this user may not open the device
        InUse,      // another program holds it
        Refused,    // the device refuses the line settings
        Other,
    };
    Kind kind = Kind::None;
    QString text; // one or two sentences: what happened and what to do

    bool failed() const { return kind != Kind::None; }
};
