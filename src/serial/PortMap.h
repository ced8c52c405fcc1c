#pragma once

#include <QHash>
#include <QString>
#include <cstdint>
#include <optional>

// Maps COM port numbers 1 to 16 to device paths. COM n is /dev/ttyS<n-1>
// unless the file "ports.conf" in the settings folder names another device,
// one "COMn=/path" a line (for example COM5=/dev/ttyUSB0). The file is only
// ever read, afresh on every look-up, so an edit takes effect at the next
// open. Blank lines, lines starting with '#' and malformed lines are ignored.
class PortMap {
public:
    static constexpr std::int16_t firstPort = 1;
    static constexpr std::int16_t lastPort = 16;

    // folder: where "ports.conf" lives (AppSettings::folder() in the program).
    explicit PortMap(const QString &folder);

    static bool isValidPort(int port) { return port >= firstPort && port <= lastPort; }
    // "/dev/ttyS<port-1>".
    static QString defaultPath(std::int16_t port);

    // The device of a COM number; a number outside 1 to 16 throws CommError 8002.
    QString devicePath(std::int16_t port) const;
    // The overrides "ports.conf" holds now, by port number.
    QHash<int, QString> overrides() const;

    struct Override {
        int port;
        QString device;
    };
    // One line of the file, without its line end: the port and device it
    // names, or nothing for a blank, comment or malformed line.
    static std::optional<Override> parseLine(const QString &line);

    QString folder() const { return m_folder; }
    QString fileName() const;

private:
    QString m_folder;
};
