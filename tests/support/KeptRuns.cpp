#include "KeptRuns.h"

#include "FileContents.h"
#include "RunFiles.h"

namespace {
const QString kStamp = QStringLiteral("yyyy-MM-dd HH:mm:ss");
}

QString writeKeptRun(const QString &folder, const QString &base, const QByteArray &bytes,
                     std::optional<RunSummary> summary, const QDateTime &arrived)
{
    const QString raw = folder + '/' + base + ".raw";
    writeFile(raw, bytes);
    const QDateTime at = arrived.isValid() ? arrived : QDateTime::fromString(base.left(19), "yyyy-MM-dd_HH-mm-ss");
    writeFile(RunFiles::timesPathFor(raw), RunFiles::timesHeader() + RunFiles::timesNote(0, at, false));
    if (summary) {
        summary->rawPath = raw;
        summary->bytes = bytes.size();
        writeFile(RunFiles::summaryPathFor(raw), summary->text().toUtf8());
    }
    return raw;
}

RunSummary stopSummary(const QString &started, const QString &stopped, int lines, const QString &savedAs,
                       const QString &device)
{
    RunSummary summary;
    summary.started = QDateTime::fromString(started, kStamp);
    summary.stopped = QDateTime::fromString(stopped, kStamp);
    summary.comNumber = 5;
    summary.device = device;
    summary.lines = lines;
    summary.savedAs = savedAs;
    return summary;
}
