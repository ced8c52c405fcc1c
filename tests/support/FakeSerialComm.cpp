#include "FakeSerialComm.h"

void FakeSerialComm::setCommPort(std::int16_t port)
{
    if (m_open)
        throw CommError(8005, "Port already open");
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
    } else if (!m_open) {
        throw CommError(8018, "Operation valid only when the port is open");
    }
    m_open = open;
}

void FakeSerialComm::setSettings(const QString &settings) { m_settings = settings; }

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
    QByteArray out = pending;
    pending.clear();
    return out;
}

int FakeSerialComm::inBufferCount()
{
    requireOpen();
    return static_cast<int>(pending.size());
}

void FakeSerialComm::setInBufferCount(int count)
{
    requireOpen();
    if (count == 0)
        pending.clear();
}

void FakeSerialComm::output(const QByteArray &bytes)
{
    requireOpen();
    sent.append(bytes);
    if (onOutput)
        onOutput(bytes);
}
