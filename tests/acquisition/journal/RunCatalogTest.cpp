// The kept runs: listed from their summaries and sizes with their state, the
// journal's lock let go by the kernel, the files private, a run that ended
// without Stop offered once.
#include "FileContents.h"
#include "KeptRuns.h"
#include "RecordedRuns.h"
#include "RecordingMessageBoxes.h"
#include "RunCatalog.h"
#include "RunFiles.h"
#include "RunJournal.h"
#include "RunManifest.h"
#include "RunSummary.h"
#include "TmpfsMount.h"
#include "UnfinishedRuns.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
QStringList column(const QList<RunCatalog::Run> &runs, const std::function<QString(const RunCatalog::Run &)> &of)
{
    QStringList out;
    for (const RunCatalog::Run &run : runs)
        out.append(of(run));
    return out;
}

unsigned mode(const QString &path)
{
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 0777;
}
} // namespace

TEST(RunCatalog, ListsEveryRunNewestFirstWithItsState)
{
    QTemporaryDir dir;
    const QString f = dir.path();
    writeKeptRun(f, "2026-12-06_09-00-00_COM5", "a\r\nb\r\nc\r\n",
                 stopSummary("2026-12-06 09:00:00", "2026-12-06 10:00:00", 3, "/data/a.xls", "/dev/ttyUSB0"));
    writeKeptRun(f, "2026-12-06_09-00-00_COM5-2", "x\r\n", stopSummary("2026-12-06 09:00:00", "", 1, ""));
    const QString unfinished = writeKeptRun(f, "2026-12-07_08-00-00_COM2", "1\r\n2\r\n3");
    writeFile(f + "/notes.txt", "not a run");
    RunJournal running;
    ASSERT_EQ(running.open(f, QDateTime(QDate(2026, 12, 7), QTime(9, 0)), 7), std::nullopt);
    running.append("9\r\n", QDateTime::currentDateTime());

    std::int64_t total = 0;
    const QList<RunCatalog::Run> runs = RunCatalog::scan(f, &total);
    ASSERT_EQ(runs.size(), 4);
    EXPECT_EQ(column(runs, [](auto &r) { return QFileInfo(r.rawPath).fileName(); }),
              (QStringList{"2026-12-07_09-00-00_COM7.raw", "2026-12-07_08-00-00_COM2.raw",
                           "2026-12-06_09-00-00_COM5-2.raw", "2026-12-06_09-00-00_COM5.raw"}));
    EXPECT_EQ(column(runs, [](auto &r) { return RunCatalog::stateText(r.state); }),
              (QStringList{"running", "unfinished", "not saved", "saved"}));
    // Lines come from summaries; the rest are counted apart.
    EXPECT_EQ(column(runs, [](auto &r) { return QString::number(r.lines); }), (QStringList{"-1", "-1", "1", "3"}));
    EXPECT_EQ(RunCatalog::countLines(unfinished), 2);
    EXPECT_EQ(runs[3].device, "/dev/ttyUSB0");
    EXPECT_EQ(runs[3].ended, QDateTime(QDate(2026, 12, 6), QTime(10, 0)));
    EXPECT_EQ(RunCatalog::listingLine(runs[3]),
              "2026-12-06 09:00:00\tCOM5\t9\t3\tsaved\t/data/a.xls\t" + runs[3].rawPath);
    EXPECT_EQ(RunCatalog::listingLine(runs[1]).section('\t', 5, 5), "");
    qint64 onDisk = 0;
    for (const QFileInfo &file : QDir(f).entryInfoList(QDir::Files))
        onDisk += file.size();
    EXPECT_EQ(total, onDisk);

    // Deleting takes every file of a run (the values kept at its saves and
    // its time stamps too), and never a running run's.
    writeFile(f + "/2026-12-06_09-00-00_COM5.values-" + QString(64, 'a'), "values");
    writeFile(f + "/2026-12-06_09-00-00_COM5.stamps", "stamps");
    EXPECT_NE(RunCatalog::remove(runs[0]), std::nullopt);
    EXPECT_TRUE(QFile::exists(runs[0].rawPath));
    const std::optional<Failure> failure = RunCatalog::remove(runs[3]);
    ASSERT_FALSE(failure) << failure->reason.toStdString();
    EXPECT_EQ(QDir(f).entryList({"2026-12-06_09-00-00_COM5.*"}, QDir::Files), QStringList{});
}

