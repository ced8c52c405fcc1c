#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// One serial adapter as a device source sees it at the moment.
struct SerialDevice {
    QString path;        // the name to open: the stable link when there is one, else the node
    QString systemPath;  // the device node behind it, e.g. /dev/ttyUSB0
    QString byIdName;    // name of the stable link (as in /dev/serial/by-id), empty without one
    QString description; // the adapter's own product text, when known
    QString manufacturer;
    QString serialNumber;
    std::optional<quint16> vendorId;
    std::optional<quint16> productId;

    // Names that recognise the adapter again after a replug or in another
    // socket, best first: "by-id:<link name>", "usb:<vendor>:<product>:<serial>"
    // (only with a serial number), and "node:<system path>" as the last resort.
    QStringList identities() const
    {
        QStringList names;
        if (!byIdName.isEmpty())
            names << QStringLiteral("by-id:") + byIdName;
        if (vendorId && productId && !serialNumber.isEmpty())
            names << QStringLiteral("usb:%1:%2:%3")
                         .arg(*vendorId, 4, 16, QLatin1Char('0'))
                         .arg(*productId, 4, 16, QLatin1Char('0'))
                         .arg(serialNumber);
        if (names.isEmpty() && !systemPath.isEmpty())
            names << QStringLiteral("node:") + systemPath;
        return names;
    }
};
