// A run's record checked by the real program: a run made through the main
// window (real port, real headless office) and saved as .xls verifies; the
// workbook carries its run in document properties that .xls, .xlsx and .ods
// keep; a data cell changed in the office is named with both values, as
// saved and now; a
// changed journal byte is told; a run removed between two others is a gap.
#include "AppSettings.h"
#include "CalcSpreadsheetFactory.h"
#include "DataCellComparison.h"
#include "FileContents.h"
#include "FileDigest.h"
#include "MainWindowFixture.h"
#include "ManifestStamper.h"
#include "ProgramRun.h"
#include "QStringPrinter.h"
#include "RecordedRuns.h"
#include "RunCatalog.h"
#include "RunDocumentProperties.h"
#include "RunFiles.h"
#include "RunJournal.h"
#include "RunManifest.h"
#include "RunManifestWriter.h"
#include "TimestampAuthority.h"
#include "TimestampSettings.h"
#include "WaitUntil.h"

#include <QTemporaryDir>
#include <QTime>
#include <gtest/gtest.h>

namespace {
// The built program, without a display, in this test's private home (its
// data folder moved to `dataHome` when given).
ProgramRun halvern(const QStringList &args, const QString &dataHome = {})
{
    QProcessEnvironment env = ProgramRun::headlessEnvironment();
    if (!dataHome.isEmpty())
        env.insert("XDG_DATA_HOME", dataHome);
    return ProgramRun::run(args, env, 180000);
}

QString property(const Workbook::Properties &properties, const QString &name)
{
    for (const auto &[key, value] : properties)
        if (key == name)
            return value;
    return {};
}

QByteArray recordLines(int count)
{
    QByteArray text;
    for (int n = 1; n <= count; ++n)
        text += QByteArray::number(n) + " :: " + QByteArray::number(3 * n) + "\r\n";
    return text;
}

using VerifyTest = MainWindowFixture;
} // namespace

TEST_F(VerifyTest, ASavedRunVerifiesAndEveryLaterChangeIsNamed)
{
    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    ASSERT_TRUE(rig.sendWritten(recordLines(30)));
    const QString saved = rig.outputFile("run.xls");
    rig.saveAnswer = saved;
    click(w().cmdStop);
    ASSERT_TRUE(QFileInfo::exists(saved));

    const QList<RunCatalog::Run> runs = RunCatalog::scan(RunJournal::defaultFolder());
    ASSERT_EQ(runs.size(), 1);
    const QString raw = runs[0].rawPath;
    const QString summary = QString::fromUtf8(readFile(RunFiles::summaryPathFor(raw)));
    for (const char *line : {"Port: COM5 (", "Raw bytes SHA-256: ", "Arrival times SHA-256: ", "User: ", "Computer: ",
                             "Halvern version: ", "Saved file: ", "Previous run: (none)"})
        EXPECT_TRUE(summary.contains(line)) << line << "\n" << summary.toStdString();
    EXPECT_FALSE(summary.contains("Office version: (not known)")) << summary.toStdString();

    ProgramRun verified = halvern({"--verify", saved});
    EXPECT_EQ(verified.exitCode, 0) << verified.out.toStdString();
    EXPECT_TRUE(verified.out.contains("byte for byte as Halvern saved it")) << verified.out.toStdString();

    // The user opens the workbook, changes one data cell and saves it, also
    // as .xlsx and .ods: the run's properties stay in all three.
    const QString xlsx = rig.outputFile("run.xlsx");
    const QString ods = rig.outputFile("run.ods");
    QString expected;
    {
        CalcSpreadsheetFactory office;
        const std::shared_ptr<SpreadsheetApp> app = office.createHeadless();
        const std::shared_ptr<Workbook> book = app->open(saved);
        const QList<QList<CellValue>> rows = book->values().value(0).rows;
        int row = 0;
        while (row < rows.size() && !std::holds_alternative<double>(rows[row].value(0, QString())))
            ++row;
        ASSERT_LT(row, rows.size()) << "no number in column A";
        const double was = std::get<double>(rows[row][0]);
        app->setCell(row + 1, 1, was + 54);
        expected = QStringLiteral("Since the save: %1: %2 when saved, %3 now")
                       .arg(DataCellComparison::cellName(row + 1, 1))
                       .arg(was)
                       .arg(was + 54);
        for (const QString &path : {xlsx, ods, saved})
            book->saveAs(path);
        app->quit();
    }
    {
        CalcSpreadsheetFactory office;
        const std::shared_ptr<SpreadsheetApp> app = office.createHeadless();
        for (const QString &path : {saved, xlsx, ods}) {
            const Workbook::Properties properties = app->open(path)->customProperties();
            EXPECT_EQ(property(properties, RunDocumentProperties::kRawFileProperty), QFileInfo(raw).fileName())
                << path.toStdString();
        }
        app->quit();
    }

    verified = halvern({"--verify", saved});
    EXPECT_EQ(verified.exitCode, 1) << verified.out.toStdString();
    EXPECT_TRUE(verified.out.contains(expected)) << expected.toStdString() << "\n" << verified.out.toStdString();
    EXPECT_TRUE(verified.out.contains("1 cell changed, added or removed since")) << verified.out.toStdString();

    QByteArray bytes = readFile(raw);
    bytes[0] = bytes[0] == '9' ? '8' : '9';
    writeFile(raw, bytes);
    for (const QString &file : {saved, raw}) {
        verified = halvern({"--verify", file});
        EXPECT_EQ(verified.exitCode, 1) << verified.out.toStdString();
        EXPECT_TRUE(verified.out.contains("The journal's bytes do NOT match their recorded SHA-256"))
            << verified.out.toStdString();
    }
}

