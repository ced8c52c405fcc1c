#include "LinkFolderDeviceSource.h"

#include <QDir>
#include <QFileInfo>

LinkFolderDeviceSource::LinkFolderDeviceSource(QString folder) : m_folder(std::move(folder)) {}

void LinkFolderDeviceSource::describe(const QString &name, const SerialDevice &details)
{
    m_details.insert(name, details);
}

QList<SerialDevice> LinkFolderDeviceSource::devices() const
{
    QList<SerialDevice> found;
    const QDir dir(m_folder);
    const QStringList names = dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        const QFileInfo link(dir.filePath(name));
        if (!link.isSymLink())
            continue;
        const QString target = link.canonicalFilePath(); // empty when the link dangles
        if (target.isEmpty())
            continue;
        SerialDevice device = m_details.value(name);
        device.path = link.absoluteFilePath();
        device.systemPath = target;
        device.byIdName = name;
        found.append(device);
    }
    return found;
}
