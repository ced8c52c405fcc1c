// Why a port cannot be opened: another program holds it, or this user may
// not open it. Real pseudo-terminals; the other program and the other user
// are real processes (serial_port_tool, setpriv).
#include "MSComm.h"
#include "PortAccess.h"
#include "PtyAdapter.h"
#include "TextPrinters.h"
#include "WaitUntil.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString tool() { return QCoreApplication::applicationDirPath() + "/serial_port_tool"; }

class PortAccessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(devices.isValid());
        QFile::setPermissions(devices.path(), QFile::permissions(devices.path()) | QFile::ReadOther | QFile::ExeOther);
        ASSERT_TRUE(adapter.plug());
    }

    // Opens the device as COM5 in a separate process, as `asUser` when given
    // (through setpriv, run by root), and returns its OpenFailure.
    OpenFailure openElsewhere(const QStringList &asUser = {})
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (asUser.isEmpty())
            p.start(tool(), {"open", adapter.devicePath()});
        else
            p.start("setpriv", asUser + QStringList{"--", tool(), "open", adapter.devicePath()});
        if (!p.waitForFinished(15000) || p.exitCode() != 0)
            return {OpenFailure::Kind::Other, "the tool failed: " + QString::number(p.exitCode())};
        const QString out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
        return {static_cast<OpenFailure::Kind>(out.section('\t', 0, 0).toInt()), out.section('\t', 1)};
    }

    QTemporaryDir devices;
    PtyAdapter adapter{devices.path(), "usb-Acme_Meter_A1-if00-port0"};
};

} // namespace

TEST_F(PortAccessTest, AProgramHoldingThePortIsNamed)
{
    QProcess holder;
    holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    holder.start(tool(), {"hold", adapter.devicePath()});
    ASSERT_TRUE(holder.waitForReadyRead(10000));
    ASSERT_EQ(holder.readLine().trimmed(), "held");
    const QString holderText = QStringLiteral("serial_port_tool (process %1)").arg(holder.processId());

    // Its lock file names it; the serial component says so after a failed open.
    const auto owner = PortAccess::lockOwner(adapter.devicePath());
    ASSERT_TRUE(owner.has_value());
    EXPECT_EQ(owner->pid, holder.processId());
    QTemporaryDir settings;
    QFile map(settings.path() + "/ports.conf");
    ASSERT_TRUE(map.open(QIODevice::WriteOnly));
    map.write(("COM5=" + adapter.devicePath() + "\n").toUtf8());
    map.close();
    MSComm held{PortMap(settings.path())};
    held.setCommPort(5);
    EXPECT_THROW(held.setPortOpen(true), CommError);
    EXPECT_EQ(held.lastOpenFailure().kind, OpenFailure::Kind::InUse);
    EXPECT_TRUE(held.lastOpenFailure().text.contains(holderText)) << held.lastOpenFailure().text.toStdString();
    // /proc shows it among the processes that have the device open.
    bool listed = false;
    for (const PortAccess::Holder &h : PortAccess::holders(adapter.devicePath()))
        listed = listed || (h.pid == holder.processId() && h.name == "serial_port_tool");
    EXPECT_TRUE(listed);

    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished(5000));
    EXPECT_NO_THROW(held.setPortOpen(true));
    EXPECT_FALSE(held.lastOpenFailure().failed());
}

TEST_F(PortAccessTest, AProgramWithTheDeviceOpenButNoLockIsFoundThroughProc)
{
    QProcess sleeper;
    sleeper.start("sh", {"-c", "exec sleep 30 3<>\"$0\"", adapter.devicePath()});
    ASSERT_TRUE(sleeper.waitForStarted(5000));
    const qint64 pid = sleeper.processId();
    auto found = [&] {
        for (const PortAccess::Holder &h : PortAccess::holders(adapter.devicePath()))
            if (h.pid == pid && h.name == "sleep")
                return true;
        return false;
    };
    EXPECT_TRUE(waitUntil(found, 5000));
    EXPECT_FALSE(PortAccess::lockOwner(adapter.devicePath()).has_value());
    sleeper.kill();
    sleeper.waitForFinished(5000);
}

TEST_F(PortAccessTest, AUserWhoMayNotOpenThePortIsToldWhatToDo)
{
    const QString node = adapter.node();
    ASSERT_FALSE(node.isEmpty());
    if (::geteuid() == 0) {
        // As root: the device belongs to the group dialout, as real adapters
        // do, and user nobody, in no group, tries to open it.
        if (QStandardPaths::findExecutable("setpriv").isEmpty())
            GTEST_SKIP() << "setpriv is missing";
        const group *dialout = ::getgrnam("dialout");
        ASSERT_NE(dialout, nullptr);
        ASSERT_EQ(::chown(node.toLocal8Bit().constData(), 0, dialout->gr_gid), 0);
        ASSERT_EQ(::chmod(node.toLocal8Bit().constData(), 0660), 0);
        const OpenFailure f = openElsewhere({"--reuid=65534", "--regid=65534", "--clear-groups"});
        EXPECT_EQ(f.kind, OpenFailure::Kind::Permission) << f.text.toStdString();
        EXPECT_TRUE(f.text.contains("add yourself to the group dialout: sudo adduser $USER dialout, then log in "
                                    "again"))
            << f.text.toStdString();
        EXPECT_TRUE(f.text.contains(adapter.devicePath()));
    } else {
        // As an ordinary user: the device's mode lets no one in.
        ASSERT_EQ(::chmod(node.toLocal8Bit().constData(), 0), 0);
        const OpenFailure f = openElsewhere();
        EXPECT_EQ(f.kind, OpenFailure::Kind::Permission) << f.text.toStdString();
        EXPECT_TRUE(f.text.contains("mode 000")) << f.text.toStdString();
    }
}
