#pragma once

#include "DeviceSource.h"

#include <QHash>
#include <QString>

// Adapters as the links in one folder, the way /dev/serial/by-id holds them:
// each link whose target exists is one adapter, named by the link. What the
// system would tell about an adapter (description, serial number, vendor and
// product) can be given per link name; tests point the links at socat
// pseudo-terminals, which the system's own list never shows.
class LinkFolderDeviceSource : public DeviceSource {
public:
    explicit LinkFolderDeviceSource(QString folder);

    // The details of the adapter behind link `name`; its paths are ignored.
    void describe(const QString &name, const SerialDevice &details);

    QList<SerialDevice> devices() const override;
    QString folder() const { return m_folder; }

private:
    QString m_folder;
    QHash<QString, SerialDevice> m_details;
};
