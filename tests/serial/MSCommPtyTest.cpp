// The serial component over a real socat pseudo-terminal pair: end A is
// mapped to COM5 through ports.conf in the settings folder, the test plays the
// instrument on end B. The contract cases run the same against MSComm there
// and against FakeSerialComm, so the fake the logic tests use cannot drift.
#include "AppSettings.h"
#include "FakeSerialComm.h"
#include "FileContents.h"
#include "MSComm.h"
#include "PtyPair.h"
#include "PtyPeer.h"
#include "QStringPrinter.h"
#include "WaitUntil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <thread>

#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// MSComm on COM5; COM6 leads to a device that does not exist.
struct RealPort {
    RealPort()
    {
        ready = pty.start() && peer.open(pty.endB());
        writeFile(ports, "COM5=" + pty.endA().toUtf8() + "\nCOM6=" + pty.folder().toUtf8() + "/no-such-device\n");
        comm.setCommPort(5);
    }
    ~RealPort() { QFile::remove(ports); }
    void send(const QByteArray &bytes) { EXPECT_TRUE(peer.send(bytes)); }
    QByteArray received(qsizetype count) { return peer.receive(count); }

    const QString folder = AppSettings::folder();
    const QString ports = QDir(folder).filePath("ports.conf");
    PtyPair pty;
    PtyPeer peer;
    MSComm comm{PortMap(folder)};
    bool ready = false;
};

// The fake on COM5: what the instrument sends is pending at once, and what
// the program sends is its list of packets.
struct FakePort {
    FakePort() { comm.setCommPort(5); }
    void send(const QByteArray &bytes) { comm.pending += bytes; }
    QByteArray received(qsizetype) { return comm.sent.join(); }

    FakeSerialComm comm;
    bool ready = true;
};

template <class Port>
class SerialContract : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(port.ready) << "socat did not make the pseudo-terminal pair"; }

    // The CommError number the call throws (its text in lastError), 0 for none.
    int errorNumber(const std::function<void()> &call)
    {
        try {
            call();
        } catch (const CommError &e) {
            lastError = e.description();
            return e.number();
        }
        return 0;
    }
    // Polls like the acquisition tick until count bytes came or time is up.
    QByteArray collect(qsizetype count)
    {
        QByteArray got;
        waitUntil(
            [&] {
                got += port.comm.input();
                return got.size() >= count;
            },
            3000);
        return got;
    }
    // Runs the event loop until count bytes wait (or time is up); the count then.
    int waitForCount(int count)
    {
        waitUntil([&] { return port.comm.inBufferCount() >= count; }, 3000);
        return port.comm.inBufferCount();
    }

    Port port;
    SerialComm &comm = port.comm;
    QString lastError;
};

using Ports = ::testing::Types<RealPort, FakePort>;
TYPED_TEST_SUITE(SerialContract, Ports);

TYPED_TEST(SerialContract, OpensClosesAndClosingAClosedPortIsHarmless)
{
    SerialComm &comm = this->comm;
    EXPECT_FALSE(comm.portOpen());
    EXPECT_NO_THROW(comm.setPortOpen(false));
    comm.setPortOpen(true);
    EXPECT_TRUE(comm.portOpen());
    EXPECT_EQ(this->errorNumber([&] { comm.setPortOpen(true); }), 8005);
    EXPECT_TRUE(comm.portOpen());
    comm.setPortOpen(false);
    EXPECT_FALSE(comm.portOpen());
    EXPECT_NO_THROW(comm.setPortOpen(false));
    comm.setPortOpen(true);
    EXPECT_TRUE(comm.portOpen());
}

TYPED_TEST(SerialContract, PortNumberIsCheckedAndCannotChangeWhileOpen)
{
    SerialComm &comm = this->comm;
    EXPECT_EQ(this->errorNumber([&] { comm.setCommPort(0); }), 8002);
    EXPECT_EQ(this->errorNumber([&] { comm.setCommPort(17); }), 8002);
    EXPECT_EQ(comm.commPort(), 5);

    comm.setPortOpen(true);
    EXPECT_EQ(this->errorNumber([&] { comm.setCommPort(3); }), 8000);
    EXPECT_EQ(this->errorNumber([&] { comm.setCommPort(5); }), 8000);
    EXPECT_EQ(comm.commPort(), 5);
    EXPECT_TRUE(comm.portOpen());
    comm.setPortOpen(false);
    comm.setCommPort(3);
    EXPECT_EQ(comm.commPort(), 3);
}

