#include "PortMap.h"

#include "SerialComm.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

PortMap::PortMap(const QString &folder) : m_folder(folder) {}

QString PortMap::defaultPath(std::int16_t port) { return QStringLiteral("/dev/ttyS%1").arg(port - 1); }

QString PortMap::fileName() const { return QDir(m_folder).filePath(QStringLiteral("ports.conf")); }

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

QString PortMap::devicePath(std::int16_t port) const
{
    if (!isValidPort(port))
        throw CommError(8002, QStringLiteral("Invalid port number: COM%1 (ports 1 to 16 exist)").arg(port));
    return overrides().value(port, defaultPath(port));
}
