#pragma once

#include <QByteArray>
#include <QString>

class DownloadView;
class MessageBoxes;
class SerialComm;
class SessionLog;
class WaitClock;

// Hands one firmware file to the instrument's loader, packet by packet:
// waits for the loader's ":OK :" and ":LST:01" before each packet, resends
// a rejected packet once, checks the end marker in the final acknowledgement,
// and logs what happened. The session owns the port, the log and the state
// below, and keeps them between files.
class FirmwareTransfer {
public:
    FirmwareTransfer(SerialComm &port, MessageBoxes &boxes, WaitClock &clock, DownloadView &view,
                     SessionLog &log, QString firmwareFolder);

    // Sends firmwareFolder/fileName. True when the loader confirmed the whole
    // file (endMarker before its final ":OK :"); false when the transfer was
    // given up, after the box saying why.
    bool DownloadDataFile(const QString &fileName, const QByteArray &endMarker);

    // The loader must answer within this time before and between packets.
    static constexpr qint64 kSilenceLimitMs = 16000;
    // After the last packet: this many polls 0.1 seconds apart.
    static constexpr int kFinalPolls = 160;

    QString firmwareFolder() const { return m_firmwareFolder; }

    // Session state shared with the session.
    QByteArray sReceived;      // loader text since the last clear
    QByteArray vLastPacket;    // resent when the loader rejects
    qint64 lTotalBytes = 0;    // sizes of the session's firmware files
    qint64 lBytesDone = 0;     // file bytes consumed so far, drives the progress bar
    bool bUnrecognized = false;

private:
    // Handles ":!!" in sReceived: resends the last packet, or gives up when
    // it was resent already. Returns false on give-up.
    bool resendOrGiveUp(bool &retried, int iWasOK);
    void noResponse(int iWasOK);
    void retransmissionFailure(int iWasOK);
    void programError(int iWasOK);
    void logUnrecognized(const QByteArray &item);
    void showProgress(qint64 start, qint64 position);

    SerialComm &m_port;
    MessageBoxes &m_boxes;
    WaitClock &m_clock;
    DownloadView &m_view;
    SessionLog &m_log;
    QString m_firmwareFolder;
};
