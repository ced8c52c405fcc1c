#include "UnfinishedRuns.h"

#include "AppSettings.h"
#include "FileDigest.h"
#include "JournalCheckpoints.h"
#include "LogCategories.h"
#include "MessageBoxes.h"
#include "ProvenanceGatherer.h"
#include "RunFiles.h"
#include "RunRecordKeeper.h"

#include <QFileInfo>

namespace {
const QString kStamp = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString kTitle = QStringLiteral("Halvern");
// Runs declined whose summary could not be written, one raw file a line.
const QString kSection = QStringLiteral("Runs");
const QString kDeclined = QStringLiteral("DeclinedWithoutSummary");

QStringList declinedWithoutSummary()
{
    return AppSettings::get(kSection, kDeclined, QString()).split('\n', Qt::SkipEmptyParts);
}
} // namespace

QList<RunCatalog::Run> UnfinishedRuns::find(const QString &journalFolder)
{
    QList<RunCatalog::Run> runs = RunCatalog::unfinished(RunCatalog::scan(journalFolder));
    const QStringList declined = declinedWithoutSummary();
    runs.removeIf([&declined](const RunCatalog::Run &run) { return declined.contains(run.rawPath); });
    // A run that received nothing has no workbook to make: it is noted as not
    // saved rather than offered.
    runs.removeIf([](const RunCatalog::Run &run) {
        if (run.bytes > 0)
            return false;
        qCInfo(lcJournal).noquote() << "A run that received nothing is not offered:" << run.rawPath;
        markNotSaved(run);
        return true;
    });
    for (RunCatalog::Run &run : runs) {
        run.lines = RunCatalog::countLines(run.rawPath);
        run.ended = RunCatalog::lastArrival(run.rawPath);
    }
    return runs;
}

UnfinishedRuns::Answer UnfinishedRuns::offer(MessageBoxes &boxes, const QList<RunCatalog::Run> &runs)
{
    if (runs.isEmpty())
        return Answer::None;
    QString text;
    if (runs.size() == 1) {
        const RunCatalog::Run &run = runs[0];
        text = QStringLiteral("A run ended without Stop: Halvern or the computer stopped during it. Everything it "
                              "received is kept.\n\nStarted: %1\nPort: COM%2\nLines received: %3\n\n"
                              "Make its workbook now?")
                   .arg(run.started.toString(kStamp))
                   .arg(run.comNumber)
                   .arg(run.lines);
    } else {
        text = QStringLiteral("%1 runs ended without Stop: Halvern or the computer stopped during them. Everything "
                              "they received is kept.\n\nShow them in the Runs window to make their workbooks?")
                   .arg(runs.size());
    }
    if (boxes.show(text, kTitle, MessageBoxes::Buttons::OkCancel) != MessageBoxes::Answer::Ok)
        return Answer::Declined;
    return runs.size() == 1 ? Answer::MakeOne : Answer::ShowAll;
}

std::optional<Failure> UnfinishedRuns::recordEnd(const RunCatalog::Run &run, const QString &rebuilt,
                                                 const QString &savedAs, const QString &alsoSavedAs,
                                                 const QString &officeVersion)
{
    ManifestEnd end;
    end.stopped = run.ended.isValid() ? run.ended : RunCatalog::lastArrival(run.rawPath);
    end.endedWithoutStop = true;
    end.bytes = run.bytes;
    end.lines = run.lines >= 0 ? run.lines : RunCatalog::countLines(run.rawPath);
    end.rebuilt = rebuilt;
    end.officeVersion = officeVersion;
    const JournalCheckpoints::Outcome checked = JournalCheckpoints::check(run.rawPath);
    if (checked.lastMatched) {
        end.hashedTo = checked.lastMatched->rawOffset;
        end.hashedToSha256 = checked.lastMatched->rawSha256;
    }
    if (!checked.fault.isEmpty())
        qCWarning(lcJournal) << "the journal of the run" << run.rawPath
                             << "does not match its checkpoints:" << checked.fault;
    const Result<QString> raw = FileDigest::sha256(run.rawPath);
    if (!raw)
        return Failure{QStringLiteral("cannot hash %1: %2").arg(run.rawPath, raw.failure().reason)};
    end.rawSha256 = *raw;
    const QString times = RunFiles::timesPathFor(run.rawPath);
    if (QFileInfo::exists(times)) {
        const Result<QString> timesHash = FileDigest::sha256(times);
        if (timesHash)
            end.timesSha256 = *timesHash;
        else
            qCWarning(lcJournal).noquote() << "cannot hash" << times << ":" << timesHash.failure().reason;
    }
    // A run an older Halvern began, or whose manifest could not be made at
    // its start, is begun now with what is known of it.
    ManifestRun begun = ManifestRun::gather(run.rawPath, run.started, run.comNumber);
    begun.device = run.device;
    return RunRecordKeeper::end(
        run.rawPath, begun, end,
        {ManifestSave::of(savedAs, QStringLiteral("saved")), ManifestSave::of(alsoSavedAs, QStringLiteral("whole"))});
}

bool UnfinishedRuns::markNotSaved(const RunCatalog::Run &run)
{
    const std::optional<Failure> failure = recordEnd(run);
    if (!failure)
        return true;
    // Declined all the same: kept in the settings so that it is not offered again.
    qCWarning(lcJournal) << "the declined run" << run.rawPath
                         << "is noted in the settings, not in its manifest:" << failure->reason;
    QStringList declined = declinedWithoutSummary();
    declined.removeIf([](const QString &rawPath) { return !QFileInfo::exists(rawPath); });
    declined.append(run.rawPath);
    AppSettings::save(kSection, kDeclined, declined.join('\n'));
    return false;
}