TYPED_TEST(SerialContract, SettingsTextIsCheckedAndChangesWhileOpen)
{
    SerialComm &comm = this->comm;
    EXPECT_EQ(comm.settings(), "9600,N,8,1");
    EXPECT_EQ(this->errorNumber([&] { comm.setSettings("9600,X,8,1"); }), 380);
    EXPECT_TRUE(this->lastError.contains("9600,X,8,1"));
    EXPECT_EQ(comm.settings(), "9600,N,8,1");

    comm.setSettings("19200,n,8,2");
    EXPECT_EQ(comm.settings(), "19200,N,8,2");
    comm.setPortOpen(true);
    EXPECT_EQ(comm.settings(), "19200,N,8,2");
    comm.setSettings("56000,N,8,1"); // a custom rate, as the firmware loader uses
    EXPECT_EQ(comm.settings(), "56000,N,8,1");
    EXPECT_EQ(this->errorNumber([&] { comm.setSettings("56000,N,8"); }), 380);
    EXPECT_EQ(comm.settings(), "56000,N,8,1");
    EXPECT_TRUE(comm.portOpen());
}

TYPED_TEST(SerialContract, BytesGoBothWaysUnchanged)
{
    SerialComm &comm = this->comm;
    comm.setPortOpen(true);
    const QByteArray packet = QByteArray("\x02hold\x00\xff", 7) + QByteArray(293, '\x55');
    comm.output(packet);
    comm.output("\r\n");
    EXPECT_EQ(this->port.received(packet.size() + 2), packet + "\r\n");

    const char raw[] = "Well 1 ::RLU= \x00\xff 1234\r\n";
    const QByteArray line(raw, sizeof raw - 1);
    this->port.send(line);
    EXPECT_EQ(this->collect(line.size()), line);

    // InputLen limits one read; 0 hands over everything.
    comm.setInputLen(3);
    this->port.send("abcdef");
    ASSERT_EQ(this->waitForCount(6), 6);
    EXPECT_EQ(comm.input(), "abc");
    comm.setInputLen(0);
    EXPECT_EQ(comm.input(), "def");
}

TYPED_TEST(SerialContract, EmptyInputReturnsAtOnce)
{
    SerialComm &comm = this->comm;
    comm.setPortOpen(true);
    QCoreApplication::processEvents();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(comm.input(), QByteArray());
    EXPECT_EQ(comm.inBufferCount(), 0);
    // Nothing held back: what comes afterwards is read whole.
    this->port.send("after");
    EXPECT_EQ(this->collect(5), "after");
}

TYPED_TEST(SerialContract, CountsWaitingBytesAndDiscardsThemOnZero)
{
    SerialComm &comm = this->comm;
    comm.setPortOpen(true);
    this->port.send("0123456789");
    EXPECT_EQ(this->waitForCount(10), 10);
    comm.setInBufferCount(0);
    EXPECT_EQ(comm.inBufferCount(), 0);
    EXPECT_EQ(comm.input(), QByteArray());

    EXPECT_EQ(this->errorNumber([&] { comm.setInBufferCount(5); }), 380);
    this->port.send("after");
    EXPECT_EQ(this->collect(5), "after");
}

