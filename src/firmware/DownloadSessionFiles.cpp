#include "DownloadSession.h"

#include "FirmwareText.h"
#include "ItemReader.h"
#include "MessageBoxes.h"

#include <QFile>
#include <QFileInfo>
#include <cstdint>

// The firmware files an update reads before it talks to the loader: the hold
// packet, the loader's version header and the sizes of the files it sends.

QString DownloadSession::firmwarePath(const QString &name) const { return m_transfer.firmwareFolder() + "/" + name; }

// Size of a firmware file, 0 when it is absent or cannot be read.
qint64 DownloadSession::sizeOf(const QString &name) const
{
    const QFileInfo info(firmwarePath(name));
    return info.isFile() && info.isReadable() ? info.size() : 0;
}

bool DownloadSession::readHoldPacket()
{
    const QString path = firmwarePath("hold.ldf");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_boxes.show("When opening file: " + path + ", got Error: " + file.errorString(),
                     "File OPEN Error #: " + QString::number(int(file.error())));
        return false;
    }
    ItemReader reader(&file);
    bool found = false;
    while (!found && !reader.atEnd()) {
        const QByteArray item = FirmwareText::stripLeadingBlanks(reader.next());
        if (reader.readError())
            break;
        if (FirmwareText::kindOf(item) != FirmwareText::ItemKind::Packet)
            continue;
        m_holdPacket = FirmwareText::byteArrayOf(QByteArrayView(item).sliced(4), m_boxes);
        // A packet item without any byte is passed over like any other item.
        found = !m_holdPacket.isEmpty();
    }
    if (reader.readError()) {
        m_boxes.show("When opening file: " + path + ", got Error: " + file.errorString(),
                     "File OPEN Error #: " + QString::number(int(file.error())));
        return false;
    }
    file.close();
    if (!found) {
        m_boxes.show("No byte stream definition found in file: " + path, "File CONTENTS error:");
        return false;
    }
    return true;
}

bool DownloadSession::readLoaderHeader()
{
    QFile file(firmwarePath("lf.ldf"));
    if (!file.open(QIODevice::ReadOnly))
        return true; // no loader file: nothing to compare, nothing to send
    ItemReader reader(&file);
    while (!reader.atEnd()) {
        QByteArray item = FirmwareText::stripLeadingBlanks(reader.next());
        if (reader.readError() || item.isEmpty()) {
            if (reader.readError())
                break;
            continue;
        }
        if (item.startsWith(';')) {
            const QByteArray comment = FirmwareText::stripLeadingBlanks(QByteArrayView(item).sliced(1));
            if (FirmwareText::startsWith(comment, "version")) {
                m_lfVersion = FirmwareText::stripLeadingBlanks(QByteArrayView(comment).sliced(7));
                break;
            }
            continue;
        }
        if (item.startsWith(':'))
            continue;
        break; // the header ends at the first data item
    }
    m_lfLength = file.size();
    file.close();
    if (m_lfVersion.isEmpty()) {
        m_boxes.show("The file does not have a version header.", "Error in file: lf.ldf");
        return false;
    }
    return true;
}

void DownloadSession::sumFileSizes()
{
    qint64 total = 0;
    for (const char *name : {"fc", "lf", "ff", "af"}) {
        const qint64 sum = total + sizeOf(QString(name) + ".ldf");
        // A sum beyond 32 bits is an overflow: that size is left out.
        if (sum <= INT32_MAX)
            total = sum;
    }
    m_transfer.setTotalBytes(total);
}
