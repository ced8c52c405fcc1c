#pragma once

#include "SerialComm.h"

#include <QByteArray>
#include <QList>
#include <functional>

// A serial component for logic tests: tests feed the bytes the "instrument"
// sends, read back what was sent, and make any access fail. It keeps the
// rules of MSComm (tests/serial/SerialContractTest.cpp holds both to them);
// unlike it, input() hands over everything pending, not at most 1024 bytes.
class FakeSerialComm : public SerialComm {
public:
    std::int16_t commPort() const override { return m_port; }
    void setCommPort(std::int16_t port) override;
    bool portOpen() const override { return m_open; }
    void setPortOpen(bool open) override;
    QString settings() const override { return m_settings; }
    void setSettings(const QString &settings) override;
    QByteArray input() override;
    int inBufferCount() override;
    void setInBufferCount(int count) override;
    void output(const QByteArray &bytes) override;
    int inputLen() const override { return m_inputLen; }
    void setInputLen(int len) override;
    int inputMode() const override { return m_inputMode; }
    void setInputMode(int mode) override;
    OpenFailure lastOpenFailure() const override { return openFailure; }
    QString openedDevicePath() const override { return openCount > 0 ? devicePath : QString(); }

    // Bytes the instrument has sent and the program not yet read.
    QByteArray pending;
    // Every packet passed to output(), in order.
    QList<QByteArray> sent;
    // When set, the next access of that kind throws this error (once).
    std::function<void()> failOpen;  // called by setPortOpen(true); may throw
    std::function<void()> failInput; // called by input(); may throw
    // Called after each output(), e.g. to queue the peer's answer.
    std::function<void(const QByteArray &)> onOutput;
    int openCount = 0;
    // What lastOpenFailure() tells.
    OpenFailure openFailure;
    // What openedDevicePath() tells once the port was opened (nothing unless set).
    QString devicePath;

private:
    void requireOpen() const;

    std::int16_t m_port = 1;
    bool m_open = false;
    QString m_settings = QStringLiteral("9600,N,8,1");
    int m_inputLen = 0;
    int m_inputMode = 0;
};
