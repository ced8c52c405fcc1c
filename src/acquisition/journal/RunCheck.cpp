#include "RunCheck.h"

#include "FileDigest.h"
#include "JournalReader.h"
#include "LogCategories.h"
#include "RunCatalog.h"
#include "RunFiles.h"
#include "RunJournal.h"
#include "RunOrder.h"
#include "SummaryChain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
constexpr qint64 kMaxSummary = 64 * 1024;

QString readSummary(const QString &path, bool *found = nullptr)
{
    QFile file(path);
    const bool open = file.open(QIODevice::ReadOnly);
    if (found)
        *found = open;
    return open ? QString::fromUtf8(file.read(kMaxSummary)) : QString();
}

// A file against its recorded hash: Matches, Changed or Missing (a file that
// cannot be read is as good as gone).
RunCheck::Verdict compare(const QString &path, const QString &recorded, const std::atomic<bool> *cancel)
{
    if (!QFileInfo::exists(path))
        return RunCheck::Verdict::Missing;
    const Result<QString> now = FileDigest::sha256(path, cancel);
    if (!now) {
        qCWarning(lcJournal) << "cannot hash" << path << ":" << now.failure().reason;
        return RunCheck::Verdict::Missing;
    }
    return *now == recorded ? RunCheck::Verdict::Matches : RunCheck::Verdict::Changed;
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
    case RunCheck::Verdict::Changed:
        break;
    }
    return 3;
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
    return RunProvenance::parse(readSummary(RunFiles::summaryPathFor(rawPath)));
}

RunCheck::Result RunCheck::journal(const QString &rawPath, const RunProvenance &p, const std::atomic<bool> *cancel)
{
    Result result;
    switch (compare(rawPath, p.rawSha256, cancel)) {
    case Verdict::Matches:
        result.add(Verdict::Matches, QStringLiteral("The journal's bytes match their recorded SHA-256: ") + rawPath);
        break;
    case Verdict::Changed:
        result.add(Verdict::Changed, QStringLiteral("The journal's bytes do NOT match their recorded SHA-256: they "
                                                    "were changed after the run ended: ")
                                         + rawPath);
        break;
    default:
        result.add(Verdict::Missing, QStringLiteral("The journal's bytes are missing or cannot be read: ") + rawPath);
        break;
    }
    const QString times = RunFiles::timesPathFor(rawPath);
    if (p.timesSha256.isEmpty()) {
        if (QFileInfo::exists(times))
            result.add(Verdict::Changed,
                       QStringLiteral("The journal's times were made after the run ended (it had none): ") + times);
        return result;
    }
    switch (compare(times, p.timesSha256, cancel)) {
    case Verdict::Matches:
        result.add(Verdict::Matches, QStringLiteral("The journal's times match their recorded SHA-256: ") + times);
        break;
    case Verdict::Changed:
        result.add(Verdict::Changed, QStringLiteral("The journal's times do NOT match their recorded SHA-256: they "
                                                    "were changed after the run ended: ")
                                         + times);
        break;
    default:
        result.add(Verdict::Missing, QStringLiteral("The journal's times are missing or cannot be read: ") + times);
        break;
    }
    return result;
}

RunCheck::Result RunCheck::run(const QString &rawPath, const std::atomic<bool> *cancel)
{
    Result result;
    bool found = false;
    const QString summary = readSummary(RunFiles::summaryPathFor(rawPath), &found);
    if (!found) {
        result.add(Verdict::NotRecorded,
                   (QFileInfo::exists(rawPath) ? QStringLiteral("Not recorded: the run has no summary (it is running "
                                                                "or ended without Stop): ")
                                               : QStringLiteral("No such run: "))
                       + rawPath);
        return result;
    }
    const RunProvenance p = RunProvenance::parse(summary);
    if (!p.recorded()) {
        result.add(Verdict::NotRecorded,
                   QStringLiteral("Not recorded: the run's summary holds no hashes (written by an older Halvern): ")
                       + RunFiles::summaryPathFor(rawPath));
        return result;
    }
    result = journal(rawPath, p, cancel);
    for (const RunProvenance::SavedFile &file : p.saved) {
        if (file.sha256.isEmpty()) {
            result.add(Verdict::NotRecorded,
                       QStringLiteral("The workbook's hash could not be taken when it was saved: ") + file.path);
            continue;
        }
        switch (compare(file.path, file.sha256, cancel)) {
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
        default:
            result.add(Verdict::Missing, QStringLiteral("The workbook is not where Halvern saved it: ") + file.path);
            break;
        }
    }
    return result;
}

