#pragma once

#include "FakeWaitClock.h"
#include "FakeSerialComm.h"
#include "RecordingMessageBoxes.h"
#include "RecordingView.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "FileContents.h"

// A log's text with every date and time replaced by "NOW".
inline QByteArray withoutTimes(const QByteArray &log)
{
    static const QRegularExpression time(
        "(started at: |completed successfully at: |Session started: |Session ended: )[^\r]*?(?= \\*|\r\n)");
    return QString::fromLatin1(log).replace(time, "\\1NOW").toLatin1();
}

// An instrument loader for the fake serial port: answers the n-th packet
// sent with replies[n] (or ":OK :" and ":LST:01" once the list runs out).
struct ScriptedLoader {
    explicit ScriptedLoader(FakeSerialComm &port) : port(port)
    {
        port.onOutput = [this](const QByteArray &) {
            const QByteArray reply = outputs < replies.size() ? replies[outputs] : QByteArray(":OK :\r\n:LST:01");
            ++outputs;
            this->port.pending += reply;
        };
    }
    FakeSerialComm &port;
    QList<QByteArray> replies;
    int outputs = 0;
};
