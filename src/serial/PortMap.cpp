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

QHash<int, QString> PortMap::overrides() const
{
    QHash<int, QString> map;
    QFile file(fileName());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return map;

    // "COM5=/dev/ttyUSB0"; blanks around the '=' are allowed, the device is an
    // absolute path. A later line for the same number wins.
    static const QRegularExpression line(QStringLiteral("^COM(\\d{1,2})\\s*=\\s*(/.*)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    while (!file.atEnd()) {
        const QString text = QString::fromUtf8(file.readLine()).trimmed();
        if (text.isEmpty() || text.startsWith('#'))
            continue;
        const QRegularExpressionMatch m = line.match(text);
        if (!m.hasMatch())
            continue;
        const int port = m.captured(1).toInt();
        if (isValidPort(port))
            map.insert(port, m.captured(2).trimmed());
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
