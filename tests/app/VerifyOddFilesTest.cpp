// The real program's --verify and --verify-runs when something other than a
// plain file stands in a run file's place: a FIFO (which would hold an open
// for good), a link (to a file that is not the run's), a folder. Each is
// named with the file and what it is, the run is counted and never dropped,
// no gap is made up around it, and the exit status says so.
#include "FileContents.h"
#include "ProgramRun.h"
#include "RecordedRuns.h"
#include "RunFiles.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {
// The built program, without a display, with its data folder in dataHome.
ProgramRun halvern(const QStringList &args, const QString &dataHome)
{
    QProcessEnvironment env = ProgramRun::headlessEnvironment();
    env.insert("XDG_DATA_HOME", dataHome);
    return ProgramRun::run(args, env, 20000);
}

enum class File { Raw, Times, Summary, Workbook };
enum class Odd { Fifo, Link, Folder };

struct Case {
    const char *name;
    File file;
    Odd odd;
    const char *said; // what stands there, as the program says it
};

const Case kCases[] = {
    {"RawFifo", File::Raw, Odd::Fifo, "a FIFO"},           {"TimesFifo", File::Times, Odd::Fifo, "a FIFO"},
    {"SummaryFifo", File::Summary, Odd::Fifo, "a FIFO"},   {"WorkbookFifo", File::Workbook, Odd::Fifo, "a FIFO"},
    {"SummaryLink", File::Summary, Odd::Link, "a link"},   {"SummaryFolder", File::Summary, Odd::Folder, "a folder"},
    {"TimesFolder", File::Times, Odd::Folder, "a folder"},
};

class VerifyOddFiles : public ::testing::TestWithParam<Case> {};
} // namespace

TEST_P(VerifyOddFiles, AreNamedNeverWaitedOnAndTheRunIsNotDropped)
{
    const Case &c = GetParam();
    QTemporaryDir data;
    const QString folder = data.filePath("Halvern/runs");
    const QString workbook = data.filePath("run.xls");
    writeFile(workbook, "workbook bytes");
    const QDateTime start(QDate(2026, 2, 27), QTime(9, 0, 0));
    QStringList raws;
    for (int i = 0; i < 3; ++i)
        raws << recordRun(folder, start.addDays(i), "1 :: 3\r\n", i == 1 ? workbook : QString());
    ASSERT_FALSE(raws.contains(QString()));

    const QString paths[] = {raws[1], RunFiles::timesPathFor(raws[1]), RunFiles::summaryPathFor(raws[1]), workbook};
    const QString odd = paths[static_cast<int>(c.file)];
    const QByteArray at = QFile::encodeName(odd);
    ASSERT_TRUE(QFile::remove(odd));
    switch (c.odd) {
    case Odd::Fifo:
        ASSERT_EQ(::mkfifo(at.constData(), 0600), 0);
        break;
    case Odd::Link:
        ASSERT_EQ(::symlink("/etc/passwd", at.constData()), 0);
        break;
    case Odd::Folder:
        ASSERT_EQ(::mkdir(at.constData(), 0700), 0);
        break;
    }

    for (const QString &target : {odd, raws[1]}) {
        const ProgramRun one = halvern({"--verify", target}, data.path());
        EXPECT_EQ(one.exitCode, 1) << target.toStdString() << "\n" << one.out.toStdString();
        EXPECT_TRUE(one.out.contains(odd + " is " + c.said)) << one.out.toStdString();
    }

    const ProgramRun all = halvern({"--verify-runs"}, data.path());
    EXPECT_EQ(all.exitCode, 1) << all.out.toStdString();
    EXPECT_TRUE(all.out.contains(QFileInfo(raws[1]).fileName() + ": ")) << all.out.toStdString();
    EXPECT_TRUE(all.out.contains(c.said)) << all.out.toStdString();
    EXPECT_TRUE(all.out.contains("3 runs: 2 match, 0 do not, 1 cannot be checked, 0 not recorded; 0 gaps"))
        << all.out.toStdString();
    EXPECT_FALSE(all.out.contains("Gap")) << all.out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(RunFiles, VerifyOddFiles, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case> &info) { return std::string(info.param.name); });
