#include "ArchiveSender.h"

#include "LogCategories.h"
#include "PlainFile.h"
#include "RunFiles.h"
#include "RunSummary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
constexpr qint64 kMaxSummary = 64 * 1024;
constexpr qint64 kMaxWorkbook = 512LL * 1024 * 1024;

QString baseOf(const QString &rawPath) { return QFileInfo(rawPath).completeBaseName(); }

Result<QByteArray> readWhole(const QString &path, qint64 limit)
{
    Result<std::unique_ptr<QFile>> file = PlainFile::open(path, PlainFile::Mode::Read);
    if (!file)
        return file.failure();
    if (file.value()->size() > limit)
        return Failure{QStringLiteral("%1 is larger than the archive takes (%2 bytes)").arg(path).arg(limit)};
    return file.value()->readAll();
}
} // namespace

ArchiveSender::ArchiveSender(QString runsFolder, QString host, ArchiveStatus &status, StartWorkbook startWorkbook)
    : m_folder(std::move(runsFolder)),
      m_host(std::move(host)),
      m_status(status),
      m_startWorkbook(std::move(startWorkbook))
{
}

bool ArchiveSender::lost(const ArchiveStore &store) const
{
    return !const_cast<ArchiveStore &>(store).connection().isAlive();
}

void ArchiveSender::markWaiting(const QString &why)
{
    m_status.setServerProblem(why);
    for (const QFileInfo &raw : QDir(m_folder).entryInfoList({QStringLiteral("*.raw")}, QDir::Files))
        if (m_status.state(raw.filePath()) != ArchiveStatus::State::Refused)
            m_status.set(raw.filePath(), ArchiveStatus::State::Waiting);
}

std::optional<Failure> ArchiveSender::pass(ArchiveStore &store)
{
    m_status.setServerProblem(QString());
    const QFileInfoList raws = QDir(m_folder).entryInfoList({QStringLiteral("*.raw")}, QDir::Files, QDir::Name);
    for (const QFileInfo &raw : raws) {
        const std::optional<RunFiles::Name> parsed = RunFiles::parseRawName(raw.fileName());
        if (!parsed || !parsed->exact)
            continue; // not a run of Halvern's
        Known &known = m_known[raw.fileName()];
        if (known.refused)
            continue;
        if (const std::optional<Failure> failure = sendRun(store, raw.absoluteFilePath(), known)) {
            if (lost(store)) {
                qCWarning(lcArchive).noquote()
                    << "The archive went away while sending" << raw.fileName() << ":" << failure->reason;
                return failure;
            }
            known.refused = true;
            m_status.set(raw.filePath(), ArchiveStatus::State::Refused, failure->reason);
            qCWarning(lcArchive).noquote() << "The archive refused" << raw.fileName() << ":" << failure->reason;
        }
    }
    return std::nullopt;
}

std::optional<Failure> ArchiveSender::sendRun(ArchiveStore &store, const QString &rawPath, Known &known)
{
    const QString name = baseOf(rawPath);
    const QString summaryPath = RunFiles::summaryPathFor(rawPath);
    const QFileInfo summary(summaryPath);
    const QDateTime summaryTime = summary.exists() ? summary.lastModified() : QDateTime();
    const QFileInfo manifest(RunFiles::manifestPathFor(rawPath));
    if (known.asked && known.progress.hasRecord && summaryTime == known.summaryTime
        && (!manifest.exists() || manifest.size() == known.progress.manifestEnd))
        return std::nullopt; // nothing new since the last pass

    if (!known.asked) {
        // First sight of the run on this connection: how far the archive has it.
        Result<ArchiveStore::RunProgress> progress = store.progress(name);
        if (!progress)
            return progress.failure();
        known.progress = progress.value();
        if (!known.progress.hasRecord && known.progress.rawEnd == 0 && known.progress.timesEnd == 0)
            if (const std::optional<Failure> failure =
                    store.addRun(name, RunFiles::parseRawName(QFileInfo(rawPath).fileName())->started))
                return failure;
        if (known.progress.hasRecord) {
            Result<QSet<QString>> books = store.workbookKeys(name);
            if (!books)
                return books.failure();
            known.workbooks = books.value();
        }
        known.asked = true;
    }
    // The summary is written after the journal's last byte: once it is
    // there, the streams sent below are whole.
    if (!known.progress.hasRecord) {
        if (const std::optional<Failure> f =
                sendStream(store, name, rawPath, ArchiveStore::Stream::Raw, known.progress.rawEnd))
            return f;
        if (const std::optional<Failure> f = sendStream(store, name, RunFiles::timesPathFor(rawPath),
                                                        ArchiveStore::Stream::Times, known.progress.timesEnd))
            return f;
    }
    // The manifest grows for as long as the run is kept (a save, a rebuild).
    if (const std::optional<Failure> f = sendStream(store, name, RunFiles::manifestPathFor(rawPath),
                                                    ArchiveStore::Stream::Manifest, known.progress.manifestEnd))
        return f;
    if (!summary.exists()) {
        m_status.set(rawPath, ArchiveStatus::State::Waiting, QStringLiteral("its bytes are sent; its record at Stop"));
        return std::nullopt;
    }
    const Result<QByteArray> summaryBytes = readWhole(summaryPath, kMaxSummary);
    if (!summaryBytes)
        return summaryBytes.failure();
    const QString summaryText = QString::fromUtf8(summaryBytes.value());
    if (!known.progress.hasRecord) {
        if (const std::optional<Failure> f = sendRecord(store, rawPath, summaryText, known))
            return f;
        if (const std::optional<Failure> f = sendWorkbooks(store, name, summaryText, known, false))
            return f;
    } else if (summaryTime != known.summaryTime) {
        if (const std::optional<Failure> f = sendWorkbooks(store, name, summaryText, known, true))
            return f;
    }
    known.summaryTime = summaryTime;
    m_status.set(rawPath, ArchiveStatus::State::Sent);
    return std::nullopt;
}

