#include "CellComparisonReport.h"

using Verdict = RunCheck::Verdict;

void CellComparisonReport::add(const DataCellComparison::Outcome &cells, RunCheck::Result &result)
{
    for (const QString &line : cells.differing)
        result.add(Verdict::Changed, line);
    if (cells.differingCount > cells.differing.size())
        result.add(
            Verdict::Changed,
            QStringLiteral("... and %1 more data cells differ").arg(cells.differingCount - cells.differing.size()));
    for (const QString &line : cells.notFromJournal)
        result.add(Verdict::Matches, line);
    if (cells.notFromJournalCount > cells.notFromJournal.size())
        result.add(Verdict::Matches, QStringLiteral("... and %1 more cells not from the journal")
                                         .arg(cells.notFromJournalCount - cells.notFromJournal.size()));
    result.add(cells.differingCount > 0 ? Verdict::Changed : Verdict::Matches,
               cells.differingCount > 0 ? QStringLiteral("%1 of %2 data cells differ from the journal")
                                              .arg(cells.differingCount)
                                              .arg(cells.dataCells)
                                        : QStringLiteral("All %1 data cells match the journal").arg(cells.dataCells));
}
