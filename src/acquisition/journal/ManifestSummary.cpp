#include "ManifestSummary.h"

#include "ManifestEnd.h"
#include "ManifestRun.h"
#include "ManifestSave.h"
#include "RunCatalog.h"

namespace {
// A value shown on one line.
QString oneLine(const QString &value) { return RunCatalog::printable(value); }
} // namespace

QString ManifestSummary::keptOnItsLines(const QString &text, const QString &label)
{
    QString out;
    const QStringList lines = text.split('\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        if (line.startsWith(label) || out.isEmpty())
            out += (out.isEmpty() ? QString() : QStringLiteral("\n")) + oneLine(line);
        else
            out += QStringLiteral("\\x0a") + oneLine(line);
    }
    return out.isEmpty() ? out : out + '\n';
}

Result<RunSummary> ManifestSummary::of(const RunManifest &manifest, const QString &rawPath)
{
    if (manifest.entries.isEmpty())
        return Failure{QStringLiteral("it holds no entry")};
    const Result<ManifestRun> run = ManifestRun::fromEntry(manifest.entries.first());
    if (!run)
        return run.failure();
    RunSummary s;
    RunProvenance &p = s.provenance;
    s.started = run->started;
    s.comNumber = run->comNumber;
    s.device = oneLine(run->device);
    s.rawPath = rawPath;
    p.login = oneLine(run->login);
    p.fullName = oneLine(run->fullName);
    p.host = oneLine(run->host);
    p.halvernVersion = oneLine(run->halvernVersion);
    p.adapter = oneLine(run->adapter);
    p.previousRun = oneLine(run->previousRun);
    p.previousSummary = run->previousSha256;
    for (const ManifestEntry &entry : manifest.entries) {
        if (entry.kind() == ManifestEnd::kKind) {
            const Result<ManifestEnd> end = ManifestEnd::fromEntry(entry);
            if (!end)
                return end.failure();
            s.stopped = end->stopped;
            s.endedWithoutStop = end->endedWithoutStop;
            s.bytes = end->bytes;
            s.lines = end->lines;
            s.rowsUsed = end->rowsUsed;
            s.sheets = end->sheets;
            s.counts = end->counts;
            s.brokenLinesDropped = end->brokenLinesDropped;
            s.linesMissing = end->linesMissing;
            s.rebuilt = keptOnItsLines(end->rebuilt, QStringLiteral("Workbook rebuilt from the journal: "));
            s.macro = keptOnItsLines(end->macro, QStringLiteral("User macro: "));
            s.journalProblem = oneLine(end->journalProblem);
            s.journalIncomplete = keptOnItsLines(end->journalIncomplete, QStringLiteral("Journal incomplete: "));
            if (!end->device.isEmpty())
                s.device = oneLine(end->device);
            if (!end->adapter.isEmpty())
                p.adapter = oneLine(end->adapter);
            p.rawSha256 = end->rawSha256;
            p.timesSha256 = end->timesSha256;
            p.officeVersion = oneLine(end->officeVersion);
            if (end->hashedTo >= 0)
                s.otherLines += QStringLiteral("Hashed up to byte %1 at the last sync before the crash: %2\n")
                                    .arg(end->hashedTo)
                                    .arg(end->hashedToSha256);
        } else if (entry.kind() == RunManifest::kRebuildKind) {
            // The files made now are the run's workbook from here on.
            s.rebuilt = keptOnItsLines(entry.value(QStringLiteral("rebuilt")),
                                       QStringLiteral("Workbook rebuilt from the journal: "));
            const QString macro = entry.value(QStringLiteral("macro"));
            if (!macro.isEmpty())
                s.macro = keptOnItsLines(macro, QStringLiteral("User macro: "));
            s.savedAs.clear();
            s.alsoSavedAs.clear();
            p.saved.clear();
        } else if (entry.kind() == ManifestSave::kKind) {
            const Result<ManifestSave> save = ManifestSave::fromEntry(entry);
            if (!save)
                return save.failure();
            if (save->role == QStringLiteral("whole"))
                s.alsoSavedAs = oneLine(save->path);
            else
                s.savedAs = oneLine(save->path);
            p.saved.append({oneLine(save->path), save->sha256});
        }
    }
    return s;
}
