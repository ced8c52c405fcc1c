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
    DownloadSession(SerialComm &port, MessageBoxes &boxes, WaitClock &clock, DownloadView &view, QString programFolder);
    DownloadSession(const DownloadSession &) = delete;
    DownloadSession &operator=(const DownloadSession &) = delete;

    // The window's load: reads the log's folder names from KeyChain.txt. On
    // failure shows "Firmware cannot be updated." and returns false; the
    // window is then not shown.
    bool load();
    // The whole session; returns when the window should close itself.
    void run();
    // The window's Cancel button and close box: during a session only records
    // the request (and shows lblPleaseBePatient), which is honoured between
    // files; returns true when the window may close. A further click while a
    // file is sent ends the wait for the loader at once.
    bool requestCancel();

    bool inSession() const { return m_inSession; }
    bool cancelRequested() const { return m_cancelRequested; }
    QString logSubFolder() const { return m_logSubFolder; }

    // "This update will take less than ..." for that many bytes of firmware.
    // Throws std::overflow_error when the seconds do not fit 16 bits.
    static QString estimateText(qint64 totalBytes);
    // The loader needs no new loader file when its version is not below the
    // file's: texts compared by character code, a proper prefix is smaller.
    static bool loaderIsUpToDate(const QByteArray &loaderVersion, const QByteArray &lfVersion);

    static constexpr const char *kLineSettings = "56000,N,8,1";
    // Cancel clicks during the transfer that end a wait for the loader at
    // once. The first click keeps its meaning (the file is finished first:
    // a half-loaded file can leave the instrument unusable); the second is
    // the way out of a loader that never answers but keeps sending.
    static constexpr int kClicksToStopAWait = 2;

private:
    enum class Outcome { Done, EndPath };

    bool readHoldPacket();
    bool readLoaderHeader();
    void sumFileSizes();
    bool openLog();
    bool takePort();
    Outcome talkToLoader();
    void sendFiles();
    // False when the file's transfer ended the session (the end path follows).
    bool sendFile(const QString &name, const QByteArray &endMarker);
    void sendHold();
    void cancelledPath();
    void endPath();
    void programError(int step);
    void restorePort();
    QString firmwarePath(const QString &name) const;
    qint64 sizeOf(const QString &name) const;

    SerialComm &m_port;
    MessageBoxes &m_boxes;
    WaitClock &m_clock;
    DownloadView &m_view;
    QString m_programFolder;
    SessionLog m_log;
    FirmwareTransfer m_transfer;

    // Window state.
    bool m_inSession = false;
    bool m_cancelRequested = false;
    QString m_logSubFolder;
    int m_cancelClicks = 0;
    int m_clicksAtTransferStart = 0;

    // Session values.
    QByteArray m_holdPacket;
    QByteArray m_lfVersion; // the loader file's version header
    qint64 m_lfLength = 0;
    QByteArray m_loaderVersion; // as the loader announced it
    QString m_savedSettings;
    int m_savedInputLen = 0;
    int m_savedInputMode = 0;
    bool m_settingsSaved = false;
    int m_step = 0; // the step marker, shown as "iWasOK ="
};
