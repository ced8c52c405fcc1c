// The replug watcher with a real adapter stand-in: the port is open, socat
// ends (the adapter is pulled), socat starts again on the same link.
#include "AppSettings.h"
#include "LinkFolderDeviceSource.h"
#include "MSComm.h"
#include "PortWatcher.h"
#include "PtyAdapter.h"
#include "TextPrinters.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {
class PortWatcherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(AppSettings::folder()));
        ASSERT_TRUE(meter.plug());
    }
    void TearDown() override { QFile::remove(AppSettings::folder() + "/adapters.conf"); }

    QTemporaryDir devices;
    PtyAdapter meter{devices.path(), "usb-Acme_Meter_A1-if00-port0"};
};
} // namespace

TEST_F(PortWatcherTest, ReportsTheAdapterOnceItIsBackAndThePortReopensWithItsSettings)
{
    MSComm comm{PortMap(AppSettings::folder(), std::make_shared<LinkFolderDeviceSource>(devices.path()))};
    comm.setCommPort(5);
    comm.setSettings("19200,N,8,1");
    ASSERT_NO_THROW(comm.setPortOpen(true));
    const QString watched = comm.openedDevicePath();
    EXPECT_EQ(watched, meter.devicePath());

    meter.unplug();
    auto lost = [&comm] {
        try {
            comm.input();
            return false;
        } catch (const CommError &e) {
            return e.number() == 8020;
        }
    };
    ASSERT_TRUE(waitUntil(lost, 3000));

    PortWatcher watcher;
    QStringList reports;
    QObject::connect(&watcher, &PortWatcher::deviceReturned, [&reports](const QString &p) { reports << p; });
    watcher.watch(watched, 50);
    // Several looks while the adapter is away, and not one report.
    ASSERT_TRUE(waitUntil([&watcher] { return watcher.looks() >= 4; }, 3000)) << "four looks at the device";
    EXPECT_TRUE(reports.isEmpty());

    ASSERT_TRUE(meter.plug());
    ASSERT_TRUE(waitUntil([&reports] { return !reports.isEmpty(); }, 3000));
    EXPECT_EQ(reports.first(), watched);
    // Reported at every look until stopped, so a failed reopen is retried.
    const qsizetype seen = reports.size();
    ASSERT_TRUE(waitUntil([&] { return reports.size() > seen; }, 3000));
    watcher.stop();
    EXPECT_FALSE(watcher.watching());

    ASSERT_NO_THROW(comm.setPortOpen(true));
    EXPECT_EQ(comm.settings(), "19200,N,8,1");
    const int instrument = ::open(meter.instrumentEnd().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(instrument, 0);
    ASSERT_EQ(::write(instrument, "12\r\n", 4), 4);
    QByteArray got;
    EXPECT_TRUE(waitUntil([&] { return (got += comm.input()).size() >= 4; }, 3000));
    EXPECT_EQ(got, "12\r\n");
    ::close(instrument);
}

TEST_F(PortWatcherTest, AReplugQuickerThanOneLookStillCounts)
{
    PortWatcher watcher;
    watcher.watch(meter.devicePath(), 60000); // looks only when asked here
    EXPECT_FALSE(watcher.check());            // the same device, still there
    meter.unplug();
    ASSERT_TRUE(meter.plug());
    EXPECT_TRUE(watcher.check());
}
