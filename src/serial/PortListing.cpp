#include "PortListing.h"

#include "PortAccess.h"

#include <QFileInfo>
#include <sys/stat.h>

namespace {
bool deviceThere(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISCHR(st.st_mode);
}

QString dashIfEmpty(const QString &text) { return text.isEmpty() ? QStringLiteral("-") : text; }
} // namespace

QList<PortListing::Entry> PortListing::entries(const PortMap &map, bool checkAccess, AdapterRegistry::Snapshot *seen)
{
    const QHash<int, QString> portsConf = map.overrides();
    const AdapterRegistry::Snapshot adapters = map.adapters(portsConf);
    if (seen)
        *seen = adapters;

    QList<Entry> all;
    for (int port = PortMap::firstPort; port <= PortMap::lastPort; ++port) {
        const PortMap::Mapping m = map.mapping(static_cast<std::int16_t>(port), portsConf, adapters);
        Entry e;
        e.port = port;
        e.path = m.path;
        e.source = m.source;
        e.present = deviceThere(m.path);
        if (m.source == PortMap::Source::Remembered) {
            const AdapterRegistry::Entry *a = adapters.at(port);
            e.description = a->description;
            e.serialNumber = a->serialNumber;
        } else {
            // ports.conf may name an adapter Halvern knows by another name.
            const QString node = QFileInfo(m.path).canonicalFilePath();
            for (const AdapterRegistry::Entry &a : adapters.adapters) {
                if (a.present && !node.isEmpty() && QFileInfo(a.path).canonicalFilePath() == node) {
                    e.description = a.description;
                    e.serialNumber = a.serialNumber;
                }
            }
            for (const SerialDevice &d : adapters.unnumbered) {
                if (!node.isEmpty() && d.systemPath == node) {
                    e.description = d.description;
                    e.serialNumber = d.serialNumber;
                }
            }
        }

        e.access = e.present ? Access::Yes : Access::Absent;
        if (!e.present) {
            e.accessText = PortAccess::missing(QStringLiteral("COM%1").arg(port), e.path).text;
        } else if (checkAccess) {
            if (!PortAccess::permitted(e.path)) {
                e.access = Access::Permission;
                e.accessText = PortAccess::explainRefusal(QStringLiteral("COM%1").arg(port), e.path).text;
            } else if (const auto owner = PortAccess::lockOwner(e.path)) {
                e.access = Access::InUse;
                e.accessText = PortAccess::explainRefusal(QStringLiteral("COM%1").arg(port), e.path).text;
            }
        }
        all.append(e);
    }
    return all;
}

QList<PortListing::Entry> PortListing::listed(const QList<Entry> &all)
{
    QList<Entry> shown;
    for (const Entry &e : all) {
        if (e.port < AdapterRegistry::firstPort || e.source != PortMap::Source::BuiltIn || e.present)
            shown.append(e);
    }
    return shown;
}

QString PortListing::sourceName(PortMap::Source source)
{
    switch (source) {
    case PortMap::Source::BuiltIn:
        return QStringLiteral("built-in");
    case PortMap::Source::Remembered:
        return QStringLiteral("remembered");
    case PortMap::Source::PortsConf:
        return QStringLiteral("ports.conf");
    }
    return {};
}

QString PortListing::accessName(Access access)
{
    switch (access) {
    case Access::Yes:
        return QStringLiteral("yes");
    case Access::Absent:
        return QStringLiteral("no: absent");
    case Access::Permission:
        return QStringLiteral("no: permission");
    case Access::InUse:
        return QStringLiteral("no: in use");
    }
    return {};
}

QString PortListing::table(const QList<Entry> &listed)
{
    QList<QStringList> rows{{"COM", "Device", "Description", "Serial number", "Mapping", "May open"}};
    for (const Entry &e : listed)
        rows.append({QStringLiteral("COM%1").arg(e.port), e.path, dashIfEmpty(e.description),
                     dashIfEmpty(e.serialNumber), sourceName(e.source), accessName(e.access)});
    QList<qsizetype> widths(rows.first().size(), 0);
    for (const QStringList &row : rows) {
        for (qsizetype c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    }
    QString text;
    for (const QStringList &row : rows) {
        QString line;
        for (qsizetype c = 0; c < row.size(); ++c)
            line += c + 1 < row.size() ? row[c].leftJustified(widths[c] + 2) : row[c];
        text += line + '\n';
    }
    bool first = true;
    for (const Entry &e : listed) {
        if (e.access == Access::Yes || e.access == Access::Absent)
            continue;
        if (first)
            text += '\n';
        first = false;
        text += e.accessText + '\n';
    }
    return text;
}

QString PortListing::remarks(const PortMap &map, const AdapterRegistry::Snapshot &snap)
{
    if (!map.hasAdapters())
        return {};
    QString text;
    if (snap.fileState == AdapterRegistry::FileState::Corrupt)
        text += QStringLiteral("%1 is damaged and ignored: adapters get no COM number until it is deleted.\n")
                    .arg(map.adaptersFileName());
    if (snap.fileState == AdapterRegistry::FileState::Unwritable)
        text += QStringLiteral("%1 cannot be written: new adapters get no COM number.\n").arg(map.adaptersFileName());
    for (const SerialDevice &d : snap.unnumbered) {
        if (snap.fileState == AdapterRegistry::FileState::Fine)
            text += QStringLiteral("%1 has no COM number: all of COM5 to COM16 are taken.\n").arg(d.path);
    }
    return text;
}