QStringList RunCheck::chainGaps(const QString &folder)
{
    const QStringList runs = RunOrder::runsInStartOrder(folder);
    QStringList gaps;
    for (qsizetype i = 0; i < runs.size(); ++i) {
        const QString name = QFileInfo(runs[i]).fileName();
        const RunProvenance p = recorded(runs[i]);
        if (!p.recorded())
            continue;
        const QString before = i > 0 ? QFileInfo(runs[i - 1]).fileName() : QString();
        if (p.previousRun.isEmpty()) {
            if (!before.isEmpty())
                gaps << QStringLiteral("Gap in the chain before %1: the run %2 was put in the folder after %1 ended")
                            .arg(name, before);
            continue;
        }
        if (p.previousRun != before) {
            if (!QFileInfo::exists(QDir(folder).filePath(p.previousRun)))
                gaps << QStringLiteral("Gap in the chain before %1: the run before it, %2, is missing")
                            .arg(name, p.previousRun);
            else
                gaps << QStringLiteral("Gap in the chain before %1: the run %2 was put between it and %3")
                            .arg(name, before, p.previousRun);
            continue;
        }
        if (p.previousSummary.isEmpty())
            continue; // the run before had no summary yet when this one ended
        bool found = false;
        const QString summary = readSummary(RunFiles::summaryPathFor(runs[i - 1]), &found);
        if (!found)
            gaps << QStringLiteral("Gap in the chain before %1: the summary of %2 is missing").arg(name, before);
        else if (SummaryChain::chainDigest(summary) != p.previousSummary)
            gaps << QStringLiteral("Gap in the chain before %1: the summary of %2 was changed after %1 ended")
                        .arg(name, before);
    }
    return gaps;
}

RunCheck::Result RunCheck::folder(const QString &folder)
{
    Result result;
    int checked = 0;
    int matching = 0;
    int notRecorded = 0;
    for (const RunCatalog::Run &kept : RunCatalog::scan(folder)) {
        if (kept.state == RunCatalog::State::Running || kept.state == RunCatalog::State::Unfinished)
            continue;
        ++checked;
        const Result one = run(kept.rawPath);
        if (one.verdict == Verdict::Matches) {
            ++matching;
        } else if (one.verdict == Verdict::NotRecorded) {
            ++notRecorded; // counted, not listed: an older Halvern's runs hold nothing to check
        } else {
            for (qsizetype i = 0; i < one.lines.size(); ++i)
                if (one.verdicts[i] != Verdict::Matches)
                    result.add(one.verdicts[i],
                               QFileInfo(kept.rawPath).fileName() + QStringLiteral(": ") + one.lines[i]);
        }
    }
    const QStringList gaps = chainGaps(folder);
    for (const QString &gap : gaps)
        result.add(Verdict::Changed, gap);
    result.add(Verdict::Matches,
               QStringLiteral("%1 runs checked: %2 match, %3 do not, %4 not recorded; %5 gaps in the chain")
                   .arg(checked)
                   .arg(matching)
                   .arg(checked - matching - notRecorded)
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
        return 1;
    case Verdict::Missing:
    case Verdict::NotRecorded:
        break;
    }
    return 2;
}
