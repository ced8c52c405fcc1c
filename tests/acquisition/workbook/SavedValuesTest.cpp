// The values as saved: every non-empty cell of every sheet round-trips
// through the file, a changed or foreign file is refused; the cells changed,
// added or removed since the save are each named; the save's entry in the
// run's manifest names them, and a workbook is held against them and the
// journal.
#include "CellChanges.h"
#include "FileContents.h"
#include "ManifestRun.h"
#include "RunManifest.h"
#include "RunManifestReader.h"
#include "RunManifestWriter.h"
#include "SaveRecord.h"
#include "SavedValues.h"
#include "SavedValuesCheck.h"

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

TEST(SavedValuesCheck, AWorkbookIsHeldAgainstItsSaveAndTheSaveAgainstTheJournal)
{
    QTemporaryDir runs;
    const QString raw = runs.filePath("2026-12-07_14-30-00_COM3.raw");
    ManifestRun run;
    run.started = QDateTime::currentDateTime();
    run.comNumber = 3;
    run.rawName = "2026-12-07_14-30-00_COM3.raw";
    ASSERT_TRUE(RunManifestWriter::create(RunManifest::pathFor(raw), run.toEntry()));
    writeFile(runs.filePath("run.xls"), "saved bytes");
    const Result<ManifestEntry> entry =
        SaveRecord::append(raw, runs.filePath("run.xls"), "saved", kSaved, QDateTime::currentDateTime());
    ASSERT_TRUE(entry) << entry.failure().reason.toStdString();
    const Result<RunManifest> manifest = RunManifestReader::read(RunManifest::pathFor(raw));
    ASSERT_TRUE(manifest);
    const ManifestEntry *save = SaveRecord::valuesFor(*manifest, runs.filePath("elsewhere.xls"));
    ASSERT_NE(save, nullptr);
    const QString values = save->value(SaveRecord::kValuesField);

    // The journal fills the record lines; the rest is the macro's.
    const QList<Workbook::SheetValues> journal{sheet({{QString(), QString(), 12.8233}, {1.0, 1517.0}})};
    QList<Workbook::SheetValues> addedBelow = kSaved;
    addedBelow[0].rows.append(QList<CellValue>{QString(), 9.5});
    QList<Workbook::SheetValues> otherJournal = journal;
    otherJournal[0].rows[0][2] = 12.825;
    const struct {
        const char *what;
        QList<Workbook::SheetValues> now, rebuilt;
        RunCheck::Verdict verdict;
        const char *says;
    } cases[] = {
        {"saved again unchanged", kSaved, journal, RunCheck::Verdict::Matches, "Every cell is as Halvern saved it"},
        {"a value added below the data", addedBelow, journal, RunCheck::Verdict::Changed,
         "Since the save: B5: added, 9.5"},
        {"a save that was not the journal", kSaved, otherJournal, RunCheck::Verdict::Changed,
         "As saved: C1: 12.825 in the journal, 12.8233 in the workbook"},
    };
    for (const auto &c : cases) {
        RunCheck::Result result;
        SavedValuesCheck::check(result, raw, values, c.now, c.rebuilt);
        EXPECT_EQ(result.verdict, c.verdict) << c.what << ": " << result.lines.join('\n').toStdString();
        EXPECT_TRUE(result.lines.contains(c.says)) << c.what << ": " << result.lines.join('\n').toStdString();
    }
}
