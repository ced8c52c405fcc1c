#include "RunCheck.h"

#include "FileDigest.h"
#include "JournalCheckpoints.h"
#include "LogCategories.h"
#include "PlainFile.h"
#include "ManifestRun.h"
#include "ManifestSummary.h"
#include "RunCatalog.h"
#include "RunChain.h"
#include "RunFiles.h"
#include "RunJournal.h"
#include "RunManifest.h"
#include "RunManifestReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

namespace {
using SummaryText = ::Result<std::optional<QString>>;

// The summary's text; nothing when the run has none; the failure when what
// stands in its place is not a plain file or cannot be read.
SummaryText readSummary(const QString &path) { return RunFiles::readSummaryFile(path); }

QString summaryOrNothing(const QString &path)
{
    const SummaryText text = readSummary(path);
    return text && text->has_value() ? **text : QString();
}

// Whether anything stands at `path`, a link or a FIFO too.
bool present(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

// A file against its recorded hash: Matches, Changed, Missing (nothing of
// that name), or Unchecked with why (not a plain file, unreadable).
std::pair<RunCheck::Verdict, QString> compare(const QString &path, const QString &recorded,
                                              const std::atomic<bool> *cancel)
{
    if (!present(path))
        return {RunCheck::Verdict::Missing, QString()};
    const ::Result<QString> now = FileDigest::sha256(path, cancel);
    if (!now) {
        qCWarning(lcJournal).noquote() << "cannot hash" << path << ":" << now.failure().reason;
        return {RunCheck::Verdict::Unchecked, now.failure().reason};
    }
    return {*now == recorded ? RunCheck::Verdict::Matches : RunCheck::Verdict::Changed, QString()};
}

int rank(RunCheck::Verdict v)
{
    switch (v) {
    case RunCheck::Verdict::Matches:
        return 0;
    case RunCheck::Verdict::NotRecorded:
        return 1;
    case RunCheck::Verdict::Missing:
        return 2;
    case RunCheck::Verdict::Unchecked:
        return 3;
    case RunCheck::Verdict::Changed:
        break;
    }
    return 4;
}
} // namespace

void RunCheck::Result::add(Verdict v, const QString &line)
{
    if (rank(v) > rank(verdict))
        verdict = v;
    lines.append(line);
    verdicts.append(v);
}

RunProvenance RunCheck::recorded(const QString &rawPath)
{
    const QString path = RunManifest::pathFor(rawPath);
    if (!present(path))
        return RunProvenance::parse(summaryOrNothing(RunFiles::summaryPathFor(rawPath)));
    const ::Result<RunManifest> manifest = RunManifestReader::read(path);
    if (!manifest)
        return RunProvenance();
    const ::Result<RunSummary> summary = ManifestSummary::of(*manifest, rawPath);
    return summary ? summary->provenance : RunProvenance();
}

RunCheck::Result RunCheck::record(const QString &rawPath, const std::atomic<bool> *cancel, bool withSuccessor)
{
    Result result;
    const QString name = QFileInfo(rawPath).fileName();
    const QString manifestPath = RunManifest::pathFor(rawPath);
    if (!present(manifestPath)) {
        notRecorded(rawPath, result, cancel);
        return result;
    }
    const ::Result<RunManifest> manifest = RunManifestReader::read(manifestPath);
    if (!manifest) {
        result.add(Verdict::Changed,
                   QStringLiteral("The run's record was changed after it was written: ") + manifest.failure().reason);
        return result;
    }
    const ::Result<ManifestRun> run = ManifestRun::fromEntry(manifest->entries.first());
    if (!run || run->rawName != name) {
        result.add(
            Verdict::Changed,
            QStringLiteral("The manifest %1 is not the record of %2: %3")
                .arg(manifestPath, name, run ? QStringLiteral("it names %1").arg(run->rawName) : run.failure().reason));
        return result;
    }
    if (!present(rawPath)) {
        result.add(Verdict::Changed, QStringLiteral("The journal's bytes are gone: ") + rawPath);
        return result;
    }
    // The summary is drawn from the manifest, but what stands in its place
    // is named when it is not a plain file.
    const QString summaryPath = RunFiles::summaryPathFor(rawPath);
    if (present(summaryPath))
        if (const std::optional<Failure> odd = PlainFile::check(summaryPath))
            result.add(Verdict::Unchecked, QStringLiteral("The run's summary cannot be read: ") + odd->reason);
    const ManifestEntry *endEntry = manifest->first(ManifestEnd::kKind);
    if (!endEntry) {
        if (RunJournal::isHeld(rawPath))
            result.add(Verdict::Missing, QStringLiteral("The run is still running: ") + rawPath);
        else
            result.add(Verdict::Missing, QStringLiteral("The run ended without Stop and is not recovered yet; make "
                                                        "its workbook or decline it in the Runs window: ")
                                             + rawPath);
        checkpoints(rawPath, std::nullopt, result, cancel);
        return result;
    }
    const ::Result<ManifestEnd> end = ManifestEnd::fromEntry(*endEntry);
    if (!end) {
        result.add(Verdict::Changed,
                   QStringLiteral("The run's record was changed after it was written: ") + end.failure().reason);
        return result;
    }
    hashes(rawPath, end->rawSha256, end->timesSha256, result, cancel);
    checkpoints(rawPath, *end, result, cancel);
    const QString broken = withSuccessor ? RunChain::successorBreak(rawPath) : QString();
    if (!broken.isEmpty())
        result.add(Verdict::Changed, broken);
    return result;
}

void RunCheck::notRecorded(const QString &rawPath, Result &result, const std::atomic<bool> *cancel)
{
    const QString name = QFileInfo(rawPath).fileName();
    if (!present(rawPath)) {
        result.add(Verdict::NotRecorded, QStringLiteral("No such run: ") + rawPath);
        return;
    }
    if (RunJournal::isHeld(rawPath)) {
        result.add(Verdict::Missing, QStringLiteral("The run is still running: ") + rawPath);
        return;
    }
    if (JournalCheckpoints::any(rawPath)) {
        result.add(Verdict::Changed, QStringLiteral("The record of the run %1 was removed: its journal was written "
                                                    "with checkpoints, but its manifest is gone")
                                         .arg(name));
        return;
    }
    // Kept before manifests: the summary's hashes are looked at, but a summary
    // can be edited along with the files, so the run never matches.
    const SummaryText summary = readSummary(RunFiles::summaryPathFor(rawPath));
    if (!summary) {
        result.add(Verdict::Unchecked, QStringLiteral("The run's summary cannot be read: ") + summary.failure().reason);
        return;
    }
    if (!summary->has_value()) {
        result.add(Verdict::NotRecorded,
                   QStringLiteral("No summary: the run has none (it is running or ended without Stop): ") + rawPath);
        return;
    }
    const RunProvenance p = RunProvenance::parse(**summary);
    if (p.recorded())
        hashes(rawPath, p.rawSha256, p.timesSha256, result, cancel);
    result.add(Verdict::NotRecorded,
               QStringLiteral("Not recorded: the run was kept by a Halvern that wrote no manifest: ") + rawPath);
}

void RunCheck::hashes(const QString &rawPath, const QString &rawSha256, const QString &timesSha256, Result &result,
                      const std::atomic<bool> *cancel)
{
    const auto [rawVerdict, rawWhy] = compare(rawPath, rawSha256, cancel);
    switch (rawVerdict) {
    case Verdict::Matches:
        result.add(Verdict::Matches, QStringLiteral("The journal's bytes match their recorded SHA-256: ") + rawPath);
        break;
    case Verdict::Changed:
        result.add(Verdict::Changed, QStringLiteral("The journal's bytes do NOT match their recorded SHA-256: they "
                                                    "were changed after the run ended: ")
                                         + rawPath);
        break;
    case Verdict::Unchecked:
        result.add(Verdict::Unchecked, QStringLiteral("The journal's bytes cannot be checked: ") + rawWhy);
        break;
    default:
        result.add(Verdict::Missing, QStringLiteral("The journal's bytes are missing: ") + rawPath);
        break;
    }
    const QString times = RunFiles::timesPathFor(rawPath);
    if (timesSha256.isEmpty()) {
        if (present(times))
            result.add(Verdict::Changed,
                       QStringLiteral("The journal's times were made after the run ended (it had none): ") + times);
        return;
    }
    const auto [timesVerdict, timesWhy] = compare(times, timesSha256, cancel);
    switch (timesVerdict) {
    case Verdict::Matches:
        result.add(Verdict::Matches, QStringLiteral("The journal's times match their recorded SHA-256: ") + times);
        break;
    case Verdict::Changed:
        result.add(Verdict::Changed, QStringLiteral("The journal's times do NOT match their recorded SHA-256: they "
                                                    "were changed after the run ended: ")
                                         + times);
        break;
    case Verdict::Unchecked:
        result.add(Verdict::Unchecked, QStringLiteral("The journal's times cannot be checked: ") + timesWhy);
        break;
    default:
        result.add(Verdict::Changed, QStringLiteral("The journal's times are missing: ") + times);
        break;
    }
}

void RunCheck::checkpoints(const QString &rawPath, const std::optional<ManifestEnd> &end, Result &result,
                           const std::atomic<bool> *cancel)
{
    const JournalCheckpoints::Outcome c = JournalCheckpoints::check(rawPath, cancel);
    if (!c.fault.isEmpty()) {
        result.add(c.readable ? Verdict::Changed : Verdict::Missing,
                   (c.cutShort ? QStringLiteral("The journal was cut short: ")
                               : QStringLiteral("The journal does NOT "
                                                "match its checkpoints: "))
                       + c.fault);
        return;
    }
    if (c.count == 0) {
        if (!end || end->bytes > 0)
            result.add(Verdict::Changed,
                       QStringLiteral("The journal's checkpoints were removed: ") + RunFiles::timesPathFor(rawPath));
        return;
    }
    result.add(Verdict::Matches, QStringLiteral("The journal matches its %1 checkpoints, the last at byte %2")
                                     .arg(c.count)
                                     .arg(c.lastMatched->rawOffset));
    if (!end || end->hashedTo < 0)
        return;
    if (c.lastMatched->rawOffset != end->hashedTo || c.lastMatched->rawSha256 != end->hashedToSha256) {
        result.add(Verdict::Changed, QStringLiteral("The journal's last checkpoint is not the one the run was "
                                                    "recovered with (byte %1)")
                                         .arg(end->hashedTo));
        return;
    }
    result.add(Verdict::Matches, QStringLiteral("The run ended without Stop: it was hashed up to byte %1 at the last "
                                                "sync before the crash, and the journal matches it")
                                     .arg(end->hashedTo));
}

RunCheck::Result RunCheck::run(const QString &rawPath, const std::atomic<bool> *cancel, bool withSuccessor)
{
    Result result = record(rawPath, cancel, withSuccessor);
    if (!present(RunManifest::pathFor(rawPath)) || result.verdict == Verdict::Changed)
        return result;
    for (const RunProvenance::SavedFile &file : recorded(rawPath).saved) {
        if (file.sha256.isEmpty()) {
            result.add(Verdict::NotRecorded,
                       QStringLiteral("The workbook's hash could not be taken when it was saved: ") + file.path);
            continue;
        }
        const auto [verdict, why] = compare(file.path, file.sha256, cancel);
        switch (verdict) {
        case Verdict::Matches:
            result.add(Verdict::Matches,
                       QStringLiteral("The workbook is byte for byte as Halvern saved it: ") + file.path);
            break;
        case Verdict::Changed:
            result.add(Verdict::Changed,
                       QStringLiteral("The workbook was changed after Halvern saved it: %1 (halvern --verify \"%1\" "
                                      "names the data cells that differ)")
                           .arg(file.path));
            break;
        case Verdict::Unchecked:
            result.add(Verdict::Unchecked, QStringLiteral("The workbook cannot be checked: ") + why);
            break;
        default:
            result.add(Verdict::Missing, QStringLiteral("The workbook is not where Halvern saved it: ") + file.path);
            break;
        }
    }
    return result;
}

QStringList RunCheck::chainGaps(const QString &folder) { return RunChain::gaps(folder); }

RunCheck::Result RunCheck::folder(const QString &folder)
{
    Result result;
    int checked = 0;
    int matching = 0;
    int notRecorded = 0;
    int unchecked = 0;
    for (const RunCatalog::Run &kept : RunCatalog::scan(folder)) {
        if (kept.state == RunCatalog::State::Running)
            continue;
        ++checked;
        const QString name = QFileInfo(kept.rawPath).fileName();
        Result one = run(kept.rawPath, nullptr, false); // the chain is checked whole below
        // A run the listing found damaged is never taken as matching: what
        // the check saw of it, else why it cannot be checked.
        if (kept.state == RunCatalog::State::Damaged
            && (one.verdict == Verdict::Matches || one.verdict == Verdict::NotRecorded))
            one.add(Verdict::Unchecked, QStringLiteral("cannot be checked: ") + kept.damage);
        if (one.verdict == Verdict::Unchecked)
            ++unchecked;
        if (one.verdict == Verdict::Matches) {
            ++matching;
        } else if (one.verdict == Verdict::NotRecorded) {
            ++notRecorded; // counted, not listed: an older Halvern's runs hold nothing to check
        } else {
            for (qsizetype i = 0; i < one.lines.size(); ++i)
                if (one.verdicts[i] != Verdict::Matches)
                    result.add(one.verdicts[i], name + QStringLiteral(": ") + one.lines[i]);
        }
    }
    // A manifest whose journal is gone: the run's files were removed.
    const QDir dir(folder);
    for (const QString &manifest : dir.entryList({QStringLiteral("*.manifest")}, QDir::Files | QDir::Hidden)) {
        const QString raw = dir.filePath(manifest.chopped(QStringLiteral(".manifest").size()) + QStringLiteral(".raw"));
        if (present(raw))
            continue;
        ++checked;
        result.add(
            Verdict::Changed,
            QStringLiteral("%1: the run's journal is gone; only its manifest is left").arg(QFileInfo(raw).fileName()));
    }
    const QStringList gaps = chainGaps(folder);
    for (const QString &gap : gaps)
        result.add(Verdict::Changed, gap);
    result.add(Verdict::Matches,
               QStringLiteral("%1 runs: %2 match, %3 do not, %4 cannot be checked, %5 not recorded; %6 gaps in the "
                              "chain")
                   .arg(checked)
                   .arg(matching)
                   .arg(checked - matching - notRecorded - unchecked)
                   .arg(unchecked)
                   .arg(notRecorded)
                   .arg(gaps.size()));
    return result;
}

QString RunCheck::verdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Matches:
        return QStringLiteral("matches");
    case Verdict::Changed:
        return QStringLiteral("changed");
    case Verdict::Missing:
        return QStringLiteral("missing");
    case Verdict::Unchecked:
        return QStringLiteral("cannot be checked");
    case Verdict::NotRecorded:
        break;
    }
    return QStringLiteral("not recorded");
}

int RunCheck::exitStatus(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Matches:
        return 0;
    case Verdict::Changed:
    case Verdict::Unchecked:
        return 1;
    case Verdict::Missing:
    case Verdict::NotRecorded:
        break;
    }
    return 2;
}
