#include "CellChanges.h"

#include "DataCellComparison.h"

#include <algorithm>

CellChanges::Outcome CellChanges::compare(const QList<Workbook::SheetValues> &saved,
                                          const QList<Workbook::SheetValues> &now)
{
    Outcome out;
    const qsizetype sheets = std::max(saved.size(), now.size());
    for (qsizetype s = 0; s < sheets; ++s) {
        const Workbook::SheetValues *before = s < saved.size() ? &saved[s] : nullptr;
        const Workbook::SheetValues *after = s < now.size() ? &now[s] : nullptr;
        if (!before)
            out.sheets << QStringLiteral("sheet \"%1\" added since the save").arg(after->name);
        else if (!after)
            out.sheets << QStringLiteral("sheet \"%1\" removed since the save").arg(before->name);
        else if (before->name != after->name)
            out.sheets << QStringLiteral("sheet \"%1\" renamed \"%2\" since the save").arg(before->name, after->name);
        // As DataCellComparison names them: the first sheet's cells plainly.
        const QString prefix = s == 0 ? QString() : (after ? after->name : before->name) + QLatin1Char('.');
        const qsizetype rows = std::max(before ? before->rows.size() : 0, after ? after->rows.size() : 0);
        for (qsizetype r = 0; r < rows; ++r) {
            const qsizetype columns =
                std::max(DataCellComparison::rowWidth(before, r), DataCellComparison::rowWidth(after, r));
            for (qsizetype c = 0; c < columns; ++c) {
                const CellValue was = DataCellComparison::cellAt(before, r, c);
                const CellValue is = DataCellComparison::cellAt(after, r, c);
                if (DataCellComparison::same(was, is))
                    continue;
                if (out.count++ >= kMaxNamed)
                    continue;
                const QString name = prefix + DataCellComparison::cellName(std::int32_t(r + 1), std::int32_t(c + 1));
                if (DataCellComparison::isEmpty(was))
                    out.named << QStringLiteral("%1: added, %2").arg(name, DataCellComparison::valueText(is));
                else if (DataCellComparison::isEmpty(is))
                    out.named << QStringLiteral("%1: removed, was %2").arg(name, DataCellComparison::valueText(was));
                else
                    out.named << QStringLiteral("%1: %2 when saved, %3 now")
                                     .arg(name, DataCellComparison::valueText(was), DataCellComparison::valueText(is));
            }
        }
    }
    return out;
}
