#pragma once

#include "Workbook.h"

#include <QString>
#include <QStringList>
#include <cstdint>

// A saved workbook's cells against the same workbook rebuilt from the run's
// journal, sheet by sheet in order. A cell the journal fills is a data cell:
// when the workbook holds anything else there, it differs. A cell the journal
// leaves empty but the workbook fills was written by the user's macro at
// Stop, or by hand later: it is named as such, never as a change. (A macro
// that overwrites data cells shows as changes to them.)
class DataCellComparison {
public:
    // At most this many cells of each kind are named; the rest are counted.
    static constexpr int kMaxNamed = 50;

    struct Outcome {
        QStringList differing; // "B12: 1517 in the journal, 1571 in the workbook"
        std::int64_t differingCount = 0;
        QStringList notFromJournal; // "D1: Total (written by the macro or by hand)"
        std::int64_t notFromJournalCount = 0;
        std::int64_t dataCells = 0; // cells the journal fills
        // Rows (and their data cells) the journal fills past the row limit of
        // the workbook's format, where the workbook holds nothing: the format
        // cut them off, which is no difference.
        std::int64_t rowsBeyondLimit = 0;
        std::int64_t cellsBeyondLimit = 0;
    };

    // With rowLimit > 0, the workbook's format keeps that many rows at most.
    static Outcome compare(const QList<Workbook::SheetValues> &journal, const QList<Workbook::SheetValues> &workbook,
                           std::int64_t rowLimit = 0);
    // "The workbook was cut at the .xls format's limit of 65,536 rows: ..."
    // for an outcome with rows beyond the limit.
    static QString cutText(const QString &format, std::int64_t rowLimit, const Outcome &outcome);

    // "B12" for row 12, column 2 (both from 1).
    static QString cellName(std::int32_t row, std::int32_t column);
    // A value as a person reads it; "empty" for an empty cell.
    static QString valueText(const CellValue &value);
    static bool isEmpty(const CellValue &value);
    // Equal; numbers within the last bit a file format may round.
    static bool same(const CellValue &a, const CellValue &b);
    // The value at a row and column of a sheet (0-based); empty past its
    // end or without a sheet.
    static CellValue cellAt(const Workbook::SheetValues *sheet, qsizetype row, qsizetype column);
    // The cells the row holds; 0 past the sheet's end or without a sheet.
    static qsizetype rowWidth(const Workbook::SheetValues *sheet, qsizetype row);
};
