#include "FakeSerialComm.h"

#include "SerialSettings.h"

void FakeSerialComm::setCommPort(std::int16_t port)
{
    if (m_open)
        throw CommError(8000, "Operation not valid while the port is opened");
    if (port < 1 || port > 16)
        throw CommError(8002, "Invalid port number");
    m_port = port;
}

void FakeSerialComm::setPortOpen(bool open)
{
    if (open) {
        if (m_open)
            throw CommError(8005, "Port already open");
        if (failOpen) {
            auto f = std::move(failOpen);
            failOpen = nullptr;
            f();
        }
        ++openCount;
    }
    m_open = open; // closing a closed port is harmless
}

void FakeSerialComm::setSettings(const QString &settings)
{
    m_settings = SerialSettings::parseOrThrow(settings).format();
}

void FakeSerialComm::requireOpen() const
{
    if (!m_open)
        throw CommError(8018, "Operation valid only when the port is open");
}

QByteArray FakeSerialComm::input()
{
    requireOpen();
    if (failInput) {
        auto f = std::move(failInput);
        failInput = nullptr;
        f();
    }
    const qsizetype n = m_inputLen > 0 ? qMin<qsizetype>(m_inputLen, pending.size()) : pending.size();
    QByteArray out = pending.left(n);
    pending.remove(0, n);
    return out;
}

int FakeSerialComm::inBufferCount()
{
    requireOpen();
    return static_cast<int>(pending.size());
}

void FakeSerialComm::setInBufferCount(int count)
{
    if (count != 0)
        throw CommError(380, "Invalid property value");
    requireOpen();
    pending.clear();
}

void FakeSerialComm::output(const QByteArray &bytes)
{
    requireOpen();
    sent.append(bytes);
    if (onOutput)
        onOutput(bytes);
}

void FakeSerialComm::setInputLen(int len)
{
    if (len < 0)
        throw CommError(380, "Invalid property value");
    m_inputLen = len;
}

void FakeSerialComm::setInputMode(int mode)
{
    if (mode != 0 && mode != 1)
        throw CommError(380, "Invalid property value");
    m_inputMode = mode;
}
