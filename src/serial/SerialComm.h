#pragma once

#include "OpenFailure.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <stdexcept>

// A failure of the serial component: a number and a description, which the
// firmware updater shows to the user.
class CommError : public std::runtime_error {
public:
    CommError(int number, const QString &description)
        : std::runtime_error(description.toStdString()), m_number(number), m_description(description)
    {
    }
    int number() const { return m_number; }
    QString description() const { return m_description; }

private:
    int m_number;
    QString m_description;
};

// The program's one serial port, as the main window and the firmware updater
// use it. Polled: nothing is delivered by events. Text is bytes, one byte a
// character. Every failing access throws CommError.
class SerialComm {
public:
    virtual ~SerialComm() = default;

    // Port number, COM1 = 1; set while closed. A refused number throws.
    virtual std::int16_t commPort() const = 0;
    virtual void setCommPort(std::int16_t port) = 0;

    // True opens the port with the current settings, False closes it.
    virtual bool portOpen() const = 0;
    virtual void setPortOpen(bool open) = 0;

    // "9600,N,8,1": baud, parity (N/E/O/M/S), data bits (5-8), stop bits (1, 1.5, 2).
    virtual QString settings() const = 0;
    virtual void setSettings(const QString &settings) = 0;

    // Everything waiting, removed from the buffer; empty when nothing waits.
    // Never blocks.
    virtual QByteArray input() = 0;
    // Characters waiting; setting 0 discards them.
    virtual int inBufferCount() = 0;
    virtual void setInBufferCount(int count) = 0;
    // Sends the bytes at once.
    virtual void output(const QByteArray &bytes) = 0;

    // 0 and 0 make input() return everything as text; kept for the firmware
    // updater, which saves and restores them.
    virtual int inputLen() const = 0;
    virtual void setInputLen(int len) = 0;
    virtual int inputMode() const = 0;
    virtual void setInputMode(int mode) = 0;

    // Why the last PortOpen = True failed, for the user (kind None after a
    // successful open).
    virtual OpenFailure lastOpenFailure() const { return {}; }
    // The device path the port was last opened on, as the COM map gave it
    // (a stable by-id link for an adapter): what to watch for when it vanishes.
    virtual QString openedDevicePath() const { return {}; }
};
