// Serial adapters numbered by Halvern itself: socat pseudo-terminals behind
// links in a temporary folder stand in for /dev/serial/by-id; the map is made
// afresh for every look, as a new start of the program would make it.
#include "AppSettings.h"
#include "LinkFolderDeviceSource.h"
#include "MSComm.h"
#include "PortListing.h"
#include "PortMap.h"
#include "PtyAdapter.h"
#include "TextPrinters.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

SerialDevice details(const QString &description, const QString &serial)
{
    SerialDevice d;
    d.description = description;
    d.serialNumber = serial;
    d.vendorId = 0x0403;
    d.productId = 0x6001;
    return d;
}

class Adapters : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(devices.isValid());
        ASSERT_TRUE(QDir().mkpath(settings));
        source->describe(meter.name(), details("Acme Meter", "A1"));
        source->describe(logger.name(), details("Acme Logger", "B2"));
    }
    void TearDown() override
    {
        QFile::remove(settings + "/ports.conf");
        QFile::remove(settings + "/adapters.conf");
    }

    PortMap map() const { return PortMap(settings, source); }
    PortMap::Mapping at(int port) const { return map().mapping(static_cast<std::int16_t>(port)); }
    void write(const QString &name, const QByteArray &text)
    {
        QFile f(settings + '/' + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    QByteArray read(const QString &name)
    {
        QFile f(settings + '/' + name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir devices;
    QString settings = AppSettings::folder();
    std::shared_ptr<LinkFolderDeviceSource> source = std::make_shared<LinkFolderDeviceSource>(devices.path());
    PtyAdapter meter{devices.path(), "usb-Acme_Meter_A1-if00-port0"};
    PtyAdapter logger{devices.path(), "usb-Acme_Logger_B2-if00-port0"};
};

using Source = PortMap::Source;

} // namespace

TEST_F(Adapters, ANewAdapterGetsCom5AndKeepsItWhileAwayAndAfterItsReturn)
{
    EXPECT_EQ(at(5).path, "/dev/ttyS4");
    ASSERT_TRUE(meter.plug());
    EXPECT_EQ(at(5).path, meter.devicePath());
    EXPECT_EQ(at(5).source, Source::Remembered);
    EXPECT_EQ(at(1).path, "/dev/ttyS0"); // the built-in numbers stay
    EXPECT_EQ(at(6).path, "/dev/ttyS5");

    meter.unplug();
    EXPECT_EQ(at(5).path, meter.devicePath()); // still its number while away

    // The next adapter takes the next free number, not the absent one's.
    ASSERT_TRUE(logger.plug());
    EXPECT_EQ(at(6).path, logger.devicePath());
    EXPECT_EQ(at(6).source, Source::Remembered);

    ASSERT_TRUE(meter.plug());
    EXPECT_EQ(at(5).path, meter.devicePath());
    EXPECT_EQ(at(6).path, logger.devicePath());

    // The serial component opens COM5 on the returned adapter.
    MSComm comm{map()};
    comm.setCommPort(5);
    ASSERT_NO_THROW(comm.setPortOpen(true));
    const int instrument = ::open(meter.instrumentEnd().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(instrument, 0);
    ASSERT_EQ(::write(instrument, "7.25\r\n", 6), 6);
    QByteArray got;
    EXPECT_TRUE(waitUntil([&] { return (got += comm.input()).size() >= 6; }, 3000));
    EXPECT_EQ(got, "7.25\r\n");
    ::close(instrument);
}

TEST_F(Adapters, PortsConfWinsAndItsNumbersAreNotHandedOut)
{
    ASSERT_TRUE(meter.plug());
    ASSERT_EQ(at(5).path, meter.devicePath());

    write("ports.conf", ("COM5=/dev/ttyUSB7\nCOM6=" + logger.devicePath() + "\n").toUtf8());
    EXPECT_EQ(at(5).path, "/dev/ttyUSB7");
    EXPECT_EQ(at(5).source, Source::PortsConf);

    // An adapter ports.conf already leads to gets no number of its own.
    ASSERT_TRUE(logger.plug());
    EXPECT_EQ(at(6).path, logger.devicePath());
    EXPECT_EQ(at(6).source, Source::PortsConf);
    EXPECT_FALSE(read("adapters.conf").contains("Logger"));

    // A newcomer skips COM5 (the meter's) and COM6 (ports.conf's).
    PtyAdapter third(devices.path(), "usb-Other_Thing_C3-if00-port0");
    ASSERT_TRUE(third.plug());
    EXPECT_EQ(at(7).path, third.devicePath());

    // Without ports.conf the meter's own number leads to it again.
    QFile::remove(settings + "/ports.conf");
    EXPECT_EQ(at(5).path, meter.devicePath());
    EXPECT_EQ(at(5).source, Source::Remembered);

    // COM5 in ports.conf and 6 to 16 remembered: a newcomer gets no number,
    // and the file still reads as it did.
    write("ports.conf", "COM5=/dev/ttyUSB7\n");
    QByteArray full;
    for (int port = 6; port <= 16; ++port)
        full += QStringLiteral("COM%1\tby-id:usb-Gone_%1\t/dev/gone%1\tGone\t\n").arg(port).toUtf8();
    write("adapters.conf", full);
    AdapterRegistry::Snapshot seen;
    PortListing::entries(map(), false, &seen);
    EXPECT_EQ(seen.fileState, AdapterRegistry::FileState::Fine);
    EXPECT_EQ(seen.unnumbered.size(), 3); // the meter, the logger and the third
    EXPECT_EQ(read("adapters.conf"), full);
    EXPECT_EQ(at(16).path, "/dev/gone16");
    EXPECT_EQ(at(16).source, Source::Remembered);
}

TEST_F(Adapters, ACorruptRememberedFileIsIgnoredAndLeftAlone)
{
    ASSERT_TRUE(meter.plug());
    const QList<QByteArray> damaged{
        QByteArray("\x00\x01\xff garbage", 12),
        "COM5\tby-id:a\t/dev/a\t\t\nCOM5\tby-id:b\t/dev/b\t\t\n", // one number twice
        "COM17\tby-id:a\t/dev/a\t\t\n",                           // no such number for adapters
        "COM5\tby-id:a\tdev/a\t\t\n",                             // not a path
        "COM5\tby-id:a\t/dev/a\n",                                // fields missing
    };
    for (const QByteArray &text : damaged) {
        write("adapters.conf", text);
        EXPECT_EQ(at(5).path, "/dev/ttyS4") << text.constData();
        EXPECT_EQ(at(5).source, Source::BuiltIn);
        EXPECT_EQ(read("adapters.conf"), text);
    }
    AdapterRegistry::Snapshot seen;
    PortListing::entries(map(), false, &seen);
    EXPECT_TRUE(PortListing::remarks(map(), seen).contains("damaged"));

    // A folder where the file should be cannot be read either.
    QFile::remove(settings + "/adapters.conf");
    ASSERT_TRUE(QDir().mkpath(settings + "/adapters.conf"));
    EXPECT_EQ(at(5).path, "/dev/ttyS4");
    QDir(settings + "/adapters.conf").removeRecursively();
}

TEST_F(Adapters, AnUnwritableRememberedFileIsIgnored)
{
    // A settings folder that cannot be made: its parent is a file.
    QTemporaryDir scratch;
    QFile blocker(scratch.path() + "/config");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const PortMap blocked(scratch.path() + "/config/Halvern", source);

    ASSERT_TRUE(meter.plug());
    EXPECT_EQ(blocked.mapping(5).path, "/dev/ttyS4");
    EXPECT_EQ(blocked.mapping(5).source, Source::BuiltIn);
    AdapterRegistry::Snapshot seen;
    PortListing::entries(blocked, false, &seen);
    EXPECT_EQ(seen.fileState, AdapterRegistry::FileState::Unwritable);
    EXPECT_TRUE(PortListing::remarks(blocked, seen).contains("cannot be written"));
}

TEST_F(Adapters, TheListingTellsAdapterSourceAndAccess)
{
    ASSERT_TRUE(meter.plug());
    ASSERT_EQ(at(5).path, meter.devicePath()); // seen first: adapters seen together go by name
    ASSERT_TRUE(logger.plug());
    write("ports.conf", ("COM9=" + devices.path() + "/gone\n").toUtf8());
    AdapterRegistry::Snapshot seen;
    const QList<PortListing::Entry> all = PortListing::entries(map(), true, &seen);
    ASSERT_EQ(all.size(), 16);
    EXPECT_TRUE(PortListing::remarks(map(), seen).isEmpty());

    const PortListing::Entry &com5 = all[4];
    EXPECT_TRUE(com5.present);
    EXPECT_EQ(com5.description, "Acme Meter");
    EXPECT_EQ(com5.serialNumber, "A1");
    EXPECT_EQ(com5.access, PortListing::Access::Yes);
    EXPECT_EQ(all[5].description, "Acme Logger");
    EXPECT_FALSE(all[8].present);
    EXPECT_EQ(all[8].access, PortListing::Access::Absent);

    // Absent adapters stay listed with what was last seen of them.
    meter.unplug();
    const QList<PortListing::Entry> later = PortListing::listed(PortListing::entries(map()));
    QList<int> ports, expected;
    for (const auto &e : later)
        ports << e.port;
    for (int port = 1; port <= 16; ++port) {
        // COM 1 to 4, the mapped numbers, and built-in devices this machine has
        if (port <= 4 || port == 5 || port == 6 || port == 9 || QFileInfo::exists(PortMap::defaultPath(port)))
            expected << port;
    }
    EXPECT_EQ(ports, expected);
    const PortListing::Entry &away = later[expected.indexOf(5)];
    EXPECT_FALSE(away.present);
    EXPECT_EQ(away.serialNumber, "A1");

    const QStringList lines = PortListing::table(later).split('\n');
    auto row = [&lines](const QString &com) {
        for (const QString &l : lines)
            if (l.startsWith(com + ' '))
                return l.simplified();
        return QString();
    };
    EXPECT_EQ(row("COM5"), "COM5 " + meter.devicePath() + " Acme Meter A1 remembered no: absent");
    EXPECT_EQ(row("COM6"), "COM6 " + logger.devicePath() + " Acme Logger B2 remembered yes");
    EXPECT_EQ(row("COM9"), "COM9 " + devices.path() + "/gone - - ports.conf no: absent");
}
