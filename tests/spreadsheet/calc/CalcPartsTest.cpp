// The parts of the Calc component that need no office: number recognition,
// the time-limited worker, the patience of a long call, the office process
// group and stale lock files.
#include "CallWorker.h"
#include "CellText.h"
#include "FileContents.h"
#include "OfficeFolders.h"
#include "OfficeProcess.h"
#include "OfficeText.h"
#include "PatienceWatch.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <optional>
#include <vector>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>

using namespace std::chrono_literals;

namespace {
// The reason of a failure; empty when there is none.
std::string reasonOf(const std::optional<Failure> &failure) { return failure ? failure->reason.toStdString() : ""; }
} // namespace

TEST(CellText, PlainDecimalNumbersBecomeNumbers)
{
    EXPECT_EQ(CellText::plainNumber("5.1"), 5.1);
    EXPECT_EQ(CellText::plainNumber("-3"), -3.0);
    EXPECT_EQ(CellText::plainNumber("+2.5"), 2.5);
    EXPECT_EQ(CellText::plainNumber("1e5"), 1e5);
    EXPECT_EQ(CellText::plainNumber("2.5E-3"), 2.5e-3);
    EXPECT_EQ(CellText::plainNumber("0001"), 1.0);
    EXPECT_EQ(CellText::plainNumber(".5"), 0.5);
    EXPECT_EQ(CellText::plainNumber("523"), 523.0);
    EXPECT_EQ(CellText::plainNumber("-.5e+1"), -5.0);
    EXPECT_EQ(CellText::plainNumber("5.e3"), 5000.0);
}

TEST(CellText, EverythingElseStaysText)
{
    for (const char *text : {"",           " 5",       "5 ",  "=1+1",  "=WEBSERVICE(\"http://x\")",
                             "06/12/2026", "14:30:00", "1,5", "0x10",  "&H10",
                             "1e",         "e5",       "--1", "5.1.2", "inf",
                             "nan",        "1e999",    "X",   "::",    "1 2",
                             "5\t",        "+-1",      "-",   ".",     "+",
                             "1e+",        "-e5",      "٣"}) {
        EXPECT_FALSE(CellText::plainNumber(text).has_value()) << text;
    }
}

