// The values as saved: every non-empty cell of every sheet round-trips
// through the file, a changed or foreign file is refused; and the cells
// changed, added or removed since the save are each named.
#include "CellChanges.h"
#include "FileContents.h"
#include "SavedValues.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
Workbook::SheetValues sheet(QList<QList<CellValue>> rows, const QString &name = QStringLiteral("Sheet1"))
{
    return {name, std::move(rows)};
}

const QList<Workbook::SheetValues> kSaved{
    sheet({{QString("Run 7"), QString(), 12.8233}, {1.0, 1517.0}, {}, {2.0, QString("a\nb\t\"c\"")}}),
    sheet({}, "Empty"),
    sheet({{QString(), QString(), QString("Total")}}, "Macro's"),
};
} // namespace

TEST(SavedValues, KeepsEveryNonEmptyCellAndReadsItBackByItsHash)
{
    QTemporaryDir runs;
    const QString raw = runs.filePath("2026-12-07_14-30-00_COM3.raw");
    const Result<QString> hash = SavedValues::keep(raw, kSaved);
    ASSERT_TRUE(hash);
    EXPECT_TRUE(SavedValues::pathFor(raw, *hash).endsWith("_COM3.values-" + *hash));
    const Result<QList<Workbook::SheetValues>> back = SavedValues::load(raw, *hash);
    ASSERT_TRUE(back) << back.failure().reason.toStdString();
    ASSERT_EQ(back->size(), 3);
    EXPECT_EQ((*back)[1].name, "Empty");
    EXPECT_EQ(CellChanges::compare(kSaved, *back).count, 0);
    EXPECT_EQ((*back)[0].rows[3][1], CellValue(QString("a\nb\t\"c\"")));
}

TEST(SavedValues, RefusesAFileThatIsNotWhatItsHashSays)
{
    QTemporaryDir runs;
    const QString raw = runs.filePath("run.raw");
    const Result<QString> hash = SavedValues::keep(raw, kSaved);
    ASSERT_TRUE(hash);
    const QByteArray good = readFile(SavedValues::pathFor(raw, *hash));
    QByteArray edited = good;
    edited[edited.size() - 1] = char(edited.back() ^ 1);
    writeFile(SavedValues::pathFor(raw, *hash), edited);
    EXPECT_FALSE(SavedValues::load(raw, *hash));
    EXPECT_FALSE(SavedValues::load(raw, "../x"));
    const struct {
        const char *what;
        QByteArray bytes;
    } damaged[] = {{"no header", good.mid(5)},
                   {"cut short", good.left(good.size() - 3)},
                   {"not compressed", QByteArray("halvern saved values 1\nplain")},
                   {"a row out of range", "halvern saved values 1\n"
                                              + qCompress(QByteArray::fromHex("00000001"
                                                                              "00000000"
                                                                              "00000001"
                                                                              "7fffffff"
                                                                              "00000000"
                                                                              "01"))}};
    for (const auto &d : damaged)
        EXPECT_FALSE(SavedValues::decode(d.bytes)) << d.what;
}

TEST(CellChanges, NamesEachCellChangedAddedOrRemovedAndEachSheet)
{
    QList<Workbook::SheetValues> now = kSaved;
    now[0].rows[1][1] = 1571.0;                           // changed
    now[0].rows.append(QList<CellValue>{QString(), 9.5}); // added below the data
    now[2].rows[0][2] = QString();                        // removed
    now.append(sheet({{1.0}}, "Notes"));
    const CellChanges::Outcome out = CellChanges::compare(kSaved, now);
    EXPECT_EQ(out.named, (QStringList{"B2: 1517 when saved, 1571 now", "B5: added, 9.5",
                                      "Macro's.C1: removed, was \"Total\"", "Notes.A1: added, 1"}));
    EXPECT_EQ(out.sheets, QStringList{"sheet \"Notes\" added since the save"});
    EXPECT_EQ(out.count, 4);
}
