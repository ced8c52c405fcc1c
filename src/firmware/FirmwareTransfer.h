#pragma once

#include "LoaderReply.h"

#include <QByteArray>
#include <QString>
#include <functional>

class DownloadView;
class MessageBoxes;
class SerialComm;
class SessionLog;
class WaitClock;

// Hands one firmware file to the instrument's loader, packet by packet:
// waits for the loader's ":OK :" and ":LST:01" before each packet, resends
// a rejected packet once, checks the end marker in the final acknowledgement,
// and logs what happened. The session owns the port and the log; the state
// below lives as long as the session and is kept between files.
class FirmwareTransfer {
public:
    enum class Result {
        Done,      // the loader confirmed the whole file
        Failed,    // given up, after the box saying why
        Cancelled, // a wait was ended by the stop request; no box shown
    };

    FirmwareTransfer(SerialComm &port, MessageBoxes &boxes, WaitClock &clock, DownloadView &view, SessionLog &log,
                     QString firmwareFolder);

    // Sends firmwareFolder/fileName. Done when the loader confirmed the whole
    // file (endMarker before its final ":OK :").
    Result sendFile(const QString &fileName, const QByteArray &endMarker);

    // Discards waiting input and the loader's text, sends the packet and
    // remembers it as the one to resend (the session's hold packet).
    void sendPacket(const QByteArray &packet);

    // Asked after every poll of a wait: true ends the wait at once.
    void setStopRequest(std::function<bool()> stopRequested) { m_stopRequested = std::move(stopRequested); }

    // The loader's text since the last clear; the session reads the loader's
    // announcement through it too.
    LoaderReply &reply() { return m_reply; }
    const LoaderReply &reply() const { return m_reply; }

    // Forgets everything of an earlier session.
    void reset();

    QByteArray lastPacket() const { return m_lastPacket; }
    void setLastPacket(const QByteArray &packet) { m_lastPacket = packet; }
    // Sizes of the session's firmware files, and the file bytes consumed so
    // far; together they drive the progress bar.
    qint64 totalBytes() const { return m_totalBytes; }
    void setTotalBytes(qint64 bytes) { m_totalBytes = bytes; }
    qint64 bytesDone() const { return m_bytesDone; }
    void setBytesDone(qint64 bytes) { m_bytesDone = bytes; }
    // An item of a file was not understood (it is in the log).
    bool foundUnrecognized() const { return m_unrecognized; }
    void setFoundUnrecognized(bool found) { m_unrecognized = found; }

    QString firmwareFolder() const { return m_firmwareFolder; }

    // The loader must answer within this time before and between packets.
    static constexpr qint64 kSilenceLimitMs = 16000;
    // After the last packet: this many polls 0.1 seconds apart.
    static constexpr int kFinalPolls = 160;

private:
    enum class Wait { Over, GiveUp, Stop };

    Wait awaitAcknowledgement(bool &retried, int &step);
    Wait awaitPrompt(int &step);
    Wait awaitFinalAcknowledgement(bool &retried, int &step);
    // Handles ":!!": resends the last packet, or gives up when it was resent
    // already. Returns false on give-up.
    bool resendOrGiveUp(bool &retried, int step);
    bool stopRequested() const { return m_stopRequested && m_stopRequested(); }
    void readInput();
    void noResponse(int step);
    void retransmissionFailure(int step);
    void programError(int step);
    void logUnrecognized(const QByteArray &item);
    void showProgress(qint64 start, qint64 position);

    SerialComm &m_port;
    MessageBoxes &m_boxes;
    WaitClock &m_clock;
    DownloadView &m_view;
    SessionLog &m_log;
    QString m_firmwareFolder;
    std::function<bool()> m_stopRequested;

    LoaderReply m_reply;
    QByteArray m_lastPacket;
    qint64 m_totalBytes = 0;
    qint64 m_bytesDone = 0;
    bool m_unrecognized = false;
};