// With a time-stamping authority set: the run's record is stamped and
// verifies; a value added below the data in the office is named; the edited
// workbook's hash put into the newest entry of the record, which no later
// entry links, is caught by its stamp.
TEST_F(VerifyTest, AValueAddedBelowTheDataAndAnEditedNewestEntryAreCaught)
{
    TimestampAuthority authority;
    ASSERT_TRUE(authority.ready());
    AppSettings::save("Timestamp", "Url", authority.url());
    AppSettings::save("Timestamp", "CaFile", authority.caFile());
    ManifestStamper stamper(TimestampSettings::load());
    RunManifestWriter::setWitness(&stamper);
    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    ASSERT_TRUE(rig.sendWritten(recordLines(30)));
    const QString saved = rig.outputFile("run.xls");
    rig.saveAnswer = saved;
    click(w().cmdStop);
    const bool stamped = waitUntil([&stamper] { return stamper.client().pending() == 0; }, 60000);
    RunManifestWriter::setWitness(nullptr);
    ASSERT_TRUE(stamped);
    ASSERT_TRUE(QFileInfo::exists(saved));
    const QString raw = RunCatalog::scan(RunJournal::defaultFolder()).value(0).rawPath;
    const QString manifest = RunManifest::pathFor(raw);
    EXPECT_TRUE(readFile(manifest).contains("\nvalues.sha256=")) << readFile(manifest).toStdString();

    ProgramRun verified = halvern({"--verify", saved});
    EXPECT_EQ(verified.exitCode, 0) << verified.out.toStdString();
    EXPECT_TRUE(verified.out.contains("was stamped at")) << verified.out.toStdString();

    const QString before = FileDigest::sha256(saved).value();
    QString added;
    {
        CalcSpreadsheetFactory office;
        const std::shared_ptr<SpreadsheetApp> app = office.createHeadless();
        const std::shared_ptr<Workbook> book = app->open(saved);
        const int below = int(book->values().value(0).rows.size()) + 1;
        app->setCell(below, 1, 9.5);
        added = QStringLiteral("Since the save: %1: added, 9.5").arg(DataCellComparison::cellName(below, 1));
        book->saveAs(saved);
        app->quit();
    }
    verified = halvern({"--verify", saved});
    EXPECT_EQ(verified.exitCode, 1) << verified.out.toStdString();
    EXPECT_TRUE(verified.out.contains(added)) << added.toStdString() << "\n" << verified.out.toStdString();

    QByteArray record = readFile(manifest);
    const qsizetype at = record.lastIndexOf(before.toLatin1());
    ASSERT_GT(at, record.lastIndexOf("\n@entry ")) << "the newest entry names the saved workbook";
    record.replace(at, before.size(), FileDigest::sha256(saved).value().toLatin1());
    writeFile(manifest, record);
    verified = halvern({"--verify", saved});
    EXPECT_EQ(verified.exitCode, 1) << verified.out.toStdString();
    EXPECT_TRUE(verified.out.contains("has no time stamp")) << verified.out.toStdString();
}

TEST_F(VerifyTest, APausedRunsWorkbookSavedAgainInTheOfficeVerifies)
{
    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    ASSERT_TRUE(rig.sendWritten(recordLines(3)));
    click(w().cmdPause);
    // Blocks that arrive in seconds of their own while the run is paused:
    // their stamps are their arrival, not the Resume's.
    for (int block = 1; block <= 2; ++block) {
        const int second = QTime::currentTime().second();
        ASSERT_TRUE(waitUntil([second] { return QTime::currentTime().second() != second; }, 3000));
        ASSERT_TRUE(rig.sendReceived("\r\n\r\n\r\n" + QByteArray::number(block) + "\t7\r\n"));
    }
    const int second = QTime::currentTime().second();
    ASSERT_TRUE(waitUntil([second] { return QTime::currentTime().second() != second; }, 3000));
    click(w().cmdResume);
    ASSERT_TRUE(rig.written());
    const QString saved = rig.outputFile("paused.xls");
    rig.saveAnswer = saved;
    click(w().cmdStop);
    ASSERT_TRUE(QFileInfo::exists(saved));
    {
        // Opened and saved again without a change: no longer byte for byte
        // the saved one, so its cells are compared with the journal's.
        CalcSpreadsheetFactory office;
        const std::shared_ptr<SpreadsheetApp> app = office.createHeadless();
        app->open(saved)->saveAs(saved);
        app->quit();
    }
    const ProgramRun verified = halvern({"--verify", saved});
    EXPECT_EQ(verified.exitCode, 0) << verified.out.toStdString();
    EXPECT_TRUE(verified.out.contains("its data cells are compared")) << verified.out.toStdString();
}

TEST(VerifyRuns, OneOfThreeRunsDeletedIsAGap)
{
    QTemporaryDir data;
    const QString folder = data.filePath("Halvern/runs");
    const QDateTime start(QDate(2026, 12, 7), QTime(9, 0, 0));
    QStringList raws;
    for (int i = 0; i < 3; ++i)
        raws << recordRun(folder, start.addSecs(600 * i), recordLines(5));
    const ProgramRun before = halvern({"--verify-runs"}, data.path());
    EXPECT_EQ(before.exitCode, 0) << before.out.toStdString();

    RunCatalog::Run middle;
    middle.rawPath = raws[1];
    ASSERT_EQ(RunCatalog::remove(middle), std::nullopt);
    const ProgramRun after = halvern({"--verify-runs"}, data.path());
    EXPECT_EQ(after.exitCode, 1) << after.out.toStdString();
    EXPECT_TRUE(after.out.contains(QStringLiteral("Gap in the chain before %1: the run before it, %2, is missing")
                                       .arg(QFileInfo(raws[2]).fileName(), QFileInfo(raws[1]).fileName())))
        << after.out.toStdString();
}
