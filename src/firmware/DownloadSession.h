#pragma once

#include "FirmwareTransfer.h"
#include "SessionLog.h"

#include <QByteArray>
#include <QString>

class DownloadView;
class MessageBoxes;
class SerialComm;
class WaitClock;

// One firmware update session, from the hold packet and the estimate to the
// second power cycle: confirmation, the log, taking over the port at
// "56000,N,8,1", the loader's announcement and version, the files "fc.ldf",
// "lf.ldf" (only for an older loader), "ff.ldf" and "af.ldf", Cancel honoured
// between files, and the port given back as it was. The window calls load()
// before it shows itself and run() once per opening.
class DownloadSession {
public:
    DownloadSession(SerialComm &MSComm1, MessageBoxes &boxes, WaitClock &clock, DownloadView &view,
                    QString programFolder);

    // The window's load: reads the log's folder names from KeyChain.txt. On
    // failure shows "Firmware cannot be updated." and returns false; the
    // window is then not shown.
    bool load();
    // The whole session; returns when the window should close itself.
    void run();
    // cmdCancel and the close box: during a session only records the request
    // (and shows lblPleaseBePatient); returns true when the window may close.
    bool cmdCancel_Click();

    bool inSession() const { return bInSession; }
    bool cancelRequested() const { return bCancelRequested; }
    QString logSubFolder() const { return sLogSubFolder; }

    // "This update will take less than ..." for that many bytes of firmware.
    // Throws std::overflow_error when the seconds do not fit 16 bits.
    static QString estimateText(qint64 totalBytes);
    // The loader needs no new loader file when its version is not below the
    // file's: texts compared by character code, a proper prefix is smaller.
    static bool loaderIsUpToDate(const QByteArray &sLoaderVersion, const QByteArray &sLfVersion);

    static constexpr const char *kLineSettings = "56000,N,8,1";

private:
    enum class Outcome { Done, EndPath };

    bool readHoldPacket();
    bool readLoaderHeader();
    void sumFileSizes();
    bool openLog();
    bool takePort();
    Outcome talkToLoader();
    void sendFiles();
    void sendHold();
    void cancelledPath();
    void endPath();
    void programError(int iWasOK);
    void restorePort();
    QString firmwarePath(const QString &name) const;
    qint64 sizeOf(const QString &name) const;

    SerialComm &MSComm1;
    MessageBoxes &m_boxes;
    WaitClock &m_clock;
    DownloadView &m_view;
    QString m_programFolder;
    SessionLog m_log;
    FirmwareTransfer m_transfer;

    // Window state.
    bool bInSession = false;
    bool bCancelRequested = false;
    QString sLogSubFolder;
    int m_cancelClicks = 0;

    // Session values.
    QByteArray vHoldPacket;
    QByteArray sLfVersion;
    qint64 m_lfLength = 0;
    QByteArray sLoaderVersion;
    QString m_savedSettings;
    int m_savedInputLen = 0;
    int m_savedInputMode = 0;
    bool m_settingsSaved = false;
    int iWasOK = 0;
};
