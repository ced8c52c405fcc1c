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

namespace {
CellValue at(const Workbook::SheetValues *sheet, qsizetype row, qsizetype column)
{
    if (!sheet || row >= sheet->rows.size() || column >= sheet->rows[row].size())
        return QString();
    return sheet->rows[row][column];
}

qsizetype width(const Workbook::SheetValues *sheet, qsizetype row)
{
    return sheet && row < sheet->rows.size() ? sheet->rows[row].size() : 0;
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

DataCellComparison::Outcome DataCellComparison::compare(const QList<Workbook::SheetValues> &journal,
                                                        const QList<Workbook::SheetValues> &workbook)
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
            const qsizetype columns = std::max(width(j, r), width(w, r));
            for (qsizetype c = 0; c < columns; ++c) {
                const CellValue fromJournal = at(j, r, c);
                const CellValue inWorkbook = at(w, r, c);
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