std::optional<Failure> ArchiveSender::sendStream(ArchiveStore &store, const QString &name, const QString &path,
                                                 ArchiveStore::Stream stream, qint64 &end)
{
    if (!QFileInfo::exists(path))
        return std::nullopt; // a run without arrival times, or from before manifests
    Result<std::unique_ptr<QFile>> opened = PlainFile::open(path, PlainFile::Mode::Read);
    if (!opened)
        return opened.failure();
    QFile &file = *opened.value();
    const qint64 size = file.size();
    if (size < end)
        return Failure{QStringLiteral("%1 is shorter (%2 bytes) than what the archive has of it (%3)")
                           .arg(path)
                           .arg(size)
                           .arg(end)};
    while (end < size) {
        if (!file.seek(end))
            return Failure{QStringLiteral("cannot read %1: %2").arg(path, file.errorString())};
        const QByteArray bytes = file.read(std::min(kPieceBytes, size - end));
        if (bytes.isEmpty())
            return Failure{QStringLiteral("cannot read %1: %2").arg(path, file.errorString())};
        const Result<qint64> stored = store.addPiece(name, stream, end, bytes);
        if (!stored)
            return stored.failure();
        end += stored.value();
        qCDebug(lcArchive) << "sent" << ArchiveStore::streamName(stream) << "of" << name << "up to" << end;
    }
    return std::nullopt;
}

std::optional<Failure> ArchiveSender::sendRecord(ArchiveStore &store, const QString &rawPath,
                                                 const QString &summaryText, Known &known)
{
    const std::optional<RunSummary> summary = RunSummary::parse(summaryText);
    if (!summary)
        return Failure{QStringLiteral("its summary is not one Halvern writes")};
    ArchiveStore::Record record;
    const RunProvenance &p = summary->provenance;
    record.login = p.login;
    record.fullName = p.fullName;
    record.port = QStringLiteral("COM%1 %2").arg(summary->comNumber).arg(summary->device).trimmed();
    record.adapter = p.adapter;
    record.halvernVersion = p.halvernVersion;
    record.officeVersion = p.officeVersion;
    record.macro = summary->macro;
    record.started = summary->started;
    record.stopped = summary->stopped;
    record.rawBytes = summary->bytes;
    record.rawSha256 = p.rawSha256;
    record.timesSha256 = p.timesSha256;
    record.text = summaryText;
    if (m_startWorkbook) {
        const QString start = m_startWorkbook(rawPath);
        if (!start.isEmpty() && QFileInfo::exists(start)) {
            const Result<QByteArray> bytes = readWhole(start, kMaxWorkbook);
            if (!bytes) {
                qCWarning(lcArchive).noquote() << "The start workbook is not sent:" << bytes.failure().reason;
            } else {
                if (const std::optional<Failure> f = store.addStartWorkbook(bytes.value()))
                    return f;
                record.startWorkbookSha256 = ArchiveStore::sha256(bytes.value());
            }
        }
    }
    if (const std::optional<Failure> f = store.addRecord(baseOf(rawPath), record))
        return f;
    known.progress.hasRecord = true;
    known.progress.recordText = summaryText;
    qCInfo(lcArchive).noquote() << "The record of" << baseOf(rawPath) << "is in the archive";
    return std::nullopt;
}

std::optional<Failure> ArchiveSender::sendWorkbooks(ArchiveStore &store, const QString &name,
                                                    const QString &summaryText, Known &known, bool rebuiltOnly)
{
    const std::optional<RunSummary> summary = RunSummary::parse(summaryText);
    if (!summary)
        return std::nullopt; // told when its record was sent
    if (rebuiltOnly) {
        // Only a rebuild adds a workbook after the record; a summary that
        // names another file without saying so was not written by Halvern.
        const std::optional<RunSummary> recorded = RunSummary::parse(known.progress.recordText);
        if (summary->rebuilt.isEmpty() || (recorded && recorded->rebuilt == summary->rebuilt))
            return std::nullopt;
    }
    const QString kind = summary->rebuilt.isEmpty() ? QStringLiteral("saved") : QStringLiteral("rebuilt");
    for (const RunProvenance::SavedFile &saved : summary->provenance.saved) {
        const QString key = QFileInfo(saved.path).fileName() + ' ' + saved.sha256;
        if (known.workbooks.contains(key))
            continue;
        const Result<QByteArray> bytes = readWhole(saved.path, kMaxWorkbook);
        if (!bytes) {
            qCWarning(lcArchive).noquote() << "A workbook of" << name << "is not sent:" << bytes.failure().reason;
            continue;
        }
        if (ArchiveStore::sha256(bytes.value()).toHex() != saved.sha256.toLatin1()) {
            qCWarning(lcArchive).noquote()
                << "A workbook of" << name << "is not sent: it changed after the save:" << saved.path;
            continue;
        }
        if (const std::optional<Failure> f =
                store.addWorkbook(name, kind, QFileInfo(saved.path).fileName(), bytes.value()))
            return f;
        known.workbooks.insert(key);
        qCInfo(lcArchive).noquote() << "The workbook" << saved.path << "of" << name << "is in the archive (" << kind
                                    << ")";
    }
    return std::nullopt;
}
