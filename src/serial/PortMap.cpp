#include "PortMap.h"

#include "SerialComm.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

PortMap::PortMap(const QString &folder) : m_folder(folder) {}

QString PortMap::defaultPath(std::int16_t port) { return QStringLiteral("/dev/ttyS%1").arg(port - 1); }

QString PortMap::fileName() const { return QDir(m_folder).filePath(QStringLiteral("ports.conf")); }

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

QString PortMap::devicePath(std::int16_t port) const
{
    if (!isValidPort(port))
        throw CommError(8002, QStringLiteral("Invalid port number: COM%1 (ports 1 to 16 exist)").arg(port));
    return overrides().value(port, defaultPath(port));
}
