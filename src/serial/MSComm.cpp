#include "MSComm.h"

#include "PortAccess.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <poll.h>

namespace {
// The longest output() waits for the device to take the bytes; whatever is left
// goes out from the event loop. The kernel normally takes a whole packet at once.
constexpr int kWriteWaitMs = 500;
OpenFailure refusedSettings(const QString &port, const QString &path, const QString &why)
{
    return {OpenFailure::Kind::Refused, QStringLiteral("%1 (%2) refuses the line settings (%3).").arg(port, path, why)};
}
} // namespace

MSComm::MSComm(const PortMap &portMap, QObject *parent) : QObject(parent), m_portMap(portMap)
{
    connect(&m_port, &QSerialPort::errorOccurred, this, &MSComm::onErrorOccurred);
}

MSComm::~MSComm()
{
    if (m_port.isOpen())
        m_port.close();
}

QString MSComm::portText() const { return QStringLiteral("COM%1 (%2)").arg(m_commPort).arg(m_device); }

void MSComm::setCommPort(std::int16_t port)
{
    if (portOpen())
        throw CommError(8000, QStringLiteral("Operation not valid while the port is opened: "
                                             "the port number cannot change while %1 is open")
                                  .arg(portText()));
    if (!PortMap::isValidPort(port))
        throw CommError(8002, QStringLiteral("Invalid port number: COM%1 (ports 1 to 16 exist)").arg(port));
    // A lost device still held by Qt goes now; the caller has moved on.
    if (m_port.isOpen())
        m_port.close();
    m_lost = false;
    m_commPort = port;
}

bool MSComm::portOpen() const { return m_port.isOpen() && !m_lost; }

void MSComm::setPortOpen(bool open)
{
    if (!open) {
        // Closing a closed port is harmless.
        if (m_port.isOpen())
            m_port.close();
        m_lost = false;
        return;
    }

    if (portOpen())
        throw CommError(8005, QStringLiteral("Port already open: %1").arg(portText()));
    if (m_port.isOpen())
        m_port.close();
    m_lost = false;

    m_lastFailure = {};
    const QString path = m_portMap.devicePath(m_commPort);
    m_device = path;
    const QString comText = QStringLiteral("COM%1").arg(m_commPort);
    const QFileInfo info(path);
    if (!info.exists()) {
        m_lastFailure = PortAccess::missing(comText, path);
        throw CommError(8010, QStringLiteral("The hardware is not available: the device %1 for COM%2 does not exist")
                                  .arg(path)
                                  .arg(m_commPort));
    }

    // Open the real device behind any link, so that two names of one device
    // share one lock and the second opening is refused as "in use".
    m_port.setPortName(info.canonicalFilePath());
    applyLineSettings(m_settings); // stored only; applied and checked by open()
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.setReadBufferSize(kReceiveBufferSize);
    m_deviceErrorReports = 0;
    ++m_openCount;

    if (m_port.open(QIODevice::ReadWrite)) {
        // open() does not say whether the device took the line settings;
        // setting them again on the open port does.
        if (applyLineSettings(m_settings))
            return;
        const QString why = m_port.errorString();
        m_port.close();
        m_port.clearError();
        m_lastFailure = refusedSettings(comText, path, why);
        throw CommError(8015, QStringLiteral("Could not set comm state: the device %1 for COM%2 refuses the "
                                             "settings \"%3\" (%4)")
                                  .arg(path)
                                  .arg(m_commPort)
                                  .arg(m_settings.format(), why));
    }

    const QSerialPort::SerialPortError error = m_port.error();
    const QString why = m_port.errorString();
    if (m_port.isOpen())
        m_port.close();
    m_port.clearError();
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        m_lastFailure = PortAccess::missing(comText, path);
        throw CommError(8010, QStringLiteral("The hardware is not available: the device %1 for COM%2 does not exist")
                                  .arg(path)
                                  .arg(m_commPort));
    case QSerialPort::PermissionError:
        m_lastFailure = PortAccess::explainRefusal(comText, path);
        throw CommError(8005, QStringLiteral("Port already open: the device %1 for COM%2 is in use by another "
                                             "program or may not be opened by this user (%3)")
                                  .arg(path)
                                  .arg(m_commPort)
                                  .arg(why));
    case QSerialPort::UnsupportedOperationError:
        m_lastFailure = refusedSettings(comText, path, why);
        throw CommError(8015, QStringLiteral("Could not set comm state: the device %1 for COM%2 refuses the "
                                             "settings \"%3\" (%4)")
                                  .arg(path)
                                  .arg(m_commPort)
                                  .arg(m_settings.format(), why));
    default:
        m_lastFailure = {OpenFailure::Kind::Other,
                         QStringLiteral("%1 (%2) cannot be opened: %3.").arg(comText, path, why)};
        throw CommError(8010, QStringLiteral("The hardware is not available: the device %1 for COM%2 cannot be "
                                             "opened (%3)")
                                  .arg(path)
                                  .arg(m_commPort)
                                  .arg(why));
    }
}

