// A saved workbook's cells against the journal's: each differing data cell
// named with both values, at most 50 then a count; cells the journal leaves
// empty named as the macro's or the user's, never as changes.
#include "DataCellComparison.h"

#include <gtest/gtest.h>

namespace {
Workbook::SheetValues sheet(QList<QList<CellValue>> rows, const QString &name = QStringLiteral("Sheet1"))
{
    return {name, std::move(rows)};
}
} // namespace

TEST(DataCellComparison, NamesCellsBySpreadsheetAddress)
{
    const struct {
        int row, column;
        const char *name;
    } cases[] = {{1, 1, "A1"}, {12, 2, "B12"}, {3, 26, "Z3"}, {4, 27, "AA4"}, {5, 256, "IV5"}, {6, 702, "ZZ6"}};
    for (const auto &c : cases)
        EXPECT_EQ(DataCellComparison::cellName(c.row, c.column), c.name);
}

TEST(DataCellComparison, TellsDataChangesFromCellsNotFromTheJournal)
{
    const QList<Workbook::SheetValues> journal{
        sheet({{QString("Run 7"), QString()}, {1.0, 1517.0}, {2.0, 1602.0}}),
        sheet({{3.0, 99.5}}, "Sheet1 2"),
    };
    const QList<Workbook::SheetValues> workbook{
        sheet({{QString("Run 7"), QString("checked")}, {1.0, 1571.0}, {2.0, 1602.0, QString("mean")}}),
        sheet({{3.0, QString()}}, "Sheet1 2"),
    };
    const DataCellComparison::Outcome out = DataCellComparison::compare(journal, workbook);
    EXPECT_EQ(out.differing, (QStringList{"B2: 1517 in the journal, 1571 in the workbook",
                                          "Sheet1 2.B1: 99.5 in the journal, empty in the workbook"}));
    EXPECT_EQ(out.notFromJournal, (QStringList{"B1: \"checked\" (written by the macro or by hand)",
                                               "C3: \"mean\" (written by the macro or by hand)"}));
    EXPECT_EQ(out.dataCells, 7);
}

TEST(DataCellComparison, NamesAtMostFiftyThenCounts)
{
    QList<QList<CellValue>> fromJournal;
    QList<QList<CellValue>> changed;
    for (int n = 0; n < 70; ++n) {
        fromJournal.append(QList<CellValue>{double(n)});
        changed.append(QList<CellValue>{double(n) + 1});
    }
    const DataCellComparison::Outcome out = DataCellComparison::compare({sheet(fromJournal)}, {sheet(changed)});
    EXPECT_EQ(out.differing.size(), DataCellComparison::kMaxNamed);
    EXPECT_EQ(out.differingCount, 70);
    EXPECT_TRUE(DataCellComparison::compare({sheet(fromJournal)}, {sheet(fromJournal)}).differing.isEmpty());
}

TEST(DataCellComparison, RowsTheFormatCutOffAreToldAsCutNotAsDifferences)
{
    QList<QList<CellValue>> fromJournal;
    for (int n = 1; n <= 5; ++n)
        fromJournal.append(QList<CellValue>{double(n), double(3 * n)});
    QList<QList<CellValue>> kept = fromJournal.mid(0, 3);
    const struct {
        const char *what;
        std::int64_t limit;
        QList<QList<CellValue>> workbook;
        std::int64_t differing, rowsBeyond, cellsBeyond;
    } cases[] = {
        {"cut at the limit", 3, kept, 0, 2, 4},
        {"no limit: the missing rows differ", 0, kept, 4, 0, 0},
        {"the last kept row changed", 3,
         [&] {
             auto changed = kept;
             changed[2][1] = 10.0;
             return changed;
         }(),
         1, 2, 4},
        {"cut one row before the limit", 4, kept, 2, 1, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const DataCellComparison::Outcome out =
            DataCellComparison::compare({sheet(fromJournal)}, {sheet(c.workbook)}, c.limit);
        EXPECT_EQ(out.differingCount, c.differing);
        EXPECT_EQ(out.rowsBeyondLimit, c.rowsBeyond);
        EXPECT_EQ(out.cellsBeyondLimit, c.cellsBeyond);
    }
    DataCellComparison::Outcome big;
    big.rowsBeyondLimit = 8928;
    big.cellsBeyondLimit = 26784;
    EXPECT_EQ(DataCellComparison::cutText(".xls", 65536, big),
              "The workbook was cut at the .xls format's limit of 65,536 rows: the 8,928 rows beyond it (26,784 data "
              "cells) are in the journal only, which is not a difference");
}
