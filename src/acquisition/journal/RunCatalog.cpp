#include "RunCatalog.h"

#include "LineEnds.h"
#include "RunFiles.h"
#include "RunJournal.h"
#include "RunSummary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <limits>

namespace {
const QString kStampFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
constexpr qint64 kMaxSummary = 64 * 1024;
constexpr qint64 kCountChunk = 1024 * 1024;
constexpr qint64 kLastNoteTail = 512;

// What the listing needs from a summary (see the run's closing); false when
// it cannot be read as one.
bool readSummary(const QString &path, RunCatalog::Run &run)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const std::optional<RunSummary> summary = RunSummary::parse(QString::fromUtf8(file.read(kMaxSummary)));
    if (!summary)
        return false;
    run.ended = summary->stopped;
    run.endedWithoutStop = summary->endedWithoutStop;
    run.device = summary->device;
    run.lines = summary->lines;
    run.savedAs = summary->savedAs;
    run.state = run.savedAs.isEmpty() ? RunCatalog::State::NotSaved : RunCatalog::State::Saved;
    return true;
}

// Why a run's files are not what Halvern writes; empty when they are.
QString damageOf(const QHash<QString, QFileInfo> &entries, const QFileInfo &raw, const RunFiles::Name &name)
{
    if (raw.isSymLink())
        return QStringLiteral("the raw file is a link");
    if (!name.exact)
        return QStringLiteral("its name is not one Halvern makes");
    const QFileInfo times = entries.value(QFileInfo(RunFiles::timesPathFor(raw.fileName())).fileName());
    if (times.isSymLink())
        return QStringLiteral("the times file is a link");
    const QFileInfo summary = entries.value(QFileInfo(RunFiles::summaryPathFor(raw.fileName())).fileName());
    if (summary.isSymLink())
        return QStringLiteral("the summary is a link");
    if (!summary.fileName().isEmpty() && !summary.isFile())
        return QStringLiteral("the summary cannot be read");
    return QString();
}
} // namespace

QList<RunCatalog::Run> RunCatalog::scan(const QString &folder, std::int64_t *totalBytes)
{
    // One listing of the folder gives every name and size.
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    QHash<QString, QFileInfo> byName;
    std::int64_t total = 0;
    for (const QFileInfo &entry : entries) {
        byName.insert(entry.fileName(), entry);
        if (entry.isFile() && !entry.isSymLink())
            total += entry.size();
    }
    if (totalBytes)
        *totalBytes = total;
    auto sizeOf = [&byName](const QString &name) {
        const QFileInfo entry = byName.value(name);
        return entry.isFile() && !entry.isSymLink() ? entry.size() : 0;
    };

    struct Listed {
        Run run;
        int sameSecond;
    };
    QList<Listed> listed;
    for (const QFileInfo &entry : entries) {
        const std::optional<RunFiles::Name> name = RunFiles::parseRawName(entry.fileName());
        if (!name || !(entry.isFile() || entry.isSymLink()))
            continue;
        Run run;
        run.rawPath = entry.absoluteFilePath();
        run.started = name->started;
        run.comNumber = name->comNumber;
        run.bytes = sizeOf(entry.fileName());
        run.damage = damageOf(byName, entry, *name);
        run.diskBytes = run.bytes;
        if (name->exact) {
            const QString times = QFileInfo(RunFiles::timesPathFor(entry.fileName())).fileName();
            const QString summary = QFileInfo(RunFiles::summaryPathFor(entry.fileName())).fileName();
            run.diskBytes += sizeOf(times) + sizeOf(summary);
            if (run.damage.isEmpty() && byName.contains(summary)
                && !readSummary(entry.absolutePath() + '/' + summary, run))
                run.damage = QStringLiteral("the summary cannot be read");
            else if (run.damage.isEmpty() && !byName.contains(summary))
                run.state = RunJournal::isHeld(run.rawPath) ? State::Running : State::Unfinished;
        }
        if (!run.damage.isEmpty())
            run.state = State::Damaged;
        listed.append({run, name->sameSecond});
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
    LineTally tally;
    return countLinesOn(rawPath, tally, std::numeric_limits<std::int64_t>::max(), cancel) ? tally.ends.lines() : -1;
}

bool RunCatalog::countLinesOn(const QString &rawPath, LineTally &tally, std::int64_t limit,
                              const std::atomic<bool> *cancel)
{
    QFile file(rawPath);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(tally.offset))
        return false;
    QByteArray chunk(kCountChunk, Qt::Uninitialized);
    while (limit > 0) {
        if (cancel && cancel->load())
            return false;
        const qint64 n = file.read(chunk.data(), std::min<std::int64_t>(chunk.size(), limit));
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        tally.ends.add(QByteArrayView(chunk.constData(), n));
        tally.offset += n;
        limit -= n;
    }
    return true;
}

QDateTime RunCatalog::lastArrival(const QString &rawPath)
{
    QFile times(RunFiles::timesPathFor(rawPath));
    if (times.open(QIODevice::ReadOnly)) {
        times.seek(std::max<qint64>(0, times.size() - kLastNoteTail));
        const QList<QByteArray> lines = times.readAll().trimmed().split('\n');
        const QList<QByteArray> fields = lines.constLast().split(' ');
        const QDateTime at = RunFiles::noteTime(fields.value(1));
        if (at.isValid())
            return at;
    }
    return QFileInfo(rawPath).lastModified();
}

std::optional<Failure> RunCatalog::remove(const Run &run)
{
    if (run.state == State::Running || RunJournal::isHeld(run.rawPath))
        return Failure{QStringLiteral("the run is still running")};
    for (const QString &path :
         {run.rawPath, RunFiles::timesPathFor(run.rawPath), RunFiles::summaryPathFor(run.rawPath)}) {
        QFile file(path);
        if (file.exists() && !file.remove())
            return Failure{path + QStringLiteral(": ") + file.errorString()};
    }
    return std::nullopt;
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
    case State::Damaged:
        return QStringLiteral("damaged");
    case State::Unfinished:
        break;
    }
    return QStringLiteral("unfinished");
}

QString RunCatalog::printable(const QString &path)
{
    QString out;
    for (const QChar c : path) {
        if (c == '\\' || c.category() == QChar::Other_Control)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar('0'));
        else
            out += c;
    }
    return out;
}

QString RunCatalog::listingLine(const Run &run)
{
    return QStringList{run.started.toString(kStampFormat),
                       QStringLiteral("COM") + QString::number(run.comNumber),
                       QString::number(run.bytes),
                       QString::number(run.lines),
                       run.state == State::Damaged ? stateText(run.state) + QStringLiteral(": ") + run.damage
                                                   : stateText(run.state),
                       run.savedAs,
                       printable(run.rawPath)}
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
