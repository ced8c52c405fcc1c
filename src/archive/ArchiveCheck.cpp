#include "ArchiveCheck.h"

#include "RunCatalog.h"
#include "PlainFile.h"
#include "RunFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

using Verdict = RunCheck::Verdict;

namespace {
QString baseOf(const QString &rawPath) { return QFileInfo(rawPath).completeBaseName(); }
QString when(const QDateTime &at) { return at.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); }

// The summary's lines that a later rebuild of the workbook rewrites.
bool rewrittenByRebuild(const QString &line)
{
    for (const char *prefix : {"Saved file: ", "Workbook saved as: ", "Whole workbook also saved as: ",
                               "Workbook rebuilt from the journal: ", "Journal times damaged: ", "User macro: "})
        if (line.startsWith(QLatin1String(prefix)))
            return true;
    return false;
}

QStringList keptLines(const QString &text)
{
    QStringList lines;
    for (const QString &line : text.split('\n', Qt::SkipEmptyParts))
        if (!rewrittenByRebuild(line))
            lines << line;
    return lines;
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.read(64 * 1024)) : QString();
}
} // namespace

void ArchiveCheck::stream(const QString &name, const QString &path, ArchiveStore::Stream stream,
                          RunCheck::Result &result)
{
    const QString what =
        stream == ArchiveStore::Stream::Raw ? QStringLiteral("bytes") : QStringLiteral("arrival times");
    const Result<QList<ArchiveStore::Piece>> pieces = m_store.pieces(name, stream, m_store.host());
    if (!pieces) {
        result.add(Verdict::Missing, QStringLiteral("The archive could not be read: ") + pieces.failure().reason);
        return;
    }
    Result<std::unique_ptr<QFile>> opened = PlainFile::open(path, PlainFile::Mode::Read);
    if (!opened) {
        if (!pieces.value().isEmpty())
            result.add(Verdict::Changed, QStringLiteral("The run's %1 are gone (%2); the archive has %3 pieces of them")
                                             .arg(what, path)
                                             .arg(pieces.value().size()));
        return;
    }
    QFile &file = *opened.value();
    qint64 end = 0;
    QDateTime last;
    for (const ArchiveStore::Piece &piece : pieces.value()) {
        if (piece.offset != end) {
            result.add(Verdict::Changed, QStringLiteral("The archive's %1 have a hole at byte %2").arg(what).arg(end));
            return;
        }
        file.seek(piece.offset);
        const QByteArray local = file.read(piece.bytes.size());
        if (local != piece.bytes) {
            qint64 at = 0;
            while (at < local.size() && local[at] == piece.bytes[at])
                ++at;
            result.add(Verdict::Changed,
                       QStringLiteral("The %1 of %2 differ from what the archive received at %3, from byte %4 on")
                           .arg(what, QFileInfo(path).fileName(), when(piece.receivedAt))
                           .arg(piece.offset + at));
            return;
        }
        end += piece.bytes.size();
        last = piece.receivedAt;
    }
    if (file.size() > end)
        result.add(Verdict::Changed, QStringLiteral("The %1 of %2 hold %3 bytes more than the archive received "
                                                    "(%4 bytes, the last at %5)")
                                         .arg(what, QFileInfo(path).fileName())
                                         .arg(file.size() - end)
                                         .arg(end)
                                         .arg(last.isValid() ? when(last) : QStringLiteral("never")));
    else
        result.add(Verdict::Matches, QStringLiteral("The %1 of %2 are as the archive received them (%3 bytes, the "
                                                    "last at %4)")
                                         .arg(what, QFileInfo(path).fileName())
                                         .arg(end)
                                         .arg(last.isValid() ? when(last) : QStringLiteral("never")));
}

RunCheck::Result ArchiveCheck::run(const QString &rawPath)
{
    RunCheck::Result result;
    const QString name = baseOf(rawPath);
    const Result<std::optional<ArchiveStore::StoredRecord>> record = m_store.record(name, m_store.host());
    if (!record) {
        result.add(Verdict::Missing, QStringLiteral("The archive could not be read: ") + record.failure().reason);
        return result;
    }
    if (!record.value()) {
        result.add(Verdict::NotRecorded, QStringLiteral("The archive has no record of the run %1").arg(name));
    } else {
        const QString summaryPath = RunFiles::summaryPathFor(rawPath);
        const QString local = readText(summaryPath);
        const QStringList archived = keptLines(record.value()->text);
        const QStringList kept = keptLines(local);
        if (local.isEmpty()) {
            result.add(Verdict::Changed, QStringLiteral("The summary of %1 is gone; the archive received it at %2")
                                             .arg(name, when(record.value()->receivedAt)));
        } else if (archived != kept) {
            for (const QString &line : kept)
                if (!archived.contains(line))
                    result.add(Verdict::Changed, QStringLiteral("The summary of %1 says \"%2\"; the archive's record "
                                                                "of %3 does not")
                                                     .arg(name, line, when(record.value()->receivedAt)));
            for (const QString &line : archived)
                if (!kept.contains(line))
                    result.add(Verdict::Changed, QStringLiteral("The archive's record of %1 (%2) says \"%3\"; the "
                                                                "summary no longer does")
                                                     .arg(name, when(record.value()->receivedAt), line));
        } else {
            result.add(Verdict::Matches, QStringLiteral("The summary of %1 is as the archive received it at %2")
                                             .arg(name, when(record.value()->receivedAt)));
        }
    }
    stream(name, rawPath, ArchiveStore::Stream::Raw, result);
    stream(name, RunFiles::timesPathFor(rawPath), ArchiveStore::Stream::Times, result);
    stream(name, RunFiles::manifestPathFor(rawPath), ArchiveStore::Stream::Manifest, result);
    for (const RunProvenance::SavedFile &saved : RunCheck::recorded(rawPath).saved)
        if (QFileInfo::exists(saved.path)) {
            const RunCheck::Result book = workbook(saved.path, rawPath);
            for (qsizetype i = 0; i < book.lines.size(); ++i)
                result.add(book.verdicts[i], book.lines[i]);
        }
    return result;
}