bool MSComm::applyLineSettings(const SerialSettings &s)
{
    QSerialPort::Parity parity = QSerialPort::NoParity;
    switch (s.parity) {
    case SerialSettings::Parity::None:
        parity = QSerialPort::NoParity;
        break;
    case SerialSettings::Parity::Even:
        parity = QSerialPort::EvenParity;
        break;
    case SerialSettings::Parity::Odd:
        parity = QSerialPort::OddParity;
        break;
    case SerialSettings::Parity::Mark:
        parity = QSerialPort::MarkParity;
        break;
    case SerialSettings::Parity::Space:
        parity = QSerialPort::SpaceParity;
        break;
    }
    // A UART sends 1.5 stop bits when asked for 2 with 5 data bits (the only
    // combination in which 1.5 is allowed), so 1.5 is requested as 2.
    const QSerialPort::StopBits stop =
        s.stopBits == SerialSettings::StopBits::One ? QSerialPort::OneStop : QSerialPort::TwoStop;
    bool ok = m_port.setBaudRate(s.baud);
    ok = m_port.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits)) && ok;
    ok = m_port.setParity(parity) && ok;
    ok = m_port.setStopBits(stop) && ok;
    return ok;
}

void MSComm::setSettings(const QString &text)
{
    const SerialSettings s = SerialSettings::parseOrThrow(text);
    if (portOpen() && !applyLineSettings(s)) {
        const QString why = m_port.errorString();
        applyLineSettings(m_settings); // back to what the port had
        m_port.clearError();
        throw CommError(8015, QStringLiteral("Could not set comm state: the device %1 refuses the settings \"%2\" (%3)")
                                  .arg(portText(), s.format(), why));
    }
    m_settings = s;
}

void MSComm::onErrorOccurred(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ReadError && error != QSerialPort::WriteError && error != QSerialPort::ResourceError)
        return;
    if (!m_port.isOpen())
        return;
    ++m_deviceErrorReports;
    if (!m_lost)
        markLost(m_port.errorString());
}

void MSComm::markLost(const QString &reason)
{
    m_lost = true;
    m_lostReason = reason;
    // Qt reports the error from inside its own read handling, which still uses
    // the port after the signal returns: close right after it, not within it.
    // Until then portOpen() is already false and the notifier fires at most a
    // few more times.
    const quint64 opening = m_openCount;
    QMetaObject::invokeMethod(
        this,
        [this, opening] {
            if (opening == m_openCount && m_port.isOpen())
                m_port.close();
        },
        Qt::QueuedConnection);
}

bool MSComm::hungUp() const
{
    // Without a running event loop Qt has not noticed a vanished device yet;
    // the descriptor says so at once.
    pollfd p{};
    p.fd = m_port.handle();
    p.events = POLLIN;
    if (p.fd < 0 || ::poll(&p, 1, 0) <= 0)
        return false;
    return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void MSComm::requireOpen()
{
    if (!m_lost && m_port.isOpen() && hungUp())
        markLost(QStringLiteral("hang-up"));
    if (m_lost) {
        const QString reason = m_lostReason;
        m_lost = false;
        if (m_port.isOpen())
            m_port.close();
        throw CommError(8020, QStringLiteral("Error reading comm device: the device %1 was lost and the port "
                                             "has been closed (%2)")
                                  .arg(portText(), reason));
    }
    if (!m_port.isOpen())
        throw CommError(8018, QStringLiteral("Operation valid only when the port is open (COM%1)").arg(m_commPort));
}

QByteArray MSComm::input()
{
    requireOpen();
    return m_inputLen > 0 ? m_port.read(m_inputLen) : m_port.readAll();
}

int MSComm::inBufferCount()
{
    requireOpen();
    return static_cast<int>(m_port.bytesAvailable());
}

void MSComm::setInBufferCount(int count)
{
    if (count != 0)
        throw CommError(380, QStringLiteral("Invalid property value: the receive buffer count can only be set to 0"));
    requireOpen();
    // Empties Qt's buffer and the kernel's queue.
    m_port.clear(QSerialPort::Input);
}

void MSComm::output(const QByteArray &bytes)
{
    requireOpen();
    if (bytes.isEmpty())
        return;
    if (m_port.write(bytes) != bytes.size())
        throw CommError(
            8020, QStringLiteral("Error writing comm device (COM%1): %2").arg(m_commPort).arg(m_port.errorString()));
    const QDeadlineTimer deadline(kWriteWaitMs);
    while (m_port.bytesToWrite() > 0 && !m_lost && !deadline.hasExpired()) {
        if (!m_port.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            break;
    }
    if (m_port.error() == QSerialPort::TimeoutError)
        m_port.clearError();
    if (m_lost)
        requireOpen(); // throws the lost-device error
}

void MSComm::setInputLen(int len)
{
    if (len < 0)
        throw CommError(380, QStringLiteral("Invalid property value: InputLen cannot be negative"));
    m_inputLen = len;
}

void MSComm::setInputMode(int mode)
{
    if (mode != 0 && mode != 1)
        throw CommError(380, QStringLiteral("Invalid property value: InputMode is 0 (text) or 1 (binary)"));
    m_inputMode = mode;
}
