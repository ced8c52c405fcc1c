#pragma once

// The whole program around its main window, as a test drives it: the parts of
// an AcquisitionRig, the window and its start-up. The settings are read by the
// window's load. Header only: tests using it link halvern_app and
// halvern_calc.

#include "AcquisitionRig.h"
#include "AcquisitionRun.h"
#include "Clicks.h"
#include "EmulatedInstruments.h"
#include "EmulatorMailbox.h"
#include "SingleInstance.h"
#include "Startup.h"
#include "frmMain.h"

#include <QColor>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

class MainWindowRig : public AcquisitionRig {
public:
    ~MainWindowRig() { tearDown(); }

    // Makes the main window and runs its load; true when it loaded.
    bool load()
    {
        w = std::make_unique<frmMain>(services());
        if (!w->Form_Load())
            return false;
        w->show();
        return true;
    }

    // Loads the window if need be and presses Start; true when the run is up.
    bool start()
    {
        if (!w && !load())
            return false;
        sent = 0;
        click(w->cmdStart);
        return w->run().state() == RunState::Running;
    }

    // Starts the program the way it starts for a user: the start-up routine
    // makes the emulated instrument models and shows the loaded window.
    bool startProgram()
    {
        instance = std::make_unique<SingleInstance>(output.path() + "/instance.lock");
        w = startUp(services(), *instance);
        return w != nullptr;
    }

    frmMain::Services services()
    {
        return frmMain::Services{*comm, boxes, *factory, instruments, mailbox, programFolder};
    }

    // Waits until no Stop and no workbook being made waits on the user macro.
    bool idle(int timeoutMs = 120000)
    {
        return waitUntil([this] { return !w->busy(); }, timeoutMs);
    }
    // Presses Stop and waits until the whole Stop is over, its macro included.
    bool stop()
    {
        click(w->cmdStop);
        return idle();
    }

    void tearDown()
    {
        if (w) {
            saveAnswer.clear();
            idle(); // the window stays while the macro runs
            w->close();
            w.reset();
        }
        peer.close();
    }

    // Waits until the run has taken in everything sent so far.
    bool received(int timeoutMs = 10000)
    {
        return waitUntil([this] { return w->run().bytesReceived() >= sent; }, timeoutMs);
    }
    // Waits until everything sent has been taken in and written.
    bool written(int timeoutMs = 10000)
    {
        return received(timeoutMs) && waitUntil([this] { return w->run().pendingText().isEmpty(); }, timeoutMs);
    }
    // The instrument prints and the run takes it in, or writes it too.
    bool sendReceived(const QByteArray &bytes) { return send(bytes) && received(); }
    bool sendWritten(const QByteArray &bytes) { return send(bytes) && written(); }

    QString status() const { return w->panStatus->text(); }
    static QColor colourOf(const QFrame *lamp) { return lamp->palette().color(QPalette::Window); }
    QColor frameColour() const { return w->fraStatus->palette().color(QPalette::Window); }
    static QColor green() { return QColor(0, 255, 0); }
    static QColor yellow() { return QColor(255, 255, 0); }
    static QColor red() { return QColor(255, 0, 0); }

    EmulatedInstruments instruments;
    EmulatorMailbox mailbox;
    std::unique_ptr<SingleInstance> instance;
    std::unique_ptr<frmMain> w;
};
