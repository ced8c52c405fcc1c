#pragma once

#include <QByteArray>

// The instrument emulator as a source of instrument text. While it is active
// the run reads nothing from the serial port and takes the emulator's latest
// output instead (the whole text, once).
class EmulatorFeed {
public:
    virtual ~EmulatorFeed() = default;

    virtual bool isActive() const = 0;
    // The latest output not yet taken; empty when there is none.
    virtual QByteArray takeOutput() = 0;
    // "Inject Single Tab": turn the next numeric output into a two-field TAB
    // line. The run clears the request once it has served it.
    virtual bool injectTabRequested() const = 0;
    virtual void clearInjectTab() = 0;
};
