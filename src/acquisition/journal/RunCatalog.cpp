#include "RunCatalog.h"

#include "JournalCheckpoints.h"
#include "LineEnds.h"
#include "LogCategories.h"
#include "PlainFile.h"
#include "RunFiles.h"
#include "RunJournal.h"
#include "ManifestEnd.h"
#include "ManifestSummary.h"
#include "RunManifest.h"
#include "RunManifestReader.h"
#include "RunSummary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <limits>
#include <sys/stat.h>

namespace {
const QString kStampFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
constexpr qint64 kCountChunk = 1024 * 1024;
constexpr qint64 kLastNoteTail = 1024; // a note and the checkpoints after it

void fill(RunCatalog::Run &run, const RunSummary &summary)
{
    run.ended = summary.stopped;
    run.endedWithoutStop = summary.endedWithoutStop;
    run.device = summary.device;
    run.lines = summary.lines;
    run.savedAs = summary.savedAs;
    run.state = run.savedAs.isEmpty() ? RunCatalog::State::NotSaved : RunCatalog::State::Saved;
}

// What the listing needs from a summary an older Halvern wrote; why not
// when it cannot be read as one, else empty.
QString readSummary(const QString &path, RunCatalog::Run &run)
{
    const Result<std::optional<QString>> text = RunFiles::readSummaryFile(path);
    if (!text)
        return QStringLiteral("the summary cannot be read (%1)").arg(text.failure().reason);
    if (!text->has_value())
        return QStringLiteral("the summary is gone");
    const std::optional<RunSummary> summary = RunSummary::parse(**text);
    if (!summary)
        return QStringLiteral("the summary is not one Halvern writes");
    fill(run, *summary);
    return QString();
}

// What stands at path when it is there and is not a plain file ("a FIFO",
// "a link", ...); empty otherwise.
QString oddKind(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || S_ISREG(info.st_mode))
        return QString();
    return PlainFile::kindOf(info.st_mode);
}

// What the listing needs from a run's manifest: its summary once the run has
// ended (true then); why it cannot be read in `damage`.
bool readManifest(const QString &rawPath, RunCatalog::Run &run)
{
    const Result<RunManifest> manifest = RunManifestReader::read(RunManifest::pathFor(rawPath));
    if (!manifest) {
        run.damage = manifest.failure().reason;
        return false;
    }
    if (!manifest->first(ManifestEnd::kKind))
        return false;
    const Result<RunSummary> summary = ManifestSummary::of(*manifest, rawPath);
    if (!summary) {
        run.damage = QStringLiteral("its manifest does not read as a run's: ") + summary.failure().reason;
        return false;
    }
    fill(run, *summary);
    return true;
}

// Why a run's files are not what Halvern writes; empty when they are.
QString damageOf(const QFileInfo &raw, const RunFiles::Name &name)
{
    if (const QString kind = oddKind(raw.absoluteFilePath()); !kind.isEmpty())
        return QStringLiteral("the raw file is ") + kind;
    if (!name.exact)
        return QStringLiteral("its name is not one Halvern makes");
    if (const QString kind = oddKind(RunFiles::timesPathFor(raw.absoluteFilePath())); !kind.isEmpty())
        return QStringLiteral("the times file is ") + kind;
    if (const QString kind = oddKind(RunFiles::summaryPathFor(raw.absoluteFilePath())); !kind.isEmpty())
        return QStringLiteral("the summary is ") + kind;
    if (const QString kind = oddKind(RunManifest::pathFor(raw.absoluteFilePath())); !kind.isEmpty())
        return QStringLiteral("the manifest is ") + kind;
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
        if (!name)
            continue; // whatever stands under a run's name is listed, a FIFO or a folder as damaged
        Run run;
        run.rawPath = entry.absoluteFilePath();
        run.started = name->started;
        run.comNumber = name->comNumber;
        run.bytes = sizeOf(entry.fileName());
        run.damage = damageOf(entry, *name);
        run.diskBytes = run.bytes;
        if (name->exact) {
            const QString times = QFileInfo(RunFiles::timesPathFor(entry.fileName())).fileName();
            const QString summary = QFileInfo(RunFiles::summaryPathFor(entry.fileName())).fileName();
            const QString manifest = QFileInfo(RunFiles::manifestPathFor(entry.fileName())).fileName();
            run.diskBytes += sizeOf(times) + sizeOf(summary) + sizeOf(manifest);
            // The manifest is the record; the summary only of runs kept before it.
            bool ended = false;
            if (run.damage.isEmpty() && byName.contains(manifest)) {
                ended = readManifest(run.rawPath, run);
            } else if (run.damage.isEmpty() && !RunJournal::isHeld(run.rawPath)
                       && JournalCheckpoints::any(run.rawPath)) {
                // Never offered to be made again: that would record the files as found.
                run.damage =
                    QStringLiteral("its record was removed (the journal has checkpoints, the manifest is gone)");
            } else if (run.damage.isEmpty() && byName.contains(summary)) {
                run.damage = readSummary(entry.absolutePath() + '/' + summary, run);
                ended = run.damage.isEmpty();
            }
            if (run.damage.isEmpty() && !ended)
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
    const Result<std::unique_ptr<QFile>> opened = PlainFile::open(rawPath, PlainFile::Mode::Read);
    if (!opened || !(*opened)->seek(tally.offset))
        return false;
    QFile &file = **opened;
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
    const Result<std::unique_ptr<QFile>> opened =
        PlainFile::open(RunFiles::timesPathFor(rawPath), PlainFile::Mode::Read);
    if (opened) {
        QFile &times = **opened;
        times.seek(std::max<qint64>(0, times.size() - kLastNoteTail));
        const QList<QByteArray> lines = times.readAll().trimmed().split('\n');
        // The last note, past the checkpoints after it.
        for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
            if (RunFiles::looksLikeCheckpoint(*line))
                continue;
            const QDateTime at = RunFiles::noteTime(line->split(' ').value(1));
            if (at.isValid())
                return at;
            break;
        }
    }
    return QFileInfo(rawPath).lastModified();
}

std::optional<Failure> RunCatalog::remove(const Run &run)
{
    if (run.state == State::Running || RunJournal::isHeld(run.rawPath))
        return Failure{QStringLiteral("the run is still running")};
    QStringList paths{run.rawPath, RunFiles::timesPathFor(run.rawPath), RunFiles::summaryPathFor(run.rawPath),
                      RunFiles::manifestPathFor(run.rawPath)};
    // The values kept at each save and the time stamps go with their run.
    const QFileInfo raw(run.rawPath);
    const QString base = raw.completeBaseName();
    for (const QString &name :
         raw.dir().entryList({base + QStringLiteral(".values-*"), base + QStringLiteral(".stamps")},
                             QDir::Files | QDir::Hidden | QDir::System))
        paths << raw.dir().filePath(name);
    for (const QString &path : paths) {
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
