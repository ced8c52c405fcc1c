#include "ArchiveFetch.h"

#include "LogCategories.h"
#include "RunFiles.h"

#include <QDir>
#include <QSaveFile>

namespace {
std::optional<Failure> write(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return Failure{QStringLiteral("cannot write %1: %2").arg(path, file.errorString())};
    return std::nullopt;
}

// The pieces end to end; a hole is an error.
Result<QByteArray> joined(const QList<ArchiveStore::Piece> &pieces, const QString &what)
{
    QByteArray bytes;
    for (const ArchiveStore::Piece &piece : pieces) {
        if (piece.offset != bytes.size())
            return Failure{QStringLiteral("the archive's %1 have a hole at byte %2").arg(what).arg(bytes.size())};
        bytes += piece.bytes;
    }
    return bytes;
}
} // namespace

Result<QString> ArchiveFetch::fetch(const QString &given, const QString &folder)
{
    QString name = given.section('/', -1);
    if (name.endsWith(QLatin1String(".raw")))
        name.chop(4);
    const QString host = given.contains('/') ? given.section('/', 0, -2) : QString();
    if (!RunFiles::parseRawName(name + QStringLiteral(".raw")))
        return Failure{QStringLiteral("Not a run's name: %1 (as yyyy-MM-dd_HH-mm-ss_COMn)").arg(given)};
    const Result<std::optional<ArchiveStore::StoredRecord>> record = m_store.record(name, host);
    if (!record)
        return record.failure();
    const QString from = record.value() ? record.value()->host : host;
    const Result<QList<ArchiveStore::Piece>> raw = m_store.pieces(name, ArchiveStore::Stream::Raw, from);
    if (!raw)
        return raw.failure();
    if (raw.value().isEmpty())
        return Failure{QStringLiteral("The archive has no run %1").arg(given)};
    const Result<QList<ArchiveStore::Piece>> times = m_store.pieces(name, ArchiveStore::Stream::Times, from);
    if (!times)
        return times.failure();
    const Result<QList<ArchiveStore::Piece>> manifest = m_store.pieces(name, ArchiveStore::Stream::Manifest, from);
    if (!manifest)
        return manifest.failure();
    const Result<QByteArray> manifestBytes = joined(manifest.value(), QStringLiteral("manifest"));
    if (!manifestBytes)
        return manifestBytes.failure();
    const Result<QByteArray> rawBytes = joined(raw.value(), QStringLiteral("bytes"));
    if (!rawBytes)
        return rawBytes.failure();
    const Result<QByteArray> timesBytes = joined(times.value(), QStringLiteral("arrival times"));
    if (!timesBytes)
        return timesBytes.failure();

    if (!QDir().mkpath(folder))
        return Failure{QStringLiteral("cannot make the folder ") + folder};
    const QString rawPath = QDir(folder).absoluteFilePath(name + QStringLiteral(".raw"));
    if (const std::optional<Failure> f = write(rawPath, rawBytes.value()))
        return *f;
    if (!timesBytes.value().isEmpty())
        if (const std::optional<Failure> f = write(RunFiles::timesPathFor(rawPath), timesBytes.value()))
            return *f;
    if (!manifestBytes.value().isEmpty())
        if (const std::optional<Failure> f = write(RunFiles::manifestPathFor(rawPath), manifestBytes.value()))
            return *f;
    if (!record.value()) {
        qCInfo(lcArchive).noquote() << "The archive has no record of" << name << "(it ended without Stop)";
        return rawPath;
    }
    if (const std::optional<Failure> f = write(RunFiles::summaryPathFor(rawPath), record.value()->text.toUtf8()))
        return *f;
    if (!record.value()->startWorkbookSha256.isEmpty()) {
        const Result<QByteArray> start = m_store.startWorkbook(record.value()->startWorkbookSha256);
        if (!start)
            return start.failure();
        if (const std::optional<Failure> f =
                write(QDir(folder).absoluteFilePath(name + QStringLiteral(".start.xls")), start.value()))
            return *f;
    }
    return rawPath;
}
