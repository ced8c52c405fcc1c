#include "RunCatalog.h"

#include "JournalReader.h"
#include "LineEnds.h"
#include "RunJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <algorithm>

namespace {
const QString kStampFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString kSummarySuffix = QStringLiteral(".summary.txt");
constexpr qint64 kMaxSummary = 64 * 1024;
constexpr qint64 kCountChunk = 1024 * 1024;
constexpr qint64 kLastNoteTail = 512;

struct Parts {
    QDateTime started;
    int comNumber = 0;
    int sameSecond = 1;
};

// "2026-12-07_14-30-00_COM5[-2].raw"
bool parseName(const QString &name, Parts &parts)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d)_COM(\\d+)(?:-(\\d+))?\\.raw$"));
    const QRegularExpressionMatch m = pattern.match(name);
    if (!m.hasMatch())
        return false;
    parts.started = QDateTime::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    parts.comNumber = m.captured(2).toInt();
    parts.sameSecond = m.captured(3).isEmpty() ? 1 : m.captured(3).toInt();
    return parts.started.isValid();
}

// Reads what the listing needs from a summary (see the run's closing).
void readSummary(const QString &path, RunCatalog::Run &run)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QStringList lines = QString::fromUtf8(file.read(kMaxSummary)).split('\n');
    run.state = RunCatalog::State::NotSaved;
    for (const QString &line : lines) {
        const QString value = line.section(QStringLiteral(": "), 1).trimmed();
        if (line.startsWith(QStringLiteral("Stopped: "))) {
            run.ended = QDateTime::fromString(value, kStampFormat);
        } else if (line.startsWith(QStringLiteral("Ended without Stop"))) {
            run.endedWithoutStop = true;
            run.ended = QDateTime::fromString(value, kStampFormat);
        } else if (line.startsWith(QStringLiteral("Port: "))) {
            const qsizetype open = value.indexOf('(');
            if (open >= 0 && value.endsWith(')'))
                run.device = value.mid(open + 1).chopped(1);
        } else if (line.startsWith(QStringLiteral("Lines received: "))) {
            bool ok = false;
            const qint64 lines = value.toLongLong(&ok);
            if (ok)
                run.lines = lines;
        } else if (line.startsWith(QStringLiteral("Workbook saved as: "))) {
            if (value != QStringLiteral("(not saved)") && !value.isEmpty()) {
                run.savedAs = value;
                run.state = RunCatalog::State::Saved;
            }
        }
    }
}
} // namespace

QList<RunCatalog::Run> RunCatalog::scan(const QString &folder, std::int64_t *totalBytes)
{
    // One listing of the folder gives every name and size.
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    QHash<QString, qint64> sizes;
    std::int64_t total = 0;
    for (const QFileInfo &entry : entries) {
        sizes.insert(entry.fileName(), entry.size());
        total += entry.size();
    }
    if (totalBytes)
        *totalBytes = total;

    struct Listed {
        Run run;
        int sameSecond;
    };
    QList<Listed> listed;
    for (const QFileInfo &entry : entries) {
        Parts parts;
        if (!parseName(entry.fileName(), parts))
            continue;
        Run run;
        run.rawPath = entry.absoluteFilePath();
        run.started = parts.started;
        run.comNumber = parts.comNumber;
        run.bytes = entry.size();
        const QString base = entry.fileName().chopped(4);
        for (const QString &suffix : {QStringLiteral(".raw"), QStringLiteral(".times"), kSummarySuffix})
            run.diskBytes += sizes.value(base + suffix, 0);
        if (sizes.contains(base + kSummarySuffix))
            readSummary(entry.absolutePath() + '/' + base + kSummarySuffix, run);
        else
            run.state = RunJournal::isHeld(run.rawPath) ? State::Running : State::Unfinished;
        listed.append({run, parts.sameSecond});
    }
    std::sort(listed.begin(), listed.end(), [](const Listed &a, const Listed &b) {
        if (a.run.started != b.run.started)
            return a.run.started > b.run.started;
        if (a.sameSecond != b.sameSecond)
            return a.sameSecond > b.sameSecond;
        return a.run.rawPath > b.run.rawPath;
    });
    QList<Run> runs;
    runs.reserve(listed.size());
    for (const Listed &l : listed)
        runs.append(l.run);
    return runs;
}

std::int64_t RunCatalog::countLines(const QString &rawPath, const std::atomic<bool> *cancel)
{
    QFile file(rawPath);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    QByteArray chunk(kCountChunk, Qt::Uninitialized);
    LineEnds lines;
    for (;;) {
        if (cancel && cancel->load())
            return -1;
        const qint64 n = file.read(chunk.data(), chunk.size());
        if (n < 0)
            return -1;
        if (n == 0)
            return lines.lines();
        lines.add(QByteArrayView(chunk.constData(), n));
    }
}

QDateTime RunCatalog::lastArrival(const QString &rawPath)
{
    QFile times(JournalReader::timesPathFor(rawPath));
    if (times.open(QIODevice::ReadOnly)) {
        times.seek(std::max<qint64>(0, times.size() - kLastNoteTail));
        const QList<QByteArray> lines = times.readAll().trimmed().split('\n');
        const QList<QByteArray> fields = lines.constLast().split(' ');
        const QDateTime at =
            QDateTime::fromString(QString::fromLatin1(fields.value(1)), QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
        if (at.isValid())
            return at;
    }
    return QFileInfo(rawPath).lastModified();
}

bool RunCatalog::remove(const Run &run, QString *error)
{
    if (run.state == State::Running || RunJournal::isHeld(run.rawPath)) {
        *error = QStringLiteral("the run is still running");
        return false;
    }
    for (const QString &path :
         {run.rawPath, JournalReader::timesPathFor(run.rawPath), RunJournal::summaryPathFor(run.rawPath)}) {
        QFile file(path);
        if (file.exists() && !file.remove()) {
            *error = path + QStringLiteral(": ") + file.errorString();
            return false;
        }
    }
    return true;
}

QString RunCatalog::stateText(State state)
{
    switch (state) {
    case State::Running:
        return QStringLiteral("running");
    case State::Saved:
        return QStringLiteral("saved");
    case State::NotSaved:
        return QStringLiteral("not saved");
    case State::Unfinished:
        break;
    }
    return QStringLiteral("unfinished");
}

QString RunCatalog::listingLine(const Run &run)
{
    return QStringList{run.started.toString(kStampFormat),
                       QStringLiteral("COM") + QString::number(run.comNumber),
                       QString::number(run.bytes),
                       QString::number(run.lines),
                       stateText(run.state),
                       run.savedAs,
                       run.rawPath}
        .join('\t');
}

QList<RunCatalog::Run> RunCatalog::unfinished(const QList<Run> &runs)
{
    QList<Run> out;
    for (const Run &run : runs)
        if (run.state == State::Unfinished)
            out.append(run);
    return out;
}
