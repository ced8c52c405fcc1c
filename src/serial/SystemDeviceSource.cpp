#include "SystemDeviceSource.h"

#include "LinkFolderDeviceSource.h"

#include <QRegularExpression>
#include <QSerialPortInfo>

namespace {
void takeDetails(SerialDevice &device, const QSerialPortInfo &info)
{
    device.description = info.description();
    device.manufacturer = info.manufacturer();
    device.serialNumber = info.serialNumber();
    if (info.hasVendorIdentifier())
        device.vendorId = info.vendorIdentifier();
    if (info.hasProductIdentifier())
        device.productId = info.productIdentifier();
}
} // namespace

SystemDeviceSource::SystemDeviceSource(QString byIdFolder) : m_byIdFolder(std::move(byIdFolder)) {}

QString SystemDeviceSource::defaultByIdFolder()
{
    const QString configured = qEnvironmentVariable("HALVERN_SERIAL_BY_ID");
    return configured.isEmpty() ? QStringLiteral("/dev/serial/by-id") : configured;
}

QList<SerialDevice> SystemDeviceSource::devices() const
{
    QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    QList<SerialDevice> found = LinkFolderDeviceSource(m_byIdFolder).devices();
    for (SerialDevice &device : found) {
        for (qsizetype i = 0; i < infos.size(); ++i) {
            if (infos[i].systemLocation() == device.systemPath) {
                takeDetails(device, infos.takeAt(i));
                break;
            }
        }
    }
    // USB devices without a stable link (rare: udev names nearly all of them).
    static const QRegularExpression builtIn(QStringLiteral("^/dev/ttyS\\d+$"));
    for (const QSerialPortInfo &info : std::as_const(infos)) {
        if (!info.hasVendorIdentifier() || builtIn.match(info.systemLocation()).hasMatch())
            continue;
        SerialDevice device;
        device.path = device.systemPath = info.systemLocation();
        takeDetails(device, info);
        found.append(device);
    }
    return found;
}
