#include "AdapterRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <algorithm>

namespace {
constexpr qint64 kLargestFile = 64 * 1024; // far more than 12 lines

QString oneLine(QString text)
{
    for (QChar &c : text) {
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    }
    return text.trimmed();
}
} // namespace

const AdapterRegistry::Entry *AdapterRegistry::Snapshot::at(int port) const
{
    for (const Entry &e : adapters) {
        if (e.port == port)
            return &e;
    }
    return nullptr;
}

AdapterRegistry::AdapterRegistry(QString folder, std::shared_ptr<const DeviceSource> source)
    : m_folder(std::move(folder)), m_source(std::move(source))
{
}

QString AdapterRegistry::fileName() const { return QDir(m_folder).filePath(QStringLiteral("adapters.conf")); }

std::optional<QList<AdapterRegistry::Entry>> AdapterRegistry::read() const
{
    QList<Entry> entries;
    QFile file(fileName());
    if (!file.exists() && !QFileInfo(fileName()).isSymLink())
        return entries;
    if (!file.open(QIODevice::ReadOnly) || file.size() > kLargestFile)
        return std::nullopt;

    // "COM5<TAB>identity<TAB>path<TAB>description<TAB>serial number"
    static const QRegularExpression portField(QStringLiteral("^COM(\\d{1,2})$"));
    static const QRegularExpression identityField(QStringLiteral("^(by-id|usb|node):\\S"));
    QSet<int> ports;
    QSet<QString> identities;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (QByteArray raw : lines) {
        if (raw.endsWith('\r'))
            raw.chop(1);
        const QString line = QString::fromUtf8(raw);
        if (line.trimmed().isEmpty() || line.startsWith('#'))
            continue;
        const QStringList fields = line.split('\t');
        if (fields.size() != 5)
            return std::nullopt;
        const QRegularExpressionMatch m = portField.match(fields[0]);
        Entry e;
        e.port = m.hasMatch() ? m.captured(1).toInt() : 0;
        e.identity = fields[1];
        e.path = fields[2];
        e.description = fields[3];
        e.serialNumber = fields[4];
        if (e.port < firstPort || e.port > lastPort || !identityField.match(e.identity).hasMatch()
            || !e.path.startsWith('/') || ports.contains(e.port) || identities.contains(e.identity))
            return std::nullopt;
        ports.insert(e.port);
        identities.insert(e.identity);
        entries.append(e);
    }
    return entries;
}

bool AdapterRegistry::write(const QList<Entry> &entries) const
{
    if (!QDir().mkpath(m_folder))
        return false;
    QSaveFile file(fileName());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray text = "# The COM numbers Halvern gave serial adapters, one a line: number, identity,\n"
                      "# device, description and serial number, TAB-separated. Written by Halvern;\n"
                      "# to choose a number yourself write \"COMn=/dev/...\" into ports.conf instead.\n";
    for (const Entry &e : entries) {
        text += QStringLiteral("COM%1\t%2\t%3\t%4\t%5\n")
                    .arg(e.port)
                    .arg(oneLine(e.identity), oneLine(e.path), oneLine(e.description), oneLine(e.serialNumber))
                    .toUtf8();
    }
    file.write(text);
    return file.commit();
}

AdapterRegistry::Snapshot AdapterRegistry::refresh(const QHash<int, QString> &portsConf) const
{
    Snapshot snap;
    const QList<SerialDevice> present = m_source ? m_source->devices() : QList<SerialDevice>{};

    const std::optional<QList<Entry>> remembered = read();
    if (!remembered) {
        snap.fileState = FileState::Corrupt;
        snap.unnumbered = present;
        return snap;
    }
    QList<Entry> entries = *remembered;
    bool changed = false;

    // The devices ports.conf already leads to, by their real node.
    QSet<QString> mappedNodes;
    for (const QString &path : portsConf) {
        const QString node = QFileInfo(path).canonicalFilePath();
        if (!node.isEmpty())
            mappedNodes.insert(node);
    }

    QList<SerialDevice> newcomers;
    for (const SerialDevice &device : present) {
        const QStringList names = device.identities();
        auto known = std::find_if(entries.begin(), entries.end(),
                                  [&names](const Entry &e) { return names.contains(e.identity); });
        if (known == entries.end()) {
            if (!mappedNodes.contains(device.systemPath))
                newcomers.append(device);
            continue;
        }
        if (known->present)
            continue; // two devices answer to one name: the first keeps it
        known->present = true;
        if (known->path != device.path || known->description != device.description
            || known->serialNumber != device.serialNumber) {
            known->path = device.path;
            known->description = device.description;
            known->serialNumber = device.serialNumber;
            changed = true;
        }
    }

    QList<Entry> added;
    for (const SerialDevice &device : std::as_const(newcomers)) {
        int port = firstPort;
        auto taken = [&](int p) {
            if (portsConf.contains(p))
                return true;
            auto holds = [p](const Entry &e) { return e.port == p; };
            return std::any_of(entries.cbegin(), entries.cend(), holds)
                   || std::any_of(added.cbegin(), added.cend(), holds);
        };
        while (port <= lastPort && taken(port))
            ++port;
        if (port > lastPort || device.identities().isEmpty()) {
            snap.unnumbered.append(device);
            continue;
        }
        added.append(
            Entry{port, device.identities().constFirst(), device.path, device.description, device.serialNumber, true});
    }

    if (!added.isEmpty() || changed) {
        QList<Entry> all = entries + added;
        std::sort(all.begin(), all.end(), [](const Entry &a, const Entry &b) { return a.port < b.port; });
        if (write(all)) {
            entries = all;
        } else {
            snap.fileState = FileState::Unwritable;
            for (const Entry &e : std::as_const(added)) {
                auto same = std::find_if(present.cbegin(), present.cend(), [&e](const SerialDevice &d) {
                    return d.identities().constFirst() == e.identity;
                });
                if (same != present.cend())
                    snap.unnumbered.append(*same);
            }
        }
    }
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) { return a.port < b.port; });
    snap.adapters = entries;
    return snap;
}