TEST(RunFiles, NamesAndSummariesReadBackAsWritten)
{
    const QDateTime start(QDate(2026, 12, 7), QTime(14, 30, 5));
    const std::optional<RunFiles::Name> name = RunFiles::parseRawName(RunFiles::baseName(start, 12) + "-3.raw");
    ASSERT_TRUE(name);
    EXPECT_EQ(name->started, start);
    EXPECT_EQ(name->comNumber, 12);
    EXPECT_EQ(name->sameSecond, 3);
    EXPECT_TRUE(name->exact);
    EXPECT_FALSE(RunFiles::parseRawName(RunFiles::baseName(start, 12) + ".raw\n")->exact);
    EXPECT_FALSE(RunFiles::parseRawName("notes.raw"));

    RunSummary stopped;
    stopped.started = start;
    stopped.stopped = start.addSecs(3600);
    stopped.comNumber = 5;
    stopped.device = "/dev/ttyUSB0 (front)";
    stopped.bytes = 123456;
    stopped.lines = 789;
    stopped.rowsUsed = 65536;
    stopped.sheets = 2;
    stopped.counts.cellsWritten = 4000;
    stopped.counts.linesTooLong = 1;
    stopped.counts.linesPastLastColumn = 2;
    stopped.counts.cellsPastLastColumn = 30;
    stopped.counts.linesPastDataColumns = 4;
    stopped.counts.cellsPastDataColumns = 50;
    stopped.rebuilt = "Workbook rebuilt from the journal: 10 rows used, 20 cells written\n";
    stopped.macro = "User macro: Tidy ran\n";
    stopped.brokenLinesDropped = 6;
    stopped.linesMissing = 7;
    stopped.savedAs = "/home/lab/Documents/run.xls";
    stopped.alsoSavedAs = "/home/lab/Documents/run.xlsx";
    stopped.rawPath = "/home/lab/.local/share/Halvern/runs/2026-12-07_14-30-05_COM5.raw";
    stopped.journalProblem = "cannot write: No space left on device";
    stopped.journalIncomplete = "Journal incomplete: 5 bytes missing, from 2026-12-07 14:40:00 on (full)\n";
    stopped.otherLines = "Checked: yes\n";
    RunSummary killed;
    killed.started = start;
    killed.stopped = start.addSecs(60);
    killed.endedWithoutStop = true;
    for (const RunSummary &summary : {stopped, killed}) {
        const std::optional<RunSummary> read = RunSummary::parse(summary.text());
        ASSERT_TRUE(read);
        EXPECT_EQ(read->text(), summary.text());
        EXPECT_EQ(read->counts, summary.counts);
        EXPECT_EQ(read->device, summary.device);
        EXPECT_EQ(read->endedWithoutStop, summary.endedWithoutStop);
    }
    EXPECT_FALSE(RunSummary::parse("Started: 2026-12-07 14:30:05\n"));
}

TEST(RunCatalog, CountsLineEndsSplitBetweenReadPieces)
{
    QTemporaryDir dir;
    QByteArray bytes(1024 * 1024 - 1, 'x'); // CR is the piece's last byte, LF the next one's first
    bytes += "\r\ny\r\n\n\r";
    writeFile(dir.filePath("r.raw"), bytes);
    EXPECT_EQ(RunCatalog::countLines(dir.filePath("r.raw")), 2);
    EXPECT_EQ(RunCatalog::countLines(dir.filePath("none.raw")), -1);
}

TEST(RunJournal, HeldWhileOpenLetGoWhenItsProcessIsKilledAndPrivate)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + "/runs";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        RunJournal journal;
        journal.open(folder, QDateTime(QDate(2026, 12, 7), QTime(14, 30)), 5);
        journal.append("1\r\n", QDateTime::currentDateTime());
        [[maybe_unused]] const ssize_t n = ::write(ready[1], "x", 1);
        ::pause();
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    const QString raw = folder + "/2026-12-07_14-30-00_COM5.raw";
    EXPECT_TRUE(RunJournal::isHeld(raw));
    EXPECT_EQ(RunCatalog::scan(folder).value(0).state, RunCatalog::State::Running);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_FALSE(RunJournal::isHeld(raw));
    EXPECT_EQ(RunCatalog::scan(folder).value(0).state, RunCatalog::State::Unfinished);

    EXPECT_EQ(mode(folder), 0700u);
    const QString summary = RunFiles::summaryPathFor(raw);
    ASSERT_TRUE(RunFiles::writeSummaryFile(summary, "Halvern run\n"));
    for (const QString &file : {raw, RunFiles::timesPathFor(raw), summary})
        EXPECT_EQ(mode(file), 0600u) << file.toStdString();
    // Nothing is written through a link put in a summary's place.
    writeFile(dir.path() + "/theirs", "theirs");
    QFile::remove(summary);
    ASSERT_TRUE(QFile::link(dir.path() + "/theirs", summary));
    EXPECT_FALSE(RunFiles::writeSummaryFile(summary, "Halvern run\n"));
    EXPECT_EQ(readFile(dir.path() + "/theirs"), "theirs");
}

