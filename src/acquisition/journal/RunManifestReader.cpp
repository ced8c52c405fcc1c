#include "RunManifestReader.h"

#include "ManifestText.h"
#include "PlainFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <memory>

namespace {
QString sha256(QByteArrayView bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

bool isHash(const QString &text)
{
    static const QRegularExpression hex(QStringLiteral("\\A[0-9a-f]{64}\\z"));
    return hex.match(text).hasMatch();
}

Failure onLine(qsizetype line, const QString &what)
{
    return Failure{QStringLiteral("line %1 %2").arg(line + 1).arg(what)};
}

Result<QByteArray> readPlainFile(const QString &path)
{
    const Result<std::unique_ptr<QFile>> file = PlainFile::open(path, PlainFile::Mode::Read);
    if (!file)
        return file.failure();
    if ((*file)->size() > RunManifestReader::kMaxBytes)
        return Failure{QStringLiteral("larger than any manifest (%1 bytes)").arg((*file)->size())};
    const QByteArray bytes = (*file)->read(RunManifestReader::kMaxBytes + 1);
    if ((*file)->error() != QFileDevice::NoError)
        return Failure{(*file)->errorString()};
    return bytes;
}
} // namespace

Result<QByteArray> RunManifestReader::readBytes(const QString &path)
{
    Result<QByteArray> bytes = readPlainFile(path);
    if (!bytes)
        return Failure{QStringLiteral("cannot read the manifest %1: %2").arg(path, bytes.failure().reason)};
    return bytes;
}

Result<RunManifest> RunManifestReader::read(const QString &path)
{
    const Result<QByteArray> bytes = readBytes(path);
    if (!bytes)
        return bytes.failure();
    Result<RunManifest> manifest = parse(*bytes);
    if (!manifest)
        return Failure{QStringLiteral("the manifest %1 is damaged: %2").arg(path, manifest.failure().reason)};
    return manifest;
}

Result<RunManifest> RunManifestReader::parse(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return Failure{QStringLiteral("it is empty")};
    if (bytes.size() > kMaxBytes)
        return Failure{QStringLiteral("larger than any manifest")};
    if (!bytes.endsWith('\n'))
        return Failure{QStringLiteral("it is cut short: its last line has no line end")};
    RunManifest manifest;
    qsizetype start = 0;
    qsizetype index = 0;
    // Ends the entry being read at `end`: its hash covers every byte before.
    auto closeEntry = [&](qsizetype end) {
        if (!manifest.entries.isEmpty()) {
            ManifestEntry &entry = manifest.entries.last();
            entry.setChain(entry.previousHash(), sha256(QByteArrayView(bytes).first(end)));
        }
    };
    while (start < bytes.size()) {
        const qsizetype end = bytes.indexOf('\n', start);
        const QByteArray line = bytes.mid(start, end - start);
        if (index == 0) {
            manifest.version = ManifestText::headerVersion(line);
            if (manifest.version == 0)
                return Failure{QStringLiteral("it is not a run manifest")};
            if (manifest.version > ManifestText::kVersion)
                return Failure{
                    QStringLiteral("it was written by a newer Halvern (manifest version %1)").arg(manifest.version)};
        } else if (line.startsWith(ManifestText::kEntryMark)) {
            closeEntry(start);
            const QList<QByteArray> parts = line.mid(ManifestText::kEntryMark.size()).split(' ');
            const QString kind = QString::fromLatin1(parts.value(0));
            const QString previous = QString::fromLatin1(parts.value(1));
            if (parts.size() != 2 || !ManifestText::isName(kind) || !isHash(previous))
                return onLine(index, QStringLiteral("is not an entry's first line"));
            const QString expected = sha256(QByteArrayView(bytes).first(start));
            if (previous != expected)
                return onLine(index, QStringLiteral("opens an entry that does not follow what is before it: it holds "
                                                    "%1, the manifest before it hashes to %2")
                                         .arg(previous, expected));
            ManifestEntry entry(kind);
            entry.setChain(previous, QString());
            manifest.entries.append(entry);
        } else {
            const qsizetype equals = line.indexOf('=');
            const QString key = QString::fromLatin1(line.left(equals));
            if (manifest.entries.isEmpty() || equals < 0 || !ManifestText::isName(key))
                return onLine(index, QStringLiteral("is not a field of an entry"));
            ManifestEntry &entry = manifest.entries.last();
            if (entry.has(key))
                return onLine(index, QStringLiteral("gives \"%1\" a second time").arg(key));
            bool ok = false;
            const QString value = ManifestText::unescape(line.mid(equals + 1), &ok);
            if (!ok)
                return onLine(index, QStringLiteral("holds a value that was not written by Halvern"));
            entry.set(key, value);
        }
        start = end + 1;
        ++index;
    }
    closeEntry(bytes.size());
    if (manifest.entries.isEmpty())
        return Failure{QStringLiteral("it holds no entry")};
    return manifest;
}
