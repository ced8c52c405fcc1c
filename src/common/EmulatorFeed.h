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

    // The text the run takes as if the instrument had sent it: the latest
    // output, or, when an inject is requested and the output starts with a
    // number v, the TAB line "v<TAB>v+1" CR LF (the request is then served).
    QByteArray takeInstrumentText();
};
