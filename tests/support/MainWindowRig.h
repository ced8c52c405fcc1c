#pragma once

// The whole program around its main window, as a test drives it: the real
// serial component on a socat pseudo-terminal pair (COM5 in "ports.conf";
// COM6 names a device that does not exist), a real headless office whose
// save dialog answers what the test says, recorded message boxes, and the
// settings store in the test's private home. The test plays the instrument
// on the far end of the pair. Header only: tests using it link
// halvern_app and halvern_calc.

#include "AppSettings.h"
#include "CalcSpreadsheetFactory.h"
#include "FolderLookup.h"
#include "EmulatedInstruments.h"
#include "EmulatorMailbox.h"
#include "KeepingCalcFactory.h"
#include "MSComm.h"
#include "OfficeProcess.h"
#include "PortMap.h"
#include "PtyPair.h"
#include "RecordingMessageBoxes.h"
#include "SingleInstance.h"
#include "Startup.h"
#include "WaitUntil.h"
#include "frmMain.h"

#include <QColor>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include <fcntl.h>
#include <memory>
#include <unistd.h>

class MainWindowRig {
public:
    MainWindowRig() = default;
    ~MainWindowRig() { tearDown(); }
    MainWindowRig(const MainWindowRig &) = delete;
    MainWindowRig &operator=(const MainWindowRig &) = delete;

    // Clears the stored settings, selects COM5 and removes the working copy;
    // the settings are then read by the window's load. Empty on success, else
    // what went wrong.
    QString setUp(const QString &programFolder = qEnvironmentVariable("HALVERN_BIN_DIR"))
    {
        this->programFolder = programFolder;
        if (!QFileInfo::exists(programFolder + "/KeyChain.txt"))
            return "no program folder at " + programFolder;
        if (!pty.start())
            return "socat did not start";
        QSettings(QSettings::UserScope, "Halvern", "Halvern").clear();
        AppSettings::save("Communication", "ComPort", "5");
        QFile map(AppSettings::folder() + "/ports.conf");
        if (!map.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return "cannot write " + map.fileName();
        map.write(("COM5=" + pty.endA() + "\nCOM6=" + output.path() + "/no-such-device\n").toUtf8());
        map.close();
        peer = ::open(pty.endB().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        if (peer < 0)
            return "cannot open the instrument end";
        if (!GetFolderPath(CSIDL_PERSONAL, documents, boxes))
            return "no documents folder";
        QFile::remove(workingCopy());

        comm = std::make_unique<MSComm>(PortMap(AppSettings::folder()));
        calc = std::make_unique<CalcSpreadsheetFactory>(
            [this](const QString &title, const QString &filter) {
                prompts.append(title + "|" + filter);
                if (onPrompt)
                    onPrompt();
                return saveAnswer;
            },
            soffice);
        factory = std::make_unique<KeepingCalcFactory>(*calc);
        return QString();
    }

    // Makes the main window and runs its load; true when it loaded.
    bool load()
    {
        w = std::make_unique<frmMain>(services());
        if (!w->Form_Load())
            return false;
        w->show();
        return true;
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

    void tearDown()
    {
        if (w) {
            saveAnswer = "False";
            w->close();
            w.reset();
        }
        if (peer >= 0)
            ::close(peer);
        peer = -1;
    }

    // The instrument prints: every byte goes into the far end of the pair.
    bool send(const QByteArray &bytes)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(peer, bytes.constData() + done, size_t(bytes.size() - done));
            if (n <= 0)
                return false;
            done += n;
        }
        sent += bytes.size();
        return true;
    }
    // Waits until the run has taken in everything sent so far.
    bool received(int timeoutMs = 10000)
    {
        return waitUntil([this] { return w->run().bytesReceived() >= sent; }, timeoutMs);
    }
    // Waits until everything sent has been taken in and written.
    bool written(int timeoutMs = 10000)
    {
        return received(timeoutMs)
            && waitUntil([this] { return w->run().pendingText().isEmpty(); }, timeoutMs);
    }

    QString status() const { return w->panStatus->text(); }
    static QColor colourOf(const QFrame *lamp) { return lamp->palette().color(QPalette::Window); }
    QColor frameColour() const { return w->fraStatus->palette().color(QPalette::Window); }
    static QColor green() { return QColor(0, 255, 0); }
    static QColor yellow() { return QColor(255, 255, 0); }
    static QColor red() { return QColor(255, 0, 0); }

    // The office process group of the last office started (0 if none).
    pid_t officeGroup() const { return factory && factory->last ? factory->last->processGroup() : 0; }
    static bool officeAlive(pid_t group) { return group > 0 && OfficeProcess::groupAlive(group); }
    // Waits until no living process is left of that office.
    static bool officeEnded(pid_t group, int timeoutMs = 15000)
    {
        return waitUntil([group] { return !officeAlive(group); }, timeoutMs);
    }

    QString workingCopy() const { return documents + "/spreadsheet.xls"; }
    QString outputFile(const QString &name) const { return output.path() + "/" + name; }

    QString programFolder;
    QString soffice; // empty: the installed office
    PtyPair pty;
    int peer = -1;
    qint64 sent = 0;
    QString documents;
    QTemporaryDir output;
    EmulatedInstruments instruments;
    EmulatorMailbox mailbox;
    RecordingMessageBoxes boxes;
    QStringList prompts;
    QString saveAnswer = "False";
    std::function<void()> onPrompt;
    std::unique_ptr<MSComm> comm;
    std::unique_ptr<CalcSpreadsheetFactory> calc;
    std::unique_ptr<KeepingCalcFactory> factory;
    std::unique_ptr<SingleInstance> instance;
    std::unique_ptr<frmMain> w;
};
