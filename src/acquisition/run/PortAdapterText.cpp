#include "PortAdapterText.h"

#include "SerialDevice.h"
#include "SystemDeviceSource.h"

#include <QFileInfo>
#include <QStringList>

namespace {
QString idAndName(const std::optional<quint16> &id, const QString &name)
{
    QString text = id ? QStringLiteral("%1").arg(*id, 4, 16, QLatin1Char('0')) : QString();
    if (!name.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(" ")) + name;
    return text.isEmpty() ? QStringLiteral("(not known)") : text;
}
} // namespace

QString PortAdapterText::of(const QString &devicePath) { return of(devicePath, SystemDeviceSource().devices()); }

QString PortAdapterText::of(const QString &devicePath, const QList<SerialDevice> &devices)
{
    if (devicePath.isEmpty())
        return QString();
    const QString node = QFileInfo(devicePath).canonicalFilePath();
    for (const SerialDevice &device : devices) {
        const bool same = device.path == devicePath || device.systemPath == devicePath
                          || (!node.isEmpty() && QFileInfo(device.path).canonicalFilePath() == node);
        if (!same)
            continue;
        return QStringList{QStringLiteral("by-id ")
                               + (device.byIdName.isEmpty() ? QStringLiteral("(none)") : device.byIdName),
                           QStringLiteral("vendor ") + idAndName(device.vendorId, device.manufacturer),
                           QStringLiteral("product ") + idAndName(device.productId, device.description),
                           QStringLiteral("serial number ")
                               + (device.serialNumber.isEmpty() ? QStringLiteral("(none)") : device.serialNumber)}
            .join(QStringLiteral("; "));
    }
    return QString();
}
