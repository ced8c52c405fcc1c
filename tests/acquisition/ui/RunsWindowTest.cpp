// The Runs window: the table of kept runs, lines counted in the background,
// Enter and the Delete key, a refresh when a run starts and its row kept up
// to date while it runs, each run checked against its recorded hashes in the
// background, told cell by cell, sorting by a click on a column's header.
#include "Clicks.h"
#include "FileContents.h"
#include "KeptRuns.h"
#include "RecordedRuns.h"
#include "RecordingMessageBoxes.h"
#include "RunArchiveState.h"
#include "RunJournal.h"
#include "WaitUntil.h"
#include "frmRuns.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <gtest/gtest.h>

namespace {
class RunsWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = writeKeptRun(dir.path(), "2026-12-06_09-00-00_COM5", "a\r\nb\r\n",
                             stopSummary("2026-12-06 09:00:00", "2026-12-06 10:00:00", 2, "/data/a.xls", "/dev/ttyS0"));
        unfinished = writeKeptRun(dir.path(), "2026-12-07_08-00-00_COM3", QByteArray(5000, 'x') + "\r\n1\r\n");
        window = std::make_unique<frmRuns>(dir.path(), boxes, [this](const QString &raw, std::function<void()> done) {
            made.append(raw);
            if (holdMakes)
                pending.append(std::move(done)); // made later, as with a macro that runs on
            else
                done();
        });
        window->show();
    }
    QString cell(int row, int column) const { return window->grdRuns->model()->index(row, column).data().toString(); }
    int rows() const { return window->grdRuns->model()->rowCount(); }

    QTemporaryDir dir;
    QString saved;
    QString unfinished;
    RecordingMessageBoxes boxes;
    QStringList made;
    bool holdMakes = false;
    QList<std::function<void()>> pending; // the makes not yet over
    std::unique_ptr<frmRuns> window;
};
} // namespace

TEST_F(RunsWindowTest, ListsTheRunsNewestFirstAndCountsUnfinishedLinesInTheBackground)
{
    EXPECT_EQ(window->windowTitle(), "Runs");
    EXPECT_FALSE(window->isModal());
    ASSERT_EQ(rows(), 2);
    const QStringList newest{cell(0, frmRuns::StartColumn), cell(0, frmRuns::EndColumn), cell(0, frmRuns::ComColumn),
                             cell(0, frmRuns::BytesColumn), cell(0, frmRuns::WorkbookColumn)};
    EXPECT_EQ(newest, (QStringList{"2026-12-07 08:00:00", "ended without Stop", "COM3", "5005", "not saved"}));
    EXPECT_EQ(cell(1, frmRuns::EndColumn), "2026-12-06 10:00:00");
    EXPECT_EQ(cell(1, frmRuns::DeviceColumn), "/dev/ttyS0");
    EXPECT_EQ(cell(1, frmRuns::LinesColumn), "2");
    EXPECT_EQ(cell(1, frmRuns::WorkbookColumn), "/data/a.xls");
    EXPECT_TRUE(waitUntil([&] { return cell(0, frmRuns::LinesColumn) == "2"; }, 5000)) << cell(0, 5).toStdString();
}

TEST_F(RunsWindowTest, EnterMakesTheSelectedWorkbookDeleteAsksThenRemovesTheFiles)
{
    window->selectRuns({unfinished});
    QTest::keyClick(window->grdRuns, Qt::Key_Return);
    EXPECT_EQ(made, QStringList{unfinished});

    boxes.answers = {MessageBoxes::Answer::Cancel};
    QTest::keyClick(window->grdRuns, Qt::Key_Delete);
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_TRUE(boxes.boxes[0].text.contains("2026-12-07 08:00:00 on COM3")) << boxes.boxes[0].text.toStdString();
    EXPECT_TRUE(QFile::exists(unfinished));
    QTest::keyClick(window->grdRuns, Qt::Key_Delete);
    EXPECT_FALSE(QFile::exists(unfinished));
    EXPECT_EQ(QDir(dir.path()).entryList({"2026-12-07_08-00-00_COM3.*"}, QDir::Files), QStringList{});
    EXPECT_EQ(rows(), 1);

    // A run that received nothing: told at once, nothing made.
    const QString empty = writeKeptRun(dir.path(), "2026-12-08_08-00-00_COM4", "");
    window->refresh();
    window->selectRuns({empty});
    QTest::keyClick(window->grdRuns, Qt::Key_Return);
    EXPECT_EQ(made, QStringList{unfinished});
    ASSERT_EQ(boxes.boxes.size(), 3);
    EXPECT_TRUE(boxes.boxes[2].text.contains("received nothing")) << boxes.boxes[2].text.toStdString();
}

TEST_F(RunsWindowTest, SelectedRunsAreMadeOneAfterAnotherAndTheWindowWaitsForTheLast)
{
    holdMakes = true;
    window->selectRuns({saved, unfinished});
    QTest::keyClick(window->grdRuns, Qt::Key_Return);
    ASSERT_EQ(made.size(), 1);
    EXPECT_FALSE(window->isEnabled());
    pending.takeFirst()();
    ASSERT_EQ(made.size(), 2);
    EXPECT_FALSE(window->isEnabled());
    pending.takeFirst()();
    EXPECT_TRUE(window->isEnabled());
    made.sort();
    EXPECT_EQ(made, (QStringList{saved, unfinished}));
}

