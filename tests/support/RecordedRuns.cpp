#include "RecordedRuns.h"

#include "FileContents.h"
#include "ProvenanceGatherer.h"
#include "RunFiles.h"
#include "RunRecord.h"

#include <QCryptographicHash>
#include <QDir>

namespace {
QString sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}
} // namespace

QString recordRun(const QString &folder, const QDateTime &start, const QByteArray &bytes, const QString &savedAs)
{
    QDateTime now = start;
    RunRecord record;
    record.setFolder(folder);
    record.setClock([&now] { return now; });
    record.open(5);
    if (!record.journal().isOpen())
        return QString();
    record.keep(bytes, now);
    now = start.addSecs(1);
    RunSummary summary = record.summary();
    summary.savedAs = savedAs;
    ProvenanceGatherer::addSaved(summary.provenance, savedAs);
    record.close(summary);
    return summary.rawPath;
}

QString recordOlderRun(const QString &folder, const QDateTime &start, const QByteArray &bytes)
{
    const QString raw = QDir(folder).filePath(RunFiles::baseName(start, 5) + QStringLiteral(".raw"));
    const QByteArray times = RunFiles::timesHeader() + RunFiles::timesNote(0, start, false);
    writeFile(raw, bytes);
    writeFile(RunFiles::timesPathFor(raw), times);
    RunSummary summary;
    summary.started = start;
    summary.stopped = start.addSecs(1);
    summary.comNumber = 5;
    summary.bytes = bytes.size();
    summary.rawPath = raw;
    summary.provenance.rawSha256 = sha256(bytes);
    summary.provenance.timesSha256 = sha256(times);
    summary.provenance.login = QStringLiteral("someone");
    writeFile(RunFiles::summaryPathFor(raw), summary.text().toUtf8());
    return raw;
}
