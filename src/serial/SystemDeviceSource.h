#pragma once

#include "DeviceSource.h"

#include <QString>

// The adapters the system knows: every link in the stable-name folder
// (udev's /dev/serial/by-id), with what QSerialPortInfo tells about its
// device, and every other USB serial device QSerialPortInfo lists.
class SystemDeviceSource : public DeviceSource {
public:
    explicit SystemDeviceSource(QString byIdFolder = defaultByIdFolder());

    // "/dev/serial/by-id", or the folder HALVERN_SERIAL_BY_ID names.
    static QString defaultByIdFolder();

    QList<SerialDevice> devices() const override;

private:
    QString m_byIdFolder;
};
