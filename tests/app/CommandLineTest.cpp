// The built program's command line, run as a user would run it: no display,
// a private settings folder, and a folder of links to socat pseudo-terminals
// standing in for /dev/serial/by-id (HALVERN_SERIAL_BY_ID).
#include "AppVersion.h"
#include "FileContents.h"
#include "KeptRuns.h"
#include "PtyAdapter.h"
#include "SavedSheet.h"
#include "TextPrinters.h"
#include "WaitUntil.h"
#include "OfficeProbe.h"
#include "TmpfsMount.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

void openUp(const QString &folder)
{
    QFile::setPermissions(folder, QFile::permissions(folder) | QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup
                                      | QFile::ExeGroup);
}

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        openUp(config.path());
        openUp(devices.path());
        ASSERT_TRUE(QDir().mkpath(settings()));
    }

    QString settings() const { return config.path() + "/Halvern"; }
    QString dataHome; // the program's XDG_DATA_HOME when set
    QString soffice;  // the office program it would start, when set

    // Runs the program; `prefix` runs it through another program (setpriv).
    Outcome run(const QStringList &args, const QStringList &prefix = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path());
        env.insert("XDG_DATA_HOME", data.path());
        env.insert("XDG_STATE_HOME", data.path() + "/state");
        env.insert("HALVERN_SERIAL_BY_ID", devices.path());
        if (!dataHome.isEmpty())
            env.insert("XDG_DATA_HOME", dataHome);
        if (!soffice.isEmpty())
            env.insert("HALVERN_SOFFICE", soffice);
        // No display at all: a window would end the program with an error.
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        QProcess p;
        p.setProcessEnvironment(env);
        const QString program = qEnvironmentVariable("HALVERN_BIN_DIR") + "/halvern";
        if (prefix.isEmpty())
            p.start(program, args);
        else
            p.start(prefix.first(), prefix.mid(1) + QStringList{"--", program} + args);
        Outcome o;
        if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit)
            return o;
        o.exitCode = p.exitCode();
        o.out = QString::fromLocal8Bit(p.readAllStandardOutput());
        o.err = QString::fromLocal8Bit(p.readAllStandardError());
        return o;
    }

    // The listing's line for a COM number, blanks squeezed.
    static QString row(const QString &listing, int port)
    {
        for (const QString &line : listing.split('\n')) {
            if (line.startsWith(QStringLiteral("COM%1 ").arg(port)))
                return line.simplified();
        }
        return {};
    }

    QTemporaryDir config;
    QTemporaryDir devices;
    QTemporaryDir data;
};

} // namespace

TEST_F(CommandLineTest, VersionHelpAndUnknownOptions)
{
    const Outcome version = run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "Halvern " + AppVersion::text() + "\n");

    const Outcome help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("--list-ports")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("--list-runs"));
    EXPECT_TRUE(help.out.contains("--verify-runs"));
    EXPECT_TRUE(help.out.contains("--version"));

    const Outcome unknown = run({"--no-such-option"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.err.contains("Unknown option 'no-such-option'")) << unknown.err.toStdString();
    EXPECT_TRUE(unknown.out.isEmpty());
}

