#include "DataCellComparison.h"

#include <algorithm>
#include <cmath>

bool DataCellComparison::isEmpty(const CellValue &value)
{
    const QString *text = std::get_if<QString>(&value);
    return text && text->isEmpty();
}

bool DataCellComparison::same(const CellValue &a, const CellValue &b)
{
    const double *x = std::get_if<double>(&a);
    const double *y = std::get_if<double>(&b);
    if (x && y) // a file format may round the last bit
        return *x == *y || std::abs(*x - *y) <= 1e-12 * std::max(std::abs(*x), std::abs(*y));
    return a == b;
}

CellValue DataCellComparison::cellAt(const Workbook::SheetValues *sheet, qsizetype row, qsizetype column)
{
    if (!sheet || row >= sheet->rows.size() || column >= sheet->rows[row].size())
        return QString();
    return sheet->rows[row][column];
}

qsizetype DataCellComparison::rowWidth(const Workbook::SheetValues *sheet, qsizetype row)
{
    return sheet && row < sheet->rows.size() ? sheet->rows[row].size() : 0;
}

namespace {
// 65536 as "65,536", the same in every locale.
QString grouped(std::int64_t n)
{
    QString digits = QString::number(n);
    for (qsizetype at = digits.size() - 3; at > (n < 0 ? 1 : 0); at -= 3)
        digits.insert(at, QLatin1Char(','));
    return digits;
}
} // namespace

QString DataCellComparison::cellName(std::int32_t row, std::int32_t column)
{
    QString letters;
    for (std::int32_t n = column; n > 0; n = (n - 1) / 26)
        letters.prepend(QChar('A' + (n - 1) % 26));
    return letters + QString::number(row);
}

QString DataCellComparison::valueText(const CellValue &value)
{
    if (const double *number = std::get_if<double>(&value))
        return QString::number(*number, 'g', 15);
    const QString &text = std::get<QString>(value);
    return text.isEmpty() ? QStringLiteral("empty") : QLatin1Char('"') + text + QLatin1Char('"');
}

QString DataCellComparison::cutText(const QString &format, std::int64_t rowLimit, const Outcome &outcome)
{
    return QStringLiteral("The workbook was cut at the %1 format's limit of %2 rows: the %3 rows beyond it (%4 data "
                          "cells) are in the journal only, which is not a difference")
        .arg(format, grouped(rowLimit), grouped(outcome.rowsBeyondLimit), grouped(outcome.cellsBeyondLimit));
}

DataCellComparison::Outcome DataCellComparison::compare(const QList<Workbook::SheetValues> &journal,
                                                        const QList<Workbook::SheetValues> &workbook,
                                                        std::int64_t rowLimit)
{
    Outcome out;
    const qsizetype sheets = std::max(journal.size(), workbook.size());
    for (qsizetype s = 0; s < sheets; ++s) {
        const Workbook::SheetValues *j = s < journal.size() ? &journal[s] : nullptr;
        const Workbook::SheetValues *w = s < workbook.size() ? &workbook[s] : nullptr;
        // Cells of the first sheet go by their plain names, as the user knows them.
        const QString prefix = s == 0 ? QString() : (w ? w->name : j->name) + QLatin1Char('.');
        const qsizetype rows = std::max(j ? j->rows.size() : 0, w ? w->rows.size() : 0);
        for (qsizetype r = 0; r < rows; ++r) {
            if (rowLimit > 0 && r >= rowLimit && rowWidth(w, r) == 0) {
                std::int64_t cells = 0;
                for (qsizetype c = 0; c < rowWidth(j, r); ++c)
                    cells += isEmpty(cellAt(j, r, c)) ? 0 : 1;
                out.rowsBeyondLimit += cells > 0 ? 1 : 0;
                out.cellsBeyondLimit += cells;
                continue;
            }
            const qsizetype columns = std::max(rowWidth(j, r), rowWidth(w, r));
            for (qsizetype c = 0; c < columns; ++c) {
                const CellValue fromJournal = cellAt(j, r, c);
                const CellValue inWorkbook = cellAt(w, r, c);
                const bool data = !isEmpty(fromJournal);
                out.dataCells += data ? 1 : 0;
                if (same(fromJournal, inWorkbook))
                    continue;
                const QString name = prefix + cellName(std::int32_t(r + 1), std::int32_t(c + 1));
                if (data) {
                    if (out.differingCount++ < kMaxNamed)
                        out.differing << QStringLiteral("%1: %2 in the journal, %3 in the workbook")
                                             .arg(name, valueText(fromJournal), valueText(inWorkbook));
                } else if (out.notFromJournalCount++ < kMaxNamed) {
                    out.notFromJournal
                        << QStringLiteral("%1: %2 (written by the macro or by hand)").arg(name, valueText(inWorkbook));
                }
            }
        }
    }
    return out;
}