TEST(UnfinishedRuns, OneIsOfferedWithItsStartPortAndLinesAndNeverAgainOnceDeclined)
{
    QTemporaryDir dir;
    QByteArray lines;
    for (int i = 0; i < 200; ++i)
        lines += QByteArray::number(i) + " :: 1\r\n";
    const QDateTime last(QDate(2026, 12, 7), QTime(14, 40, 5));
    writeKeptRun(dir.path(), "2026-12-07_14-30-00_COM5", lines, {}, last);
    // One that received nothing is never offered: it has no workbook to make.
    writeKeptRun(dir.path(), "2026-12-07_15-00-00_COM5", "");

    RecordingMessageBoxes boxes;
    boxes.answers = {MessageBoxes::Answer::Cancel};
    const QList<RunCatalog::Run> runs = UnfinishedRuns::find(dir.path());
    ASSERT_EQ(runs.size(), 1);
    ASSERT_EQ(UnfinishedRuns::offer(boxes, runs), UnfinishedRuns::Answer::Declined);
    const QString text = boxes.boxes.value(0).text;
    for (const char *part : {"Started: 2026-12-07 14:30:00", "Port: COM5", "Lines received: 200", "workbook now?"})
        EXPECT_TRUE(text.contains(part)) << text.toStdString();
    EXPECT_EQ(boxes.boxes[0].buttons, MessageBoxes::Buttons::OkCancel);

    ASSERT_TRUE(UnfinishedRuns::markNotSaved(runs[0]));
    EXPECT_TRUE(UnfinishedRuns::find(dir.path()).isEmpty());
    EXPECT_EQ(RunCatalog::scan(dir.path()).value(0).state, RunCatalog::State::NotSaved);
    const RunCatalog::Run listed = RunCatalog::scan(dir.path()).value(1);
    EXPECT_EQ(listed.state, RunCatalog::State::NotSaved);
    EXPECT_TRUE(listed.endedWithoutStop);
    EXPECT_EQ(listed.ended, last);
    EXPECT_EQ(listed.lines, 200);
}

TEST(UnfinishedRuns, RunsWithFilesHalvernNeverWritesAreListedOnceAsDamagedAndNeverOffered)
{
    QTemporaryDir dir;
    const QString f = dir.path();
    const QString linked = writeKeptRun(f, "2026-12-07_14-30-00_COM5", "1\r\n");
    writeFile(f + "/elsewhere.txt", "Halvern run\n");
    ASSERT_TRUE(QFile::link(f + "/elsewhere.txt", RunFiles::summaryPathFor(linked)));
    writeKeptRun(f, "2026-12-07_15-30-00_COM3", "1\r\n");
    ASSERT_TRUE(QFile::rename(f + "/2026-12-07_15-30-00_COM3.raw", f + "/2026-12-07_15-30-00_COM3.raw\n"));
    writeKeptRun(f, "2026-12-07_16-30-00_COM4", "1\r\n", stopSummary("2026-12-07 16:30:00", "", 1, ""));
    writeFile(RunFiles::summaryPathFor(f + "/2026-12-07_16-30-00_COM4.raw"), "\x01\x02 not a summary");
    writeKeptRun(f, "2026-12-07_17-30-00_COM6", "1\r\n");
    ASSERT_EQ(::mkfifo(QFile::encodeName(f + "/2026-12-07_13-30-00_COM7.raw").constData(), 0600), 0);

    const QList<RunCatalog::Run> runs = RunCatalog::scan(f);
    QStringList lines;
    for (const RunCatalog::Run &run : runs)
        lines.append(RunCatalog::listingLine(run).section('\t', 4, 4));
    EXPECT_EQ(lines, (QStringList{"unfinished", "damaged: the summary is not one Halvern writes",
                                  "damaged: its name is not one Halvern makes", "damaged: the summary is a link",
                                  "damaged: the raw file is a FIFO"}));
    EXPECT_TRUE(RunCatalog::listingLine(runs.value(2)).endsWith("COM3.raw\\x0a"))
        << RunCatalog::listingLine(runs.value(2)).toStdString();

    RecordingMessageBoxes boxes;
    boxes.answers = {MessageBoxes::Answer::Cancel};
    const QList<RunCatalog::Run> offered = UnfinishedRuns::find(f);
    ASSERT_EQ(UnfinishedRuns::offer(boxes, offered), UnfinishedRuns::Answer::Declined);
    EXPECT_TRUE(boxes.boxes.value(0).text.startsWith("A run ended without Stop"))
        << boxes.boxes.value(0).text.toStdString();
    for (const RunCatalog::Run &run : offered)
        UnfinishedRuns::markNotSaved(run);
    EXPECT_EQ(UnfinishedRuns::find(f).size(), 0);
    EXPECT_EQ(readFile(f + "/elsewhere.txt"), "Halvern run\n");

    // Declined where no summary can be written: not offered again either.
    TmpfsMount full(f + "/full", TmpfsMount::Access::Writable, 64 << 10);
    if (!full.isMounted())
        GTEST_SKIP() << full.problem().toStdString();
    writeKeptRun(full.path(), "2026-12-07_18-30-00_COM6", "1\r\n");
    ASSERT_TRUE(full.fill());
    const QList<RunCatalog::Run> unwritable = UnfinishedRuns::find(full.path());
    ASSERT_EQ(unwritable.size(), 1);
    EXPECT_FALSE(UnfinishedRuns::markNotSaved(unwritable[0]));
    EXPECT_EQ(UnfinishedRuns::find(full.path()).size(), 0);
}