TEST(OfficeText, FileUrlsInTheOfficesWordsArePaths)
{
    const struct {
        const char *office, *shown;
    } cases[] = {
        {"Unsupported URL <file:///tmp/sp%20ace/%C3%BC.xls>: type detection failed",
         "Unsupported URL </tmp/sp ace/\u00fc.xls>: type detection failed"},
        {"Not a workbook: file:///home/u/a%23b.xls", "Not a workbook: /home/u/a#b.xls"},
        {"two: file:///a.xls and file:///b%25.ods.", "two: /a.xls and /b%.ods."},
        {"no URL, http://x/%20 stays", "no URL, http://x/%20 stays"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(OfficeText::withPaths(QString::fromUtf8(c.office)), QString::fromUtf8(c.shown));
}

TEST(CallWorker, ReturnsResultsAndRethrowsFailures)
{
    CallWorker worker;
    int value = 0;
    EXPECT_EQ(worker.run([&] { value = 42; }, 1000ms), CallWorker::Outcome::Done);
    EXPECT_EQ(value, 42);
    EXPECT_THROW(worker.run([] { throw std::runtime_error("no"); }, 1000ms), std::runtime_error);
    // A failure leaves the worker usable.
    EXPECT_EQ(worker.run([] {}, 1000ms), CallWorker::Outcome::Done);
}

TEST(CallWorker, SlowCallTimesOutAndBlocksLaterCallsUntilItEnds)
{
    CallWorker worker;
    std::atomic<bool> release{false};
    // The call comes back while the job cannot end yet.
    EXPECT_EQ(worker.run(
                  [&] {
                      while (!release)
                          std::this_thread::sleep_for(5ms);
                  },
                  200ms),
              CallWorker::Outcome::TimedOut);
    EXPECT_TRUE(worker.pending());

    // Refused without waiting for the pending job (it is still held), and
    // never started.
    bool ran = false;
    EXPECT_EQ(worker.run([&] { ran = true; }, 1000ms), CallWorker::Outcome::Refused);
    EXPECT_TRUE(worker.pending());
    EXPECT_FALSE(release);
    EXPECT_FALSE(ran);

    release = true;
    EXPECT_TRUE(worker.waitIdle(2000ms));
    EXPECT_FALSE(worker.pending());
    EXPECT_EQ(worker.run([&] { ran = true; }, 1000ms), CallWorker::Outcome::Done);
    EXPECT_TRUE(ran);
}

TEST(CallWorker, ACallWithoutLimitIsWaitedForAsLongAsTheWatchSaysSo)
{
    CallWorker worker;
    int asked = 0;
    // The job ends only once the watch has been asked three times.
    std::atomic<bool> release{false};
    EXPECT_EQ(worker.run(
                  [&] {
                      while (!release)
                          std::this_thread::sleep_for(5ms);
                  },
                  20ms,
                  [&] {
                      if (++asked >= 3)
                          release = true;
                      return true;
                  }),
              CallWorker::Outcome::Done);
    EXPECT_GE(asked, 3);

    release = false;
    asked = 0;
    EXPECT_EQ(worker.run(
                  [&] {
                      while (!release)
                          std::this_thread::sleep_for(5ms);
                  },
                  20ms, [&] { return ++asked < 3; }),
              CallWorker::Outcome::TimedOut);
    EXPECT_EQ(asked, 3);
    EXPECT_TRUE(worker.pending());
    release = true;
    EXPECT_TRUE(worker.waitIdle(2000ms));
}

TEST(OfficeProcess, ProcessorTimeGrowsWhileTheGroupWorksAndStandsStillWhileItWaits)
{
    OfficeProcess busy, idle;
    ASSERT_EQ(reasonOf(busy.start("sh", {"-c", "while :; do :; done"}, {"PATH=/usr/bin:/bin"}, {})), "");
    ASSERT_EQ(reasonOf(idle.start("sh", {"-c", "sleep 30"}, {"PATH=/usr/bin:/bin"}, {})), "");
    const std::uint64_t busyBefore = busy.cpuTicks();
    const std::uint64_t idleBefore = idle.cpuTicks();
    EXPECT_TRUE(waitUntil([&] { return busy.cpuTicks() > busyBefore + 5; }, 5000));
    EXPECT_EQ(idle.cpuTicks(), idleBefore);
    busy.end(2000ms);
    idle.end(2000ms);
}

TEST(CallWorker, DestroyingWithAStuckCallDoesNotWait)
{
    auto release = std::make_shared<std::atomic<bool>>(false);
    auto ended = std::make_shared<std::atomic<bool>>(false);
    {
        CallWorker worker;
        worker.run(
            [release, ended] {
                while (!*release)
                    std::this_thread::sleep_for(5ms);
                *ended = true;
            },
            50ms);
    }
    // The worker is gone while its job still runs: nothing waited for it.
    EXPECT_FALSE(*ended);
    *release = true;
}

TEST(OfficeProcess, MissingProgramFailsAndGroupEndsOnRequest)
{
    OfficeProcess missing;
    EXPECT_NE(reasonOf(missing.start("/nonexistent/soffice", {}, {}, {})), "");
    EXPECT_FALSE(missing.alive());

    // No descriptor left for the watchdog's pipe: no office is started without it.
    rlimit files{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &files), 0);
    rlimit few = files;
    few.rlim_cur = std::min<rlim_t>(files.rlim_cur, 512);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
    std::vector<int> taken;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
        taken.push_back(fd);
    const std::string refused = reasonOf(missing.start("sleep", {"30"}, {"PATH=/usr/bin:/bin"}, {}));
    for (const int fd : taken)
        ::close(fd);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &files), 0);
    EXPECT_NE(refused.find("watchdog"), std::string::npos) << refused;
    EXPECT_FALSE(missing.alive());

    OfficeProcess sleeper;
    ASSERT_EQ(reasonOf(sleeper.start("sh", {"-c", "sleep 30 & sleep 30"}, {"PATH=/usr/bin:/bin"}, {})), "");
    EXPECT_TRUE(sleeper.alive());
    EXPECT_TRUE(OfficeProcess::groupAlive(sleeper.pid()));
    EXPECT_TRUE(sleeper.end(2000ms));
    EXPECT_TRUE(sleeper.ended());
    EXPECT_FALSE(OfficeProcess::groupAlive(sleeper.pid()));
}

namespace {
QByteArray lockNaming(const QString &profileFolder)
{
    return ",root," + QSysInfo::machineHostName().toUtf8() + ",01.01.2026 10:00,file://" + profileFolder.toUtf8()
           + "/profile;";
}
} // namespace