TEST_F(RunsWindowTest, ARunStartingIsShownRunningAndCannotBeMadeOrDeleted)
{
    RunJournal journal;
    ASSERT_EQ(journal.open(dir.path(), QDateTime(QDate(2026, 12, 8), QTime(7, 0)), 1), std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return rows() == 3; }, 5000));
    EXPECT_EQ(cell(0, frmRuns::EndColumn), "running");
    window->selectRuns({journal.rawPath()});
    EXPECT_FALSE(window->cmdMakeWorkbook->isEnabled());
    EXPECT_FALSE(window->cmdDelete->isEnabled());
    QTest::keyClick(window->grdRuns, Qt::Key_Delete);
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_TRUE(window->lblFolder->text().startsWith("3 runs in " + dir.path()));

    // Bytes arriving show in the running row without a change in the folder.
    journal.append("1 :: 2\r\n3 :: 4\r\n5", QDateTime::currentDateTime());
    ASSERT_TRUE(
        waitUntil([&] { return cell(0, frmRuns::BytesColumn) == "17" && cell(0, frmRuns::LinesColumn) == "2"; }, 5000))
        << "the running row at 17 bytes and 2 lines, not " << cell(0, frmRuns::BytesColumn).toStdString() << " and "
        << cell(0, frmRuns::LinesColumn).toStdString();
}

TEST_F(RunsWindowTest, ChecksEachRunInTheBackgroundAndVerifyShowsWhatWasFound)
{
    const QDateTime start(QDate(2026, 12, 8), QTime(6, 0));
    const QString intact = recordRun(dir.path(), start, "1 :: 3\r\n");
    const QString edited = recordRun(dir.path(), start.addSecs(60), "2 :: 6\r\n");
    writeFile(edited, "2 :: 77\r\n");
    window->refresh();
    QSignalSpy changes(window->grdRuns->model(), &QAbstractItemModel::dataChanged);
    auto checked = [&](const QString &raw) {
        for (int row = 0; row < window->runs().size(); ++row)
            if (window->runs()[row].rawPath == raw)
                return cell(row, frmRuns::CheckedColumn);
        return QString();
    };
    EXPECT_TRUE(waitUntil([&] { return checked(edited) == "changed"; }, 5000)) << checked(edited).toStdString();
    EXPECT_TRUE(waitUntil([&] { return checked(intact) == "matches"; }, 5000)) << checked(intact).toStdString();
    EXPECT_TRUE(waitUntil([&] { return checked(saved) == "not recorded"; }, 5000)) << checked(saved).toStdString();
    EXPECT_EQ(checked(unfinished), "");
    bool checkedCell = false;
    for (const QList<QVariant> &change : std::as_const(changes)) {
        const auto from = change[0].value<QModelIndex>();
        EXPECT_EQ(from, change[1].value<QModelIndex>()) << "one cell at a time";
        checkedCell = checkedCell || from.column() == frmRuns::CheckedColumn;
    }
    EXPECT_TRUE(checkedCell);

    window->selectRuns({edited});
    click(window->cmdVerify);
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_TRUE(boxes.boxes[0].text.contains("The journal's bytes do NOT match their recorded SHA-256"))
        << boxes.boxes[0].text.toStdString();
}

TEST_F(RunsWindowTest, ArchivedColumnShowsTheArchivesWordOnlyWithAnArchiveAndFollowsIt)
{
    EXPECT_TRUE(window->grdRuns->isColumnHidden(frmRuns::ArchivedColumn));
    struct Words : RunArchiveState {
        QString text = "waiting: The archive server cannot be reached";
        QString archivedText(const QString &rawPath) const override
        {
            return rawPath.endsWith("COM5.raw") ? text : QStringLiteral("sent");
        }
    } archive;
    window->setArchiveState(&archive);
    EXPECT_FALSE(window->grdRuns->isColumnHidden(frmRuns::ArchivedColumn));
    EXPECT_EQ(cell(0, frmRuns::ArchivedColumn), "sent");
    EXPECT_EQ(cell(1, frmRuns::ArchivedColumn), archive.text);
    archive.text = "sent";
    EXPECT_TRUE(waitUntil([&] { return cell(1, frmRuns::ArchivedColumn) == "sent"; }, 10000));
    window->setArchiveState(nullptr);
}

TEST_F(RunsWindowTest, AClickOnAHeaderSortsByValueAndRunsFollowTheTable)
{
    writeKeptRun(dir.path(), "2026-12-05_09-00-00_COM2", QByteArray(898, 'y') + "\r\n");
    window->refresh();
    QHeaderView *header = window->grdRuns->horizontalHeader();
    auto bytes = [&] {
        QList<qint64> out;
        for (const RunCatalog::Run &run : window->runs())
            out.append(run.bytes);
        return out;
    };
    EXPECT_EQ(bytes(), (QList<qint64>{5005, 6, 900})); // newest first
    const QPoint onBytes(header->sectionViewportPosition(frmRuns::BytesColumn) + 5, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, onBytes);
    const QList<qint64> ascending{6, 900, 5005}; // as numbers, not as text
    EXPECT_EQ(bytes(), header->sortIndicatorOrder() == Qt::AscendingOrder
                           ? ascending
                           : QList<qint64>(ascending.rbegin(), ascending.rend()));
    EXPECT_EQ(cell(0, frmRuns::BytesColumn), QString::number(bytes()[0]));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, onBytes);
    EXPECT_EQ(bytes().first(), header->sortIndicatorOrder() == Qt::AscendingOrder ? 6 : 5005);
}
