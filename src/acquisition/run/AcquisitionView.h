#pragma once

#include <QString>
#include <functional>

// Lamp colours of the status panels.
enum class Lamp {
    Frame,  // the frame's background colour (stopped)
    Green,  // RGB 0, 255, 0: ready, working
    Yellow, // RGB 255, 255, 0: working, paused, busy, warning
    Red,    // RGB 255, 0, 0: failed or closed
};

// What an acquisition run needs of the main window. Every setter repaints
// its control at once, so the user sees a step while it runs.
class AcquisitionView {
public:
    virtual ~AcquisitionView() = default;

    virtual void setComPortLamp(Lamp lamp) = 0; // panComPort
    // The lamp's tooltip: why the port could not be opened, empty otherwise.
    virtual void setComPortTip(const QString &) {}
    virtual void setSpreadsheetLamp(Lamp lamp) = 0;      // panExcel
    virtual void setStatusText(const QString &text) = 0; // panStatus
    // A longer word on the spreadsheet side than the status line holds (the
    // run's journal cannot be written, ...); empty clears it.
    virtual void setSpreadsheetLampTip(const QString &text) = 0;

    virtual void setStartEnabled(bool enabled) = 0;  // cmdStart
    virtual void setStopEnabled(bool enabled) = 0;   // cmdStop
    virtual void setPauseEnabled(bool enabled) = 0;  // cmdPause
    virtual void setResumeEnabled(bool enabled) = 0; // cmdResume
    // cmdPause and cmdResume share one place; true brings cmdPause to the front.
    virtual void setPauseInFront(bool pauseInFront) = 0;
    virtual void setComPortsEnabled(bool enabled) = 0;      // cmdComPorts
    virtual void setUtilitiesMenuVisible(bool visible) = 0; // mnuUtilities
    // The buttons of a run that is up (Stop and Pause usable), or of none
    // (Start and the port choice usable); Pause in front either way.
    void showRunButtons(bool runUp)
    {
        setStartEnabled(!runUp);
        setStopEnabled(runUp);
        setPauseEnabled(runUp);
        setPauseInFront(true);
        setResumeEnabled(false);
        setComPortsEnabled(!runUp);
    }
    // Resume usable and in front while paused, else Pause.
    void showPauseButtons(bool paused)
    {
        if (paused) {
            setPauseEnabled(false);
            setResumeEnabled(true);
        } else {
            setResumeEnabled(false);
            setPauseEnabled(true);
        }
        setPauseInFront(!paused);
    }

    virtual void setTimerEnabled(bool enabled) = 0; // tmrMain (100 ms)
    // Raise and activate the main window above the spreadsheet application.
    virtual void bringToFront() = 0;
    // Progress of a long job run inside Stop (rebuilding the workbook from
    // the journal): `done` of `total`; total 0 ends it.
    virtual void showProgress(qint64 done, qint64 total) = 0;
    // A word that must not hold up the run (the journal stopped keeping the
    // bytes, ...): shown beside the window until the user closes it; a later
    // one replaces it.
    virtual void showNotice(const QString &text) { (void)text; }
    // A long wait inside Stop (a large workbook being saved): `text` and the
    // seconds it has taken so far; an empty text ends it.
    virtual void showWaiting(const QString &text, int seconds)
    {
        (void)text;
        (void)seconds;
    }
    // The user macro run inside Stop has taken a while (it may be waiting
    // for the user in the spreadsheet): shown while `macro` is not empty.
    // The window takes no input meanwhile but stays alive; `cancel`, when
    // set, is what a Cancel button does.
    virtual void showMacroRunning(const QString &macro, const std::function<void()> &cancel)
    {
        Q_UNUSED(macro);
        Q_UNUSED(cancel);
    }
    // A Stop goes on in the background (its user macro runs): while busy the
    // window's buttons and menus take no clicks and it does not close.
    virtual void setBusy(bool busy) { Q_UNUSED(busy); }
};
