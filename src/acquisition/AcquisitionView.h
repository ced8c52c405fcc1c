#pragma once

#include <QString>

// Lamp colours of the status panels.
enum class Lamp {
    Frame,  // the frame's background colour (stopped)
    Green,  // &H00FF00: ready, working
    Yellow, // &H00FFFF: working, paused, busy, warning
    Red,    // &H0000FF: failed or closed
};

// What an acquisition run needs of the main window. Every setter repaints
// its control at once, so the user sees a step while it runs.
class AcquisitionView {
public:
    virtual ~AcquisitionView() = default;

    virtual void setComPortLamp(Lamp lamp) = 0;      // panComPort
    // The lamp's tooltip: why the port could not be opened, empty otherwise.
    virtual void setComPortTip(const QString &) {}
    virtual void setExcelLamp(Lamp lamp) = 0;        // panExcel
    virtual void setStatusText(const QString &text) = 0; // panStatus

    virtual void setStartEnabled(bool enabled) = 0;     // cmdStart
    virtual void setStopEnabled(bool enabled) = 0;      // cmdStop
    virtual void setPauseEnabled(bool enabled) = 0;     // cmdPause
    virtual void setResumeEnabled(bool enabled) = 0;    // cmdResume
    // cmdPause and cmdResume share one place; true brings cmdPause to the front.
    virtual void setPauseInFront(bool pauseInFront) = 0;
    virtual void setComPortsEnabled(bool enabled) = 0;  // cmdComPorts
    virtual void setUtilitiesMenuVisible(bool visible) = 0; // mnuUtilities

    virtual void setTimerEnabled(bool enabled) = 0;     // tmrMain (100 ms)
    // Raise and activate the main window above the spreadsheet application.
    virtual void bringToFront() = 0;
    // Let pending window events run once.
    virtual void processEvents() = 0;
    // Untick the emulator's "Inject Single Tab" box, which clears bInjectTab.
    virtual void clearInjectTab() = 0;
};
