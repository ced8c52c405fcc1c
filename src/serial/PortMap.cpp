#include "PortMap.h"

#include "SerialComm.h"
#include "SystemDeviceSource.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

PortMap::PortMap(const QString &folder, std::shared_ptr<const DeviceSource> adapters) : m_folder(folder)
{
    if (adapters)
        m_adapters.emplace(folder, std::move(adapters));
}

PortMap PortMap::withSystemAdapters(const QString &folder)
{
    return PortMap(folder, std::make_shared<SystemDeviceSource>());
}

QString PortMap::defaultPath(std::int16_t port) { return QStringLiteral("/dev/ttyS%1").arg(port - 1); }

QString PortMap::fileName() const { return QDir(m_folder).filePath(QStringLiteral("ports.conf")); }

QString PortMap::adaptersFileName() const { return AdapterRegistry(m_folder, nullptr).fileName(); }

std::optional<PortMap::Override> PortMap::parseLine(const QString &line)
{
    // "COM5=/dev/ttyUSB0"; blanks around the '=' are allowed, the device is an
    // absolute path.
    static const QRegularExpression form(QStringLiteral("^COM(\\d{1,2})\\s*=\\s*(/.*)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QString text = line.trimmed();
    if (text.isEmpty() || text.startsWith('#'))
        return std::nullopt;
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const int port = m.captured(1).toInt();
    if (!isValidPort(port))
        return std::nullopt;
    return Override{port, m.captured(2).trimmed()};
}

QHash<int, QString> PortMap::overrides() const
{
    QHash<int, QString> map;
    QFile file(fileName());
    // Not in text mode: Qt's line-end translation drops a CR inside a line in
    // some places of the file and not in others. Lines end at LF; the CR of
    // a CR LF goes with the blanks at the line's end.
    if (!file.open(QIODevice::ReadOnly))
        return map;
    // A later line for the same number wins.
    while (!file.atEnd()) {
        if (const auto entry = parseLine(QString::fromUtf8(file.readLine())))
            map.insert(entry->port, entry->device);
    }
    return map;
}

AdapterRegistry::Snapshot PortMap::adapters(const QHash<int, QString> &portsConf) const
{
    return m_adapters ? m_adapters->refresh(portsConf) : AdapterRegistry::Snapshot{};
}

PortMap::Mapping PortMap::mapping(std::int16_t port) const
{
    if (!isValidPort(port))
        throw CommError(8002, QStringLiteral("Invalid port number: COM%1 (ports 1 to 16 exist)").arg(port));
    const QHash<int, QString> portsConf = overrides();
    if (portsConf.contains(port) || port < AdapterRegistry::firstPort || !m_adapters)
        return mapping(port, portsConf, {});
    return mapping(port, portsConf, adapters(portsConf));
}

PortMap::Mapping PortMap::mapping(std::int16_t port, const QHash<int, QString> &portsConf,
                                  const AdapterRegistry::Snapshot &adapters) const
{
    if (!isValidPort(port))
        throw CommError(8002, QStringLiteral("Invalid port number: COM%1 (ports 1 to 16 exist)").arg(port));
    if (const auto it = portsConf.constFind(port); it != portsConf.cend())
        return {*it, Source::PortsConf};
    if (const AdapterRegistry::Entry *adapter = adapters.at(port))
        return {adapter->path, Source::Remembered};
    return {defaultPath(port), Source::BuiltIn};
}
