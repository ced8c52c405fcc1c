#pragma once

#include "AdapterRegistry.h"

#include <QHash>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

class DeviceSource;

// Maps COM port numbers 1 to 16 to device paths, first match wins:
//  1. the file "ports.conf" in the settings folder, one "COMn=/path" a line
//     (for example COM5=/dev/ttyUSB0). The file is only ever read, afresh on
//     every look-up, so an edit takes effect at the next open. Blank lines,
//     lines starting with '#' and malformed lines are ignored.
//  2. the serial adapters Halvern numbered by itself (AdapterRegistry), when
//     the map was made with a device source: COM 5 to 16.
//  3. built in: COM n is /dev/ttyS<n-1>.
class PortMap {
public:
    static constexpr std::int16_t firstPort = 1;
    static constexpr std::int16_t lastPort = 16;

    enum class Source { BuiltIn, Remembered, PortsConf };

    // Where one COM number leads and why.
    struct Mapping {
        QString path;
        Source source = Source::BuiltIn;
    };

    // folder: where "ports.conf" lives (AppSettings::folder() in the program).
    // Without a device source no adapter is numbered.
    explicit PortMap(const QString &folder, std::shared_ptr<const DeviceSource> adapters = {});
    // The program's map: adapters from the system (SystemDeviceSource).
    static PortMap withSystemAdapters(const QString &folder);

    static bool isValidPort(int port) { return port >= firstPort && port <= lastPort; }
    // "/dev/ttyS<port-1>".
    static QString defaultPath(std::int16_t port);

    // The device of a COM number; a number outside 1 to 16 throws CommError 8002.
    // Looks at the adapters present when the number may be an adapter's.
    QString devicePath(std::int16_t port) const { return mapping(port).path; }
    Mapping mapping(std::int16_t port) const;
    // The same, from what one look at the adapters found.
    Mapping mapping(std::int16_t port, const QHash<int, QString> &portsConf,
                    const AdapterRegistry::Snapshot &adapters) const;

    // The overrides "ports.conf" holds now, by port number.
    QHash<int, QString> overrides() const;
    // One look at the adapters (numbering new ones); empty without a device source.
    AdapterRegistry::Snapshot adapters(const QHash<int, QString> &portsConf) const;
    bool hasAdapters() const { return m_adapters.has_value(); }

    struct Override {
        int port;
        QString device;
    };
    // One line of the file, without its line end: the port and device it
    // names, or nothing for a blank, comment or malformed line.
    static std::optional<Override> parseLine(const QString &line);

    QString folder() const { return m_folder; }
    QString fileName() const;
    QString adaptersFileName() const;

private:
    QString m_folder;
    std::optional<AdapterRegistry> m_adapters;
};