TYPED_TEST(SerialContract, AClosedPortRefusesAccessWithItsNumbers)
{
    SerialComm &comm = this->comm;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "never opened" : "after a close");
        EXPECT_EQ(this->errorNumber([&] { comm.input(); }), 8018);
        EXPECT_EQ(this->errorNumber([&] { comm.inBufferCount(); }), 8018);
        EXPECT_EQ(this->errorNumber([&] { comm.setInBufferCount(0); }), 8018);
        EXPECT_EQ(this->errorNumber([&] { comm.setInBufferCount(5); }), 380);
        EXPECT_EQ(this->errorNumber([&] { comm.output("x"); }), 8018);
        comm.setPortOpen(true);
        comm.setPortOpen(false);
    }

    // The firmware updater saves and restores these two.
    EXPECT_EQ(comm.inputLen(), 0);
    EXPECT_EQ(comm.inputMode(), 0);
    EXPECT_EQ(this->errorNumber([&] { comm.setInputLen(-1); }), 380);
    EXPECT_EQ(this->errorNumber([&] { comm.setInputMode(2); }), 380);
    comm.setInputMode(1);
    EXPECT_EQ(comm.inputMode(), 1);
}

// ---- MSComm alone on the pair ------------------------------------------------------

class MSCommPty : public SerialContract<RealPort> {
protected:
    MSComm &comm = port.comm;
    PtyPair &pty = port.pty;
    PtyPeer &peer = port.peer;
    const QString &folder = port.folder;
};

TEST_F(MSCommPty, OpensWithTheStoredConfigurationAndKeepsOrderAcrossPolls)
{
    EXPECT_EQ(comm.settings(), "9600,N,8,1");
    EXPECT_EQ(comm.devicePath(5), pty.endA());
    comm.setPortOpen(true);
    ASSERT_TRUE(comm.portOpen());

    // Several bursts between ticks: all of it comes back, in order.
    QByteArray sent;
    for (int i = 0; i < 5; ++i) {
        const QByteArray line =
            QByteArray("Well ") + QByteArray::number(i) + " ::RLU= " + QByteArray::number(i * 1234) + "\r\n";
        peer.send(line);
        sent += line;
    }
    QByteArray big;
    for (int i = 0; i < 3000; ++i)
        big += char('A' + i % 26);
    peer.send(big);
    sent += big;

    QByteArray got;
    waitUntil(
        [&] {
            const QByteArray part = comm.input();
            EXPECT_LE(part.size(), MSComm::kReceiveBufferSize);
            got += part;
            return got.size() >= sent.size();
        },
        3000);
    EXPECT_EQ(got, sent);
    EXPECT_EQ(comm.input(), QByteArray());
}

TEST_F(MSCommPty, ZeroAlsoDiscardsWhatWaitsBeyondTheBuffer)
{
    // More than Qt holds: the kernel's queue is emptied too. The pty holds
    // the writer back once Qt's buffer is full, so it writes on its own thread.
    comm.setPortOpen(true);
    constexpr qint64 kHeld = MSComm::kReceiveBufferSize;
    std::thread writer([this] { EXPECT_TRUE(peer.send(QByteArray(kHeld + 2000, 'x'))) << "the port took not all"; });
    EXPECT_EQ(waitForCount(kHeld), kHeld);
    EXPECT_FALSE(waitUntil([&] { return comm.inBufferCount() > kHeld; }, 50)); // Qt holds no more than that
    EXPECT_EQ(comm.inBufferCount(), kHeld);
    comm.setInBufferCount(0);
    writer.join();
    comm.setInBufferCount(0);
    EXPECT_EQ(comm.input(), QByteArray());
    // Had any of the 2000 bytes beyond the buffer been kept, they would come first.
    peer.send("after");
    EXPECT_EQ(collect(5), "after");
}

TEST_F(MSCommPty, SettingsTheOpenDeviceRefusesAreNotApplied)
{
    comm.setPortOpen(true);
    comm.setSettings("56000,N,8,1");
    // A pseudo-terminal takes no parity: the open port refuses, keeps its
    // previous settings and goes on working with them.
    EXPECT_EQ(errorNumber([&] { comm.setSettings("56000,E,8,1"); }), 8015);
    EXPECT_TRUE(lastError.contains(pty.endA())) << lastError.toStdString();
    EXPECT_EQ(comm.settings(), "56000,N,8,1");
    EXPECT_TRUE(comm.portOpen());

    // The port still carries data both ways after the changes.
    peer.send("ping");
    EXPECT_EQ(collect(4), "ping");
    comm.output("pong");
    EXPECT_EQ(peer.receive(4), "pong");
}

