#include "RecordedRuns.h"

#include "ProvenanceGatherer.h"
#include "RunJournal.h"
#include "RunSummary.h"

QString recordRun(const QString &folder, const QDateTime &start, const QByteArray &bytes, const QString &savedAs)
{
    RunJournal journal;
    if (!journal.open(folder, start, 5))
        return QString();
    journal.append(bytes, start);
    RunSummary summary;
    summary.started = start;
    summary.stopped = start.addSecs(1);
    summary.comNumber = 5;
    summary.bytes = journal.bytes();
    summary.lines = journal.lines();
    summary.rawPath = journal.rawPath();
    summary.savedAs = savedAs;
    summary.provenance = ProvenanceGatherer::gather(journal.rawPath(), journal.rawSha256(), journal.timesSha256());
    ProvenanceGatherer::addSaved(summary.provenance, savedAs);
    journal.writeSummary(summary.text());
    journal.close();
    return summary.rawPath;
}
