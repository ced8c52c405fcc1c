#pragma once

#include "AcquisitionView.h"
#include "MacroSettings.h"
#include "PortListing.h"
#include "ReceivedText.h"
#include "ReceivedTextWindow.h"
#include "frmAbout.h"
#include "frmDownload.h"
#include "frmEmulation.h"
#include "frmExcelMacro.h"
#include "frmRuns.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QMessageBox;
class QProgressDialog;
class QPushButton;
class QTimer;

class EmulatedInstruments;
class EmulatorMailbox;
class SerialComm;
class MessageBoxes;
class RunArchiveState;
class SpreadsheetFactory;
class AcquisitionRun;
class JournalWorkbookMaker;

// The main window: start, pause, resume and stop an acquisition run, the
// status lamps, and the menus to the tools. Loads its settings at load and
// writes them back at unload.
class frmMain : public QMainWindow, public AcquisitionView {
    Q_OBJECT
public:
    struct Services {
        SerialComm &MSComm1;
        MessageBoxes &boxes;
        SpreadsheetFactory &spreadsheets;
        EmulatedInstruments &instruments;
        EmulatorMailbox &emulatorMailbox;
        QString programFolder; // executable's folder: KeyChain.txt, spreadsheet.xls, Firmware/
        // The COM numbers as they stand now, shown by the COM port dialog.
        std::function<QList<PortListing::Entry>()> portsNow = {};
        // The lab archive's word on each run, for the Runs window; none without it.
        const RunArchiveState *archive = nullptr;
    };

    explicit frmMain(Services services, QWidget *parent = nullptr);
    ~frmMain() override;

    // The window's load. False when it failed (the box was shown and the
    // window closed itself); the stored settings are then left untouched.
    bool Form_Load();

    // Controls, named as the rest of the program knows them.
    QPushButton *cmdStart = nullptr;
    QPushButton *cmdStop = nullptr;
    QPushButton *cmdPause = nullptr;
    QPushButton *cmdResume = nullptr;
    QPushButton *cmdClose = nullptr;
    QPushButton *cmdComPorts = nullptr;
    QPushButton *cmdExcelMacro = nullptr;
    QGroupBox *fraStatus = nullptr;
    QFrame *panComPort = nullptr;
    QLabel *lblComPort = nullptr;
    QFrame *panExcel = nullptr;
    QLabel *lblExcel = nullptr;
    QLabel *panStatus = nullptr;
    QLabel *imgComPort = nullptr;
    QLabel *imgExcel = nullptr;
    QTimer *tmrMain = nullptr;
    QMenu *mnuTools = nullptr;
    QAction *mnuToolsDLREmulation = nullptr;
    QAction *mnuToolsRuns = nullptr;
    QAction *mnuToolsReceivedText = nullptr;
    QMenu *mnuUtilities = nullptr;
    QAction *mnuUtilitiesDownload = nullptr;
    QMenu *mnuHelp = nullptr;
    QAction *mnuHelpAbout = nullptr;

    frmAbout *aboutBox();
    // The tool windows, created on first use; null when not open.
    frmEmulation *emulatorWindow() const { return m_emulation; }
    frmExcelMacro *macroDialog();
    frmDownload *downloadWindow();
    // The Runs window, created on first use; null when not open.
    frmRuns *runsWindow() const { return m_runs; }
    // Where the runs' journals are kept.
    QString journalFolder() const;
    // The "Received text" window, created on first use and kept; null before.
    ReceivedTextWindow *receivedTextWindow() const { return m_receivedTextWindow; }
    ReceivedText &receivedText() { return m_receivedText; }
    AcquisitionRun &run() { return *m_run; }
    // The user macro run at Stop, as loaded from the settings.
    const MacroSettings &macroSettings() const { return m_macro; }
    void setMacroSettings(const MacroSettings &macro) { m_macro = macro; }
    // True when cmdPause stands in front of cmdResume.
    bool pauseInFront() const;

    // AcquisitionView
    void setComPortLamp(Lamp lamp) override;
    void setComPortTip(const QString &text) override;
    void setSpreadsheetLamp(Lamp lamp) override;
    void setStatusText(const QString &text) override;
    void setSpreadsheetLampTip(const QString &text) override;
    void setStartEnabled(bool enabled) override;
    void setStopEnabled(bool enabled) override;
    void setPauseEnabled(bool enabled) override;
    void setResumeEnabled(bool enabled) override;
    void setPauseInFront(bool pauseInFront) override;
    void setComPortsEnabled(bool enabled) override;
    void setUtilitiesMenuVisible(bool visible) override;
    void setTimerEnabled(bool enabled) override;
    void bringToFront() override;
    void showProgress(qint64 done, qint64 total) override;
    void showNotice(const QString &text) override;
    void showWaiting(const QString &text, int seconds) override;
    void showMacroRunning(const QString &macro, const std::function<void()> &cancel) override;
    void setBusy(bool busy) override;
    // True while a Stop or a workbook being made waits on the user macro.
    bool busy() const { return m_busy; }

public slots:
    void cmdStart_Click();
    void cmdStop_Click();
    void cmdPause_Click();
    void cmdResume_Click();
    void cmdClose_Click();
    void cmdComPorts_Click();
    void cmdExcelMacro_Click();
    void tmrMain_Timer();
    void mnuHelpAbout_Click();
    void mnuToolsDLREmulation_Click();
    void mnuToolsReceivedText_Click();
    void mnuUtilitiesDownload_Click();
    void mnuToolsRuns_Click();
    // After the window shows at start-up: offers the runs that ended without
    // Stop (the program or the computer stopped during them).
    void offerUnfinishedRuns();
    // Makes the workbook of a kept run from its journal, as a rebuild at Stop
    // does, and notes it in the run's summary; `made` follows, from the
    // event loop. While the user macro runs the window is busy().
    void makeWorkbookFromJournal(const QString &rawPath, std::function<void()> made = {});

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    bool failLoad(const QString &message);
    void readSettings();
    void Form_Unload();
    void showPortLabel();
    void setLamp(QFrame *lamp, Lamp colour);

    Services m_services;
    MacroSettings m_macro;
    bool m_loaded = false;
    bool m_unloaded = false;
    bool m_busy = false;
    bool m_closeWhenIdle = false;                  // closed while busy: closes once it is over
    bool m_making = false;                         // a workbook is being made from a journal
    std::unique_ptr<JournalWorkbookMaker> m_maker; // the last one made, kept while it works
    ReceivedText m_receivedText;                   // outlives the run, which tells it what arrives
    std::unique_ptr<AcquisitionRun> m_run;
    QPointer<frmAbout> m_about;
    QPointer<frmEmulation> m_emulation;
    QPointer<frmExcelMacro> m_macroDialog;
    QPointer<frmDownload> m_download;
    QPointer<frmRuns> m_runs;
    QPointer<ReceivedTextWindow> m_receivedTextWindow;
    QPointer<QProgressDialog> m_progress;
    QPointer<QProgressDialog> m_waiting;
    QPointer<QMessageBox> m_notice;
    QPointer<QProgressDialog> m_macroRunning;
};
