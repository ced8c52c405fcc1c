#include "PortChoice.h"

PortChoice PortChoice::forPort(std::uint8_t port)
{
    PortChoice choice;
    if (port >= 1 && port <= lastOptionPort) {
        choice.option = port;
        choice.listPosition = 0;
    } else if (port >= firstListPort && port <= lastPort) {
        choice.option = otherOption;
        choice.listPosition = port - firstListPort;
    }
    return choice;
}

std::optional<std::int16_t> PortChoice::port() const
{
    if (option >= 1 && option <= lastOptionPort)
        return static_cast<std::int16_t>(option);
    if (option == otherOption && listPosition >= 0 && listPosition < listCount)
        return static_cast<std::int16_t>(portAtListPosition(listPosition));
    return std::nullopt;
}

QString PortChoice::listEntry(int position) { return QStringLiteral("COM %1").arg(portAtListPosition(position)); }

QString PortChoice::toolTip(const PortListing::Entry &entry)
{
    QStringList lines{entry.path};
    QStringList adapter;
    if (!entry.description.isEmpty())
        adapter << entry.description;
    if (!entry.serialNumber.isEmpty())
        adapter << QStringLiteral("serial number %1").arg(entry.serialNumber);
    if (!adapter.isEmpty())
        lines << adapter.join(QStringLiteral(", "));
    if (!entry.present)
        lines << QStringLiteral("No device present");
    return lines.join('\n');
}