RunCheck::Result ArchiveCheck::workbook(const QString &workbookPath, const QString &rawPath)
{
    RunCheck::Result result;
    QFile file(workbookPath);
    if (!file.open(QIODevice::ReadOnly)) {
        result.add(Verdict::Missing, QStringLiteral("The workbook cannot be read: ") + workbookPath);
        return result;
    }
    const QByteArray digest = ArchiveStore::sha256(file.readAll());
    const QString name = baseOf(rawPath);
    const Result<QList<ArchiveStore::StoredWorkbook>> books = m_store.workbooks(name, m_store.host());
    if (!books) {
        result.add(Verdict::Missing, QStringLiteral("The archive could not be read: ") + books.failure().reason);
        return result;
    }
    for (const ArchiveStore::StoredWorkbook &book : books.value())
        if (book.sha256 == digest) {
            result.add(Verdict::Matches, QStringLiteral("The workbook is byte for byte the one the archive received "
                                                        "at %1 (%2, %3)")
                                             .arg(when(book.receivedAt), book.kind, book.fileName));
            return result;
        }
    if (books.value().isEmpty())
        result.add(Verdict::Changed, QStringLiteral("The archive has no workbook of the run %1").arg(name));
    else
        result.add(Verdict::Changed,
                   QStringLiteral("The workbook %1 is not one the archive received for the run %2 (the last it "
                                  "received: %3 at %4)")
                       .arg(workbookPath, name, books.value().constLast().fileName,
                            when(books.value().constLast().receivedAt)));
    return result;
}

Result<ArchiveCheck::ArchivedWorkbook> ArchiveCheck::newestWorkbook(const QString &rawPath)
{
    const Result<QList<ArchiveStore::StoredWorkbook>> books = m_store.workbooks(baseOf(rawPath), m_store.host());
    if (!books)
        return books.failure();
    if (books.value().isEmpty())
        return Failure{QStringLiteral("the archive has no workbook of the run ") + baseOf(rawPath)};
    const ArchiveStore::StoredWorkbook &newest = books.value().constLast();
    const Result<QByteArray> bytes = m_store.workbookBytes(baseOf(rawPath), m_store.host(), newest.sha256);
    if (!bytes)
        return bytes.failure();
    return ArchivedWorkbook{newest.fileName, bytes.value()};
}

RunCheck::Result ArchiveCheck::folder(const QString &folder)
{
    RunCheck::Result result;
    QSet<QString> kept;
    int checked = 0;
    int matching = 0;
    for (const RunCatalog::Run &run : RunCatalog::scan(folder)) {
        kept.insert(baseOf(run.rawPath));
        if (run.state == RunCatalog::State::Running)
            continue;
        ++checked;
        const RunCheck::Result one = this->run(run.rawPath);
        if (one.verdict == Verdict::Matches)
            ++matching;
        for (qsizetype i = 0; i < one.lines.size(); ++i)
            if (one.verdicts[i] != Verdict::Matches)
                result.add(one.verdicts[i], QFileInfo(run.rawPath).fileName() + QStringLiteral(": ") + one.lines[i]);
    }
    const Result<QSet<QString>> recorded = m_store.recordedRuns();
    if (!recorded) {
        result.add(Verdict::Missing, QStringLiteral("The archive could not be read: ") + recorded.failure().reason);
        return result;
    }
    int gone = 0;
    for (const QString &name : recorded.value())
        if (!kept.contains(name)) {
            ++gone;
            result.add(Verdict::Changed,
                       QStringLiteral("The archive has a record of the run %1, which the runs folder no longer holds")
                           .arg(name));
        }
    result.add(Verdict::Matches, QStringLiteral("Against the archive: %1 runs checked, %2 as it received them, %3 not; "
                                                "%4 runs only in the archive")
                                     .arg(checked)
                                     .arg(matching)
                                     .arg(checked - matching)
                                     .arg(gone));
    return result;
}
