#pragma once

#include <QList>
#include <QString>

struct SerialDevice;

// What a run's summary says of the USB adapter behind its port: its stable
// by-id name, vendor, product and serial number.
class PortAdapterText {
public:
    // The adapter among the system's at `devicePath` (its by-id link or its
    // node); empty when the port is no USB adapter or it has gone.
    static QString of(const QString &devicePath);
    // The same among `devices`.
    static QString of(const QString &devicePath, const QList<SerialDevice> &devices);
};