TEST(UnfinishedRuns, SeveralAreOfferedByTheirNumber)
{
    QTemporaryDir dir;
    writeKeptRun(dir.path(), "2026-12-07_14-30-00_COM5", "1\r\n");
    writeKeptRun(dir.path(), "2026-12-07_15-30-00_COM5", "1\r\n");
    RecordingMessageBoxes boxes;
    EXPECT_EQ(UnfinishedRuns::offer(boxes, UnfinishedRuns::find(dir.path())), UnfinishedRuns::Answer::ShowAll);
    EXPECT_TRUE(boxes.boxes.value(0).text.startsWith("2 runs ended without Stop"))
        << boxes.boxes.value(0).text.toStdString();
    EXPECT_EQ(UnfinishedRuns::offer(boxes, {}), UnfinishedRuns::Answer::None);
    EXPECT_EQ(boxes.boxes.size(), 1);
}

TEST(RunCatalog, ListsARunFromItsManifestWhateverBecameOfItsSummary)
{
    const QDateTime start(QDate(2026, 12, 8), QTime(7, 0));
    const struct {
        const char *what;
        void (*change)(const QString &raw);
        const char *state;
    } cases[] = {
        {"as Stop left it", [](const QString &) {}, "saved"},
        {"its summary deleted", [](const QString &raw) { QFile::remove(RunFiles::summaryPathFor(raw)); }, "saved"},
        {"its summary edited",
         [](const QString &raw) {
             const QString summary = RunFiles::summaryPathFor(raw);
             writeFile(summary, readFile(summary).replace("Workbook saved as: ", "Workbook saved as: /x"));
         },
         "saved"},
        {"its manifest's end cut off",
         [](const QString &raw) {
             const QString manifest = RunManifest::pathFor(raw);
             const QByteArray bytes = readFile(manifest);
             writeFile(manifest, bytes.left(bytes.indexOf("@entry end ")));
         },
         "unfinished"},
        // Not offered to be made again, which would record the files as found.
        {"its manifest removed", [](const QString &raw) { QFile::remove(RunManifest::pathFor(raw)); }, "damaged"},
        {"its manifest edited",
         [](const QString &raw) {
             const QString manifest = RunManifest::pathFor(raw);
             writeFile(manifest, readFile(manifest).replace("port=5", "port=6"));
         },
         "damaged"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString workbook = dir.filePath("a.xls");
        writeFile(workbook, "saved");
        const QString raw = recordRun(dir.filePath("runs"), start, "1 :: 3\r\n2 :: 6\r\n", workbook);
        c.change(raw);
        const QList<RunCatalog::Run> runs = RunCatalog::scan(dir.filePath("runs"));
        ASSERT_EQ(runs.size(), 1);
        EXPECT_EQ(RunCatalog::stateText(runs[0].state), c.state) << runs[0].damage.toStdString();
        if (runs[0].state == RunCatalog::State::Saved) {
            EXPECT_EQ(runs[0].savedAs, workbook);
            EXPECT_EQ(runs[0].lines, 2);
            EXPECT_EQ(runs[0].ended, start.addSecs(1));
        }
    }
}