TEST_F(CommandLineTest, EchoedArgumentsHaveTheirControlCharactersEscaped)
{
    QTemporaryDir dir;
    const struct {
        QStringList args;
        const char *said;
    } cases[] = {
        {{"--replay", "/nowhere/x\nFAKE.raw", "--save-as", dir.filePath("out.xls")}, "/nowhere/x\\x0aFAKE.raw"},
        {{"--replay", "/nowhere/x.raw", "--save-as", dir.filePath("a\nFAKE.txt")}, "a\\x0aFAKE.txt"},
        {{"--verify", "/nowhere/\x1b[2JFAKE.xls"}, "/nowhere/\\x1b[2JFAKE.xls"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Outcome o = run(c.args);
        EXPECT_NE(o.exitCode, 0);
        const QString all = o.out + o.err;
        EXPECT_TRUE(all.contains(c.said)) << all.toStdString();
        EXPECT_FALSE(all.contains("\nFAKE") || all.contains('\x1b')) << all.toStdString();
    }
}

TEST_F(CommandLineTest, AWorkbookReplayMadeIsCheckedAgainstItsRecordAndARunWithoutSummarySaysSo)
{
    // A run ended without Stop: journal and times, no summary.
    const QString raw = writeKeptRun(data.filePath("Halvern/runs"), "2026-12-07_09-00-00_COM5", "1 :: 3\r\n2 :: 6\r\n");
    QTemporaryDir out;
    const QString made = out.filePath("sp ace/\u00fc.xlsx");
    ASSERT_EQ(run({"--replay", raw, "--save-as", made}).exitCode, 0);

    // Its run was kept with no record at all ("not recorded", exit 2); the
    // workbook itself is as the replay made it.
    const Outcome fresh = run({"--verify", made});
    EXPECT_EQ(fresh.exitCode, 2) << fresh.out.toStdString();
    EXPECT_TRUE(fresh.out.contains("made by --replay")) << fresh.out.toStdString();
    EXPECT_TRUE(fresh.out.contains("No summary: ")) << fresh.out.toStdString();
    EXPECT_TRUE(fresh.out.contains(made)) << fresh.out.toStdString(); // a path, not a file:// URL
    for (const char *untrue : {"changed, or saved again", "older Halvern", "%20", "file://"})
        EXPECT_FALSE(fresh.out.contains(untrue)) << untrue << "\n" << fresh.out.toStdString();

    // The journal changed after the replay: its record says so.
    writeFile(raw, "1 :: 3\r\n2 :: 7\r\n");
    const Outcome changed = run({"--verify", made});
    EXPECT_EQ(changed.exitCode, 1) << changed.out.toStdString();
    EXPECT_TRUE(changed.out.contains("is not the one --replay made the workbook from")) << changed.out.toStdString();
}

TEST_F(CommandLineTest, ListPortsTellsEachMappingAndExitsWithoutAWindow)
{
    PtyAdapter meter(devices.path(), "usb-Acme_Meter_A1-if00-port0");
    PtyAdapter logger(devices.path(), "usb-Acme_Logger_B2-if00-port0");
    ASSERT_TRUE(meter.plug());
    QFile map(settings() + "/ports.conf");
    ASSERT_TRUE(map.open(QIODevice::WriteOnly));
    map.write(("COM9=" + devices.path() + "/gone\n").toUtf8());
    map.close();

    const Outcome first = run({"--list-ports"});
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    EXPECT_TRUE(row(first.out, 1).startsWith("COM1 /dev/ttyS0 - - built-in")) << first.out.toStdString();
    EXPECT_EQ(row(first.out, 5), "COM5 " + meter.devicePath() + " - - remembered yes") << first.out.toStdString();
    EXPECT_EQ(row(first.out, 9), "COM9 " + devices.path() + "/gone - - ports.conf no: absent");
    EXPECT_TRUE(row(first.out, 6).isEmpty() || QFileInfo::exists("/dev/ttyS5"));

    // The number stays with the adapter while it is away; the next one gets COM6.
    meter.unplug();
    ASSERT_TRUE(logger.plug());
    const Outcome second = run({"--list-ports"});
    ASSERT_EQ(second.exitCode, 0);
    EXPECT_EQ(row(second.out, 5), "COM5 " + meter.devicePath() + " - - remembered no: absent");
    EXPECT_EQ(row(second.out, 6), "COM6 " + logger.devicePath() + " - - remembered yes");
}

TEST_F(CommandLineTest, ListPortsTellsAUserWithoutPermissionWhatToDo)
{
    PtyAdapter meter(devices.path(), "usb-Acme_Meter_A1-if00-port0");
    ASSERT_TRUE(meter.plug());
    ASSERT_EQ(run({"--list-ports"}).exitCode, 0); // numbers the adapter: COM5
    const QByteArray node = meter.node().toLocal8Bit();

    Outcome listing;
    if (::geteuid() == 0) {
        // As root: a device of the group dialout, listed by user nobody.
        if (QStandardPaths::findExecutable("setpriv").isEmpty())
            GTEST_SKIP() << "setpriv is missing";
        const group *dialout = ::getgrnam("dialout");
        ASSERT_NE(dialout, nullptr);
        ASSERT_EQ(::chown(node.constData(), 0, dialout->gr_gid), 0);
        ASSERT_EQ(::chmod(node.constData(), 0660), 0);
        listing = run({"--list-ports"}, {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
        ASSERT_EQ(listing.exitCode, 0) << listing.err.toStdString();
        EXPECT_TRUE(listing.out.contains("add yourself to the group dialout: sudo adduser $USER dialout"))
            << listing.out.toStdString();
    } else {
        ASSERT_EQ(::chmod(node.constData(), 0), 0);
        listing = run({"--list-ports"});
        ASSERT_EQ(listing.exitCode, 0);
    }
    EXPECT_EQ(row(listing.out, 5), "COM5 " + meter.devicePath() + " - - remembered no: permission")
        << listing.out.toStdString();
}

TEST_F(CommandLineTest, ReplayRebuildsAWorkbookFromAJournalDamagedTimesOrNot)
{
    QTemporaryDir dir;
    const QString raw = dir.filePath("run.raw");
    writeFile(raw, "1 :: 2 = 3\r\n4 :: x\r\n\r\n\r\n\r\n7\t8\r\nunfinished");
    writeFile(dir.filePath("run.times"),
              "# halvern run journal 1\n0 2026-12-07T09:00:00.000\n19 2026-12-07T18:00:00.000\n");

    const Outcome made = run({"--replay", raw, "--save-as", dir.filePath("run.xlsx")});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const SavedSheet sheet = SavedSheet::read(dir.filePath("run.xlsx"));
    // The block opened at 18:00 puts its stamp in row 1 of column 2.
    EXPECT_EQ(sheet.rows, (QList<QStringList>{{"1", "18", "3"}, {"4", "7", "8"}}));

    // A garbage line in the companion: the good notes keep their stamps, and the user is told.
    writeFile(dir.filePath("run.times"), "# halvern run journal 1\n0 2026-12-07T09:00:00.000\n\x01garbage\n"
                                         "19 2026-12-07T18:00:00.000\n");
    const Outcome damaged = run({"--replay", raw, "--save-as", dir.filePath("damaged.xlsx")});
    ASSERT_EQ(damaged.exitCode, 0) << damaged.err.toStdString();
    EXPECT_TRUE(damaged.err.contains("run.times: 1 note damaged")) << damaged.err.toStdString();
    EXPECT_EQ(SavedSheet::read(dir.filePath("damaged.xlsx")).rows, sheet.rows);

    EXPECT_EQ(run({"--replay", dir.filePath("missing.raw"), "--save-as", dir.filePath("m.xlsx")}).exitCode, 1);
    // A folder that cannot take the workbook: the reason in plain words, and
    // nothing left there. Full or read-only is told before any office starts
    // (there is none to start); with less room than the workbook needs, the
    // save finds it.
    QByteArray many;
    for (int i = 0; i < 20000; ++i)
        many += QByteArray::number(i) + " :: " + QByteArray::number(i * 7) + "\r\n";
    writeFile(dir.filePath("many.raw"), many);
    TmpfsMount full(dir.filePath("full"), TmpfsMount::Access::Writable, 64 << 10);
    TmpfsMount small(dir.filePath("small"), TmpfsMount::Access::Writable, 64 << 10);
    TmpfsMount readOnly(dir.filePath("read-only"), TmpfsMount::Access::ReadOnly, 64 << 10);
    if (full.isMounted() && small.isMounted() && readOnly.isMounted() && full.fill()) {
        for (const auto &[folder, error] :
             {std::pair{full.path(), ENOSPC}, std::pair{small.path(), ENOSPC}, std::pair{readOnly.path(), EROFS}}) {
            soffice = folder == small.path() ? QString() : dir.filePath("no-office");
            const Outcome refused = run({"--replay", dir.filePath("many.raw"), "--save-as", folder + "/run.xls"});
            EXPECT_EQ(refused.exitCode, 1);
            EXPECT_TRUE(refused.err.endsWith(QString::fromLocal8Bit(std::strerror(error)) + "\n"))
                << folder.toStdString() << ": " << refused.err.toStdString();
            const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
            EXPECT_EQ(left, folder == full.path() ? QStringList{"filler"} : QStringList{}) << folder.toStdString();
        }
    }
    soffice = dir.filePath("no-office");
    EXPECT_EQ(run({"--replay", raw, "--save-as", dir.filePath("run.txt")}).exitCode, 1);
    EXPECT_EQ(run({"--save-as", dir.filePath("run.xlsx")}).exitCode, 1);
    soffice.clear();

    // Wider than an .xls keeps: the whole workbook also goes to the .xlsx beside it.
    QByteArray wide = "::";
    for (int n = 1; n <= 300; ++n)
        wide += ' ' + QByteArray::number(n);
    writeFile(raw, wide + "\r\n");
    QFile::remove(dir.filePath("run.times"));
    const Outcome xls = run({"--replay", raw, "--save-as", dir.filePath("wide.xls")});
    ASSERT_EQ(xls.exitCode, 0) << xls.err.toStdString();
    EXPECT_TRUE(xls.err.contains(dir.filePath("wide.xlsx"))) << xls.err.toStdString();
    EXPECT_EQ(SavedSheet::read(dir.filePath("wide.xlsx")).rows.value(0).size(), 300);
}

TEST_F(CommandLineTest, ListRunsNamesEachRunsStateAndStartsNoOffice)
{
    const QString runs = data.path() + "/Halvern/runs";
    const QString saved = writeKeptRun(runs, "2026-12-06_09-00-00_COM5", "1\r\n2\r\n",
                                       stopSummary("2026-12-06 09:00:00", "2026-12-06 10:00:00", 2, "/d/a.xls"));
    QByteArray lines;
    for (int i = 0; i < 200; ++i)
        lines += QByteArray::number(i) + " :: 1\r\n";
    const QString killed = writeKeptRun(runs, "2026-12-07_14-30-00_COM3", lines + "20");
    // A name Halvern never makes: one line all the same.
    writeFile(runs + "/2026-12-05_09-00-00_COM4.raw\n", "1\r\n");

    const Outcome listed = run({"--list-runs"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    EXPECT_EQ(listed.out, "2026-12-07 14:30:00\tCOM3\t" + QString::number(lines.size() + 2) + "\t200\tunfinished\t\t"
                              + killed + "\n2026-12-06 09:00:00\tCOM5\t6\t2\tsaved\t/d/a.xls\t" + saved
                              + "\n2026-12-05 09:00:00\tCOM4\t3\t1\tdamaged: its name is not one Halvern makes\t\t"
                              + runs + "/2026-12-05_09-00-00_COM4.raw\\x0a\n");
    EXPECT_EQ(QDir(data.path() + "/Halvern").entryList({"office-*"}, QDir::Dirs), QStringList{});
}

TEST_F(CommandLineTest, KilledWithItsOfficeRunningTheProgramLeavesNoOfficeBehind)
{
    QTemporaryDir dir;
    QByteArray lines;
    for (int i = 0; i < 400000; ++i)
        lines += QByteArray::number(i) + " :: " + QByteArray::number(i * 7) + "\r\n";
    writeFile(dir.filePath("long.raw"), lines);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", data.path());
    QProcess replay;
    replay.setProcessEnvironment(env);
    replay.start(qEnvironmentVariable("HALVERN_BIN_DIR") + "/halvern",
                 {"--replay", dir.filePath("long.raw"), "--save-as", dir.filePath("long.xlsx")});
    // The office's processes name its profile in their command lines.
    const QByteArray profile = ("UserInstallation=file://" + data.path() + "/Halvern/office-").toUtf8();
    auto officeLeft = [&] {
        for (const QString &pid : QDir("/proc").entryList(QDir::Dirs))
            if (readFile("/proc/" + pid + "/cmdline").contains(profile))
                return true;
        return false;
    };
    ASSERT_TRUE(waitUntil(officeLeft, 30000));
    ::kill(static_cast<pid_t>(replay.processId()), SIGKILL);
    ASSERT_TRUE(replay.waitForFinished(5000));
    EXPECT_TRUE(waitUntil([&] { return !officeLeft(); }, 10000));
}

TEST_F(CommandLineTest, AReplayKilledDuringItsSaveLeavesNothingAfterTheNextReplay)
{
    QTemporaryDir dir;
    QByteArray lines;
    for (int i = 0; i < 60000; ++i)
        lines += QByteArray::number(i) + " :: " + QByteArray::number(i * 7) + " " + QByteArray::number(i * 3) + "\r\n";
    writeFile(dir.filePath("long.raw"), lines);
    writeFile(dir.filePath("short.raw"), "1 :: 2\r\n");
    const QString out = dir.filePath("out");
    ASSERT_TRUE(QDir().mkpath(out));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", data.path());
    QProcess replay;
    replay.setProcessEnvironment(env);
    replay.start(qEnvironmentVariable("HALVERN_BIN_DIR") + "/halvern",
                 {"--replay", dir.filePath("long.raw"), "--save-as", out + "/long.xlsx"});
    // Killed once the save has begun: its temporary file or the office's lock is there.
    auto saving = [&] {
        for (const QString &name : QDir(out).entryList(QDir::Files | QDir::Hidden | QDir::System))
            if (name.startsWith(".~halvern-save-") || name.startsWith(".~lock..~halvern-save-"))
                return true;
        return false;
    };
    ASSERT_TRUE(waitUntil(saving, 120000));
    const qint64 killed = replay.processId();
    ::kill(static_cast<pid_t>(killed), SIGKILL);
    ASSERT_TRUE(replay.waitForFinished(5000));

    ASSERT_EQ(run({"--replay", dir.filePath("short.raw"), "--save-as", out + "/short.xlsx"}).exitCode, 0);
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{"short.xlsx"});
    // The killed replay's office pipe is gone, or an office listens on it
    // (offices of tests running beside this one come and go meanwhile).
    const QString pipes = QStringLiteral("OSL_PIPE_%1_%2-*").arg(::getuid()).arg(killed);
    for (const QString &name : QDir("/tmp").entryList({pipes}, QDir::System | QDir::Files)) {
        const int probe = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, QFile::encodeName("/tmp/" + name).constData(), sizeof address.sun_path - 1);
        const bool refused = ::connect(probe, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
                             && errno == ECONNREFUSED && QFile::exists("/tmp/" + name);
        ::close(probe);
        EXPECT_FALSE(refused) << name.toStdString();
    }
}

TEST_F(CommandLineTest, ReplayRunsAVbaMacroFromXlstartAndNamesOneThatFailed)
{
    QTemporaryDir dir;
    dataHome = dir.filePath("data");
    const QString personal = dataHome + "/Halvern/XLSTART/Personal.xls";
    ASSERT_TRUE(QDir().mkpath(QFileInfo(personal).path()));
    OfficeProbe().makeMacroWorkbook(personal,
                                    {{"Module1", "Sub MarkRun()\n  Range(\"D1\").Value = ActiveWorkbook.Name\n"
                                                 "  ThisWorkbook.Sheets(1).Range(\"A1\").Value = 1\n"
                                                 "End Sub\nSub Divide()\n  Dim a, b\n  a = 1 / b\nEnd Sub\n"}});
    const QByteArray before = readFile(personal);
    const QString raw = dir.filePath("run.raw");
    writeFile(raw, "1 :: 2\r\n");

    const Outcome ran = run({"--replay", raw, "--save-as", dir.filePath("run.xls"), "--macro", "PERSONAL.XLS!MarkRun"});
    ASSERT_EQ(ran.exitCode, 0) << ran.err.toStdString();
    // The macro saw the rebuild's own copy of the working copy, beside the workbook.
    EXPECT_TRUE(SavedSheet::read(dir.filePath("run.xls")).at(1, 4).startsWith(".halvern-rebuild-"));
    EXPECT_EQ(readFile(personal), before); // changed in memory only

    const Outcome failed = run({"--replay", raw, "--save-as", dir.filePath("failed.xls"), "--macro", "Divide"});
    EXPECT_EQ(failed.exitCode, 0);
    EXPECT_TRUE(failed.err.contains("User macro did NOT run. Divide: error 11: Division by zero"))
        << failed.err.toStdString();
    // The command logs as the window does: the reason is in the user's log file.
    const QByteArray log = readFile(data.path() + "/state/Halvern/halvern.log");
    EXPECT_TRUE(log.contains(" halvern.workbook: User macro Divide did not run: error 11: Division by zero"))
        << log.toStdString();
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("failed.xls")));
}
