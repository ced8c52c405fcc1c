#pragma once

#include <QByteArray>

// The instrument emulator as a source of instrument text. While it is active
// the run reads nothing from the serial port and takes the emulator's text
// instead (the whole text, once).
class EmulatorFeed {
public:
    virtual ~EmulatorFeed() = default;

    virtual bool isActive() const = 0;
    // The text the run takes as if the instrument had sent it; empty when
    // there is none.
    virtual QByteArray takeInstrumentText() = 0;
};