TEST(OfficeFolders, OnlyStaleLocksOfOurOwnOfficesAreRemoved)
{
    QTemporaryDir docs;
    const QString book = docs.filePath("spreadsheet.xls");
    writeFile(book, "x");
    const QString lock = OfficeFolders::lockFilePath(book);
    EXPECT_EQ(lock, docs.path() + "/.~lock.spreadsheet.xls#");

    // Somebody else's office: respected.
    writeFile(lock, lockNaming("/home/someone/.config/libreoffice/4/user"));
    EXPECT_FALSE(OfficeFolders::removeStaleLock(book));
    EXPECT_TRUE(QFile::exists(lock));

    // One of ours that is still running: respected.
    // The profile carries the office's build id, so the office does not
    // restart itself under a client that has just connected.
    QTemporaryDir program;
    writeFile(program.filePath("versionrc"), "[Version]\nbuildid=40(Build:2)\nVendor=x\n");
    OfficeFolders live;
    ASSERT_EQ(reasonOf(live.create(program.path())), "");
    EXPECT_EQ(readFile(live.folder() + "/profile/user/extensions/buildid"), "40(Build:2)");
    // The data folder and the profile are the user's alone.
    for (const QString &folder : {OfficeFolders::dataRoot(), live.folder(), live.folder() + "/profile"}) {
        struct stat info {};
        ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &info), 0) << folder.toStdString();
        EXPECT_EQ(info.st_mode & 0777, 0700u) << folder.toStdString();
    }
    OfficeProcess running;
    ASSERT_EQ(reasonOf(running.start("sleep", {"30"}, {"PATH=/usr/bin:/bin"}, live.ownerLockPath())), "");
    live.recordLauncher(running.pid(), true);
    writeFile(lock, lockNaming(live.folder()));
    EXPECT_FALSE(OfficeFolders::removeStaleLock(book));
    EXPECT_TRUE(QFile::exists(lock));
    OfficeFolders::sweepEnded();
    EXPECT_TRUE(QDir(live.folder()).exists());

    // The same office once it has been killed: its lock goes, and so do its
    // folders at the next sweep.
    ASSERT_TRUE(running.end(2000ms));
    EXPECT_TRUE(OfficeFolders::removeStaleLock(book));
    EXPECT_FALSE(QFile::exists(lock));
    EXPECT_TRUE(QFile::exists(book));
    OfficeFolders::sweepEnded();
    EXPECT_FALSE(QDir(live.folder()).exists());
}

TEST(OfficeFolders, OfficesOfAProgramThatDiedAreEndedTheUsersOwnIsNot)
{
    // Stand-ins for offices: processes whose command line names a profile.
    auto office = [](OfficeProcess &process, const QString &profile) {
        EXPECT_EQ(reasonOf(process.start(
                      "sh", {"-c", "while :; do sleep 0.1; done", "sh", "-env:UserInstallation=file://" + profile},
                      {"PATH=/usr/bin:/bin"}, {})),
                  "");
    };
    const QString unique = "1-0000aaaa";
    const QString folder = OfficeFolders::dataRoot() + "/office-" + unique;
    ASSERT_TRUE(QDir().mkpath(folder + "/profile"));
    writeFile(folder + "/owner.lock", ""); // nobody holds it: its program has gone
    const QString pipe = OfficeFolders::pipePath(unique);
    writeFile(pipe, "");
    OfficeProcess orphan;
    office(orphan, folder + "/profile");
    QTemporaryDir home;
    OfficeProcess users;
    office(users, home.path() + "/.config/libreoffice/4");

    OfficeFolders::sweepEnded();
    EXPECT_TRUE(orphan.waitEnded(2000ms));
    EXPECT_FALSE(QDir(folder).exists());
    EXPECT_FALSE(QFile::exists(pipe));
    EXPECT_TRUE(users.alive());
    EXPECT_TRUE(users.end(2000ms));
}

TEST(PatienceWatch, WaitsWhileTheOfficeWorksAndGivesUpOnAStallOrACancel)
{
    using Verdict = PatienceWatch::Verdict;
    const PatienceWatch::Clock::time_point t0{};
    struct Look {
        std::chrono::milliseconds at;
        std::uint64_t cpuTicks;
        Verdict verdict;
    };
    struct Case {
        const char *name;
        std::optional<std::chrono::milliseconds> stall;
        bool cancel;
        std::vector<Look> looks;
    };
    const std::vector<Case> cases{
        {"working office",
         1000ms,
         false,
         {{900ms, 0, Verdict::Wait}, {1800ms, 1, Verdict::Wait}, {2700ms, 2, Verdict::Wait}}},
        {"stall counted from the last work",
         1000ms,
         false,
         {{600ms, 1, Verdict::Wait}, {1500ms, 1, Verdict::Wait}, {1600ms, 1, Verdict::Stalled}}},
        {"no stall limit", std::nullopt, false, {{10s, 0, Verdict::Wait}, {60min, 0, Verdict::Wait}}},
        {"cancelled", std::nullopt, true, {{500ms, 1, Verdict::Cancelled}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int> told;
        Patience patience{c.stall, 500ms, [&told](int seconds) { told.push_back(seconds); }, [&c] { return c.cancel; }};
        PatienceWatch watch(patience, t0, 0);
        std::vector<int> expected;
        for (const Look &look : c.looks) {
            EXPECT_EQ(watch.look(t0 + look.at, look.cpuTicks), look.verdict) << look.at.count();
            if (look.verdict == Verdict::Wait)
                expected.push_back(static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(look.at).count()));
        }
        EXPECT_EQ(told, expected); // the seconds since the start, at every look that goes on waiting
    }
}
