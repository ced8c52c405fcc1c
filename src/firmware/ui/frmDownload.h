#pragma once

#include "DownloadView.h"

#include <QDialog>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;

class DownloadSession;
class MessageBoxes;
class SerialComm;
class WaitClock;

// The firmware update window: modal, runs one update session each time it is
// opened (ShowForm), borrowing the main window's serial port. Cancel and the
// close box only request cancellation while the session talks to the loader.
class frmDownload : public QDialog, public DownloadView {
    Q_OBJECT
public:
    // programFolder holds KeyChain.txt and Firmware/. `clock` replaces the
    // real clock (tests); the window keeps its own when none is given.
    frmDownload(SerialComm &MSComm1, MessageBoxes &boxes, QString programFolder, QWidget *mainWindow,
                WaitClock *clock = nullptr);
    ~frmDownload() override;

    // Reads KeyChain.txt, shows the window modally at the main window's left
    // and top, and returns once the session has ended and the window closed.
    // When KeyChain.txt is unusable a box says so and nothing is shown.
    void ShowForm();

    QLabel *lblPleaseBePatient = nullptr;
    QLabel *lblDownloading = nullptr;
    QLabel *lblSuccess = nullptr;
    QLabel *lblPleasePowerCycle = nullptr;
    QProgressBar *prgPercentLoaded = nullptr;
    QPushButton *cmdCancel = nullptr;

    DownloadSession &session() { return *m_session; }

    // DownloadView
    void setPleaseBePatientVisible(bool visible) override;
    void setDownloadingVisible(bool visible) override;
    void setSuccessVisible(bool visible) override;
    void setPleasePowerCycleVisible(bool visible) override;
    void setProgressVisible(bool visible) override;
    void setProgress(int percent) override;

public slots:
    void cmdCancel_Click();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void buildControls();
    void Form_Activate();
    void closeFromProgram();

    QWidget *m_mainWindow;
    std::unique_ptr<WaitClock> m_ownClock;
    std::unique_ptr<DownloadSession> m_session;
    bool m_activated = false;
    bool m_programClose = false;
};
