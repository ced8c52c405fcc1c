// "ports.conf": the map read from a file is the lines read one by one, the
// later winning; every accepted line names a port 1 to 16 and an absolute
// device with no blanks around it; its own "COMn=device" form reads back the
// same, commenting it out or padding it with blanks changes nothing, and a
// file with CR LF line ends reads as the same file with LF.
#include "FuzzCheck.h"
#include "PortMap.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>

namespace {

QHash<int, QString> readFile(const QString &folder, const QByteArray &content)
{
    QFile file(folder + "/ports.conf");
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(content);
    file.close();
    return PortMap(folder).overrides();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir dir;
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));

    QHash<int, QString> folded;
    for (const QByteArray &raw : content.split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const auto entry = PortMap::parseLine(line);
        if (!entry)
            continue;
        folded.insert(entry->port, entry->device);
        FUZZ_CHECK(PortMap::isValidPort(entry->port), line);
        FUZZ_CHECK(entry->device.startsWith('/') && entry->device == entry->device.trimmed(), line);

        const QString own = QStringLiteral("COM%1=%2").arg(entry->port).arg(entry->device);
        const auto again = PortMap::parseLine(own);
        FUZZ_CHECK(again && again->port == entry->port && again->device == entry->device, line);
        FUZZ_CHECK(!PortMap::parseLine("#" + line), line);
        const auto padded = PortMap::parseLine(" \t" + line + "\t ");
        FUZZ_CHECK(padded && padded->port == entry->port && padded->device == entry->device, line);
    }

    const QHash<int, QString> map = readFile(dir.path(), content);
    FUZZ_CHECK(map == folded, content);
    if (!content.contains('\r')) {
        QByteArray crlf = content;
        crlf.replace("\n", "\r\n");
        FUZZ_CHECK(readFile(dir.path(), crlf) == map, content);
    }
    return 0;
}
