#include "SavedValuesCheck.h"

#include "CellChanges.h"
#include "DataCellComparison.h"
#include "SavedValues.h"

using Verdict = RunCheck::Verdict;

void SavedValuesCheck::check(RunCheck::Result &result, const QString &rawPath, const QString &valuesSha256,
                             const QList<Workbook::SheetValues> &now, const QList<Workbook::SheetValues> &rebuilt)
{
    const Result<QList<Workbook::SheetValues>> saved = SavedValues::load(rawPath, valuesSha256);
    if (!saved) {
        result.add(Verdict::Changed, saved.failure().reason);
        return;
    }
    const CellChanges::Outcome changes = CellChanges::compare(*saved, now);
    for (const QString &line : changes.sheets)
        result.add(Verdict::Changed, QStringLiteral("Since the save: ") + line);
    for (const QString &line : changes.named)
        result.add(Verdict::Changed, QStringLiteral("Since the save: ") + line);
    if (changes.count > changes.named.size())
        result.add(
            Verdict::Changed,
            QStringLiteral("... and %1 more cells changed since the save").arg(changes.count - changes.named.size()));
    result.add(
        changes.count > 0 || !changes.sheets.isEmpty() ? Verdict::Changed : Verdict::Matches,
        changes.count > 0
            ? QStringLiteral("%1 cells changed, added or removed since Halvern saved the workbook").arg(changes.count)
        : changes.sheets.isEmpty() ? QStringLiteral("Every cell is as Halvern saved it")
                                   : QStringLiteral("Its sheets are not those Halvern saved"));

    const DataCellComparison::Outcome data = DataCellComparison::compare(rebuilt, *saved);
    for (const QString &line : data.differing)
        result.add(Verdict::Changed, QStringLiteral("As saved: ") + line);
    if (data.differingCount > data.differing.size())
        result.add(Verdict::Changed, QStringLiteral("... and %1 more data cells as saved differ from the journal")
                                         .arg(data.differingCount - data.differing.size()));
    result.add(data.differingCount > 0 ? Verdict::Changed : Verdict::Matches,
               data.differingCount > 0
                   ? QStringLiteral("%1 of %2 data cells as saved differ from the journal")
                         .arg(data.differingCount)
                         .arg(data.dataCells)
                   : QStringLiteral("All %1 data cells as saved match the journal").arg(data.dataCells));
}
