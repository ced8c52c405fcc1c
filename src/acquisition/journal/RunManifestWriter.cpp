#include "RunManifestWriter.h"

#include "DurableFile.h"
#include "LogCategories.h"
#include "ManifestText.h"
#include "ManifestWitness.h"
#include "RunManifestReader.h"

#include <QCryptographicHash>
#include <QDateTime>

namespace {
ManifestWitness *g_witness = nullptr;

QString sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// `entry` written after `before` (the whole manifest so far) into `path`.
Result<ManifestEntry> writeAfter(const QString &path, const QByteArray &before, const ManifestEntry &entry,
                                 bool creating)
{
    const QString previous = sha256(before);
    const Result<QByteArray> text = RunManifestWriter::entryText(entry, previous);
    if (!text)
        return text.failure();
    const QByteArray bytes = before + *text;
    const std::optional<Failure> failure =
        creating ? DurableFile::create(path, bytes) : DurableFile::replace(path, bytes);
    if (failure) {
        qCWarning(lcJournal) << "the manifest" << path << "keeps no" << entry.kind() << "entry:" << failure->reason;
        return *failure;
    }
    ManifestEntry written = entry;
    written.setChain(previous, sha256(bytes));
    if (g_witness)
        g_witness->witness(path, written);
    return written;
}
} // namespace

const QString RunManifestWriter::kAtField = QStringLiteral("at");

void RunManifestWriter::setWitness(ManifestWitness *witness) { g_witness = witness; }

Result<QByteArray> RunManifestWriter::entryText(const ManifestEntry &entry, const QString &previousHash)
{
    if (!ManifestText::isName(entry.kind()))
        return Failure{QStringLiteral("\"%1\" cannot be the kind of a manifest entry").arg(entry.kind())};
    QByteArray text = ManifestText::kEntryMark + entry.kind().toLatin1() + ' ' + previousHash.toLatin1() + '\n';
    for (const auto &[key, value] : entry.fields()) {
        if (!ManifestText::isName(key))
            return Failure{QStringLiteral("\"%1\" cannot be the key of a manifest field").arg(key)};
        text += key.toLatin1() + '=' + ManifestText::escape(value) + '\n';
    }
    return text;
}

Result<ManifestEntry> RunManifestWriter::create(const QString &path, const ManifestEntry &first)
{
    return writeAfter(path, ManifestText::header(), first, true);
}

Result<ManifestEntry> RunManifestWriter::append(const QString &path, const ManifestEntry &entry)
{
    // Read and checked whole first: an entry added to a manifest changed
    // since it was written would vouch for the change.
    const Result<QByteArray> bytes = RunManifestReader::readBytes(path);
    if (!bytes)
        return bytes.failure();
    const Result<RunManifest> before = RunManifestReader::parse(*bytes);
    if (!before) {
        qCWarning(lcJournal) << "no" << entry.kind() << "entry added to the damaged manifest" << path << ":"
                             << before.failure().reason;
        return Failure{QStringLiteral("the manifest %1 is damaged: %2").arg(path, before.failure().reason)};
    }
    ManifestEntry timed = entry;
    if (!timed.has(kAtField) && !timed.has(QStringLiteral("started")) && !timed.has(QStringLiteral("stopped")))
        timed.setTime(kAtField, QDateTime::currentDateTime());
    return writeAfter(path, *bytes, timed, false);
}