TEST_F(MSCommPty, SettingsTheDeviceRefusesMakeTheOpenFail)
{
    comm.setSettings("9600,E,7,1"); // well formed, so stored while closed
    EXPECT_EQ(errorNumber([&] { comm.setPortOpen(true); }), 8015);
    EXPECT_TRUE(lastError.contains("9600,E,7,1")) << lastError.toStdString();
    EXPECT_FALSE(comm.portOpen());
    comm.setSettings("9600,N,8,1");
    comm.setPortOpen(true);
    EXPECT_TRUE(comm.portOpen());
}

TEST_F(MSCommPty, AMissingDeviceFailsWithItsPathAndLeavesThePortClosed)
{
    comm.setCommPort(6);
    EXPECT_EQ(errorNumber([&] { comm.setPortOpen(true); }), 8010);
    EXPECT_TRUE(lastError.contains(pty.folder() + "/no-such-device")) << lastError.toStdString();
    EXPECT_FALSE(comm.portOpen());
    EXPECT_EQ(errorNumber([&] { comm.input(); }), 8018);

    // The port number can still change and the right port then opens.
    comm.setCommPort(5);
    comm.setPortOpen(true);
    EXPECT_TRUE(comm.portOpen());
}

TEST_F(MSCommPty, ASecondOpeningOfTheSameDeviceIsRefusedAsInUse)
{
    comm.setPortOpen(true);
    MSComm other{PortMap(folder)};
    other.setCommPort(5);
    EXPECT_EQ(errorNumber([&] { other.setPortOpen(true); }), 8005);
    EXPECT_TRUE(lastError.contains(pty.endA())) << lastError.toStdString();
    EXPECT_FALSE(other.portOpen());

    // The first holder is undisturbed, and once it lets go the other may open.
    peer.send("still here");
    EXPECT_EQ(collect(10), "still here");
    comm.setPortOpen(false);
    other.setPortOpen(true);
    EXPECT_TRUE(other.portOpen());
}

TEST_F(MSCommPty, AVanishedPeerClosesThePortOnceWithoutFloodOrSpin)
{
    comm.setPortOpen(true);
    peer.send("last words");
    EXPECT_EQ(collect(10), "last words");

    pty.stop();
    const double cpuBefore = cpuSeconds();
    EXPECT_TRUE(waitUntil([&] { return !comm.portOpen(); }, 400));
    // Reports stop coming once the port is closed; a flood would show within the time.
    EXPECT_FALSE(waitUntil([&] { return comm.deviceErrorReports() > 5; }, 400));
    const double cpuUsed = cpuSeconds() - cpuBefore;

    EXPECT_FALSE(comm.portOpen());
    EXPECT_GE(comm.deviceErrorReports(), 1);
    EXPECT_LE(comm.deviceErrorReports(), 5);
    EXPECT_LT(cpuUsed, 0.2) << "the event loop spun on the dead device";

    EXPECT_EQ(errorNumber([&] { comm.input(); }), 8020);
    EXPECT_TRUE(lastError.contains("lost")) << lastError.toStdString();
    EXPECT_TRUE(lastError.contains(pty.endA())) << lastError.toStdString();
    EXPECT_EQ(errorNumber([&] { comm.input(); }), 8018);
    EXPECT_EQ(errorNumber([&] { comm.inBufferCount(); }), 8018);
    EXPECT_NO_THROW(comm.setPortOpen(false));
    // The links are gone with the peer: reopening reports the missing device.
    EXPECT_EQ(errorNumber([&] { comm.setPortOpen(true); }), 8010);
}

TEST_F(MSCommPty, AVanishedPeerIsNoticedEvenBeforeTheEventLoopRuns)
{
    comm.setPortOpen(true);
    pty.stop();
    EXPECT_EQ(errorNumber([&] { comm.inBufferCount(); }), 8020);
    EXPECT_FALSE(comm.portOpen());
    EXPECT_EQ(errorNumber([&] { comm.input(); }), 8018);
    EXPECT_FALSE(waitUntil([&] { return comm.deviceErrorReports() > 0; }, 100));
}

} // namespace
