// MSComm over a real socat pseudo-terminal pair: end A is mapped to COM5
// through ports.conf in the settings folder, the test plays the instrument on
// end B.
#include "AppSettings.h"
#include "MSComm.h"
#include "PtyPair.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Runs the event loop for a while, as the program does between timer ticks.
void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The instrument's end of the cable: raw reads and writes on end B.
class Peer {
public:
    bool open(const QString &path)
    {
        m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        return m_fd >= 0;
    }
    ~Peer()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    void send(const QByteArray &bytes)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_fd, bytes.constData() + done, bytes.size() - done);
            ASSERT_GT(n, 0);
            done += n;
        }
    }
    // Everything that arrives within the time limit, up to `count` bytes.
    QByteArray receive(qsizetype count, int timeoutMs = 2000)
    {
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (got.size() < count && t.elapsed() < timeoutMs) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
                char buf[4096];
                const ssize_t n = ::read(m_fd, buf, sizeof buf);
                if (n > 0)
                    got.append(buf, n);
            }
        }
        return got;
    }

private:
    int m_fd = -1;
};

class MSCommPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.start()) << "socat did not make the pseudo-terminal pair";
        folder = AppSettings::folder();
        ASSERT_TRUE(QDir().mkpath(folder));
        writePorts("COM5=" + pty.endA().toUtf8() + "\nCOM6=" + pty.folder().toUtf8() + "/no-such-device\n");
        ASSERT_TRUE(peer.open(pty.endB()));
        comm.setCommPort(5);
    }
    void TearDown() override { QFile::remove(QDir(folder).filePath("ports.conf")); }

    void writePorts(const QByteArray &text)
    {
        QFile f(QDir(folder).filePath("ports.conf"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

    // Polls like the acquisition tick until `count` bytes came or time is up.
    QByteArray collect(qsizetype count, int *polls = nullptr, int timeoutMs = 3000)
    {
        QByteArray got;
        QElapsedTimer t;
        t.start();
        int n = 0;
        while (got.size() < count && t.elapsed() < timeoutMs) {
            runEventLoop(20);
            const QByteArray part = comm.input();
            EXPECT_LE(part.size(), 1024);
            got += part;
            ++n;
        }
        if (polls)
            *polls = n;
        return got;
    }

    // Runs the event loop until `count` bytes wait (or time is up); returns the count.
    int waitForCount(int count, int timeoutMs = 3000)
    {
        QElapsedTimer t;
        t.start();
        while (comm.inBufferCount() < count && t.elapsed() < timeoutMs)
            runEventLoop(20);
        return comm.inBufferCount();
    }

    template <typename F>
    int errorNumber(F &&f)
    {
        try {
            f();
        } catch (const CommError &e) {
            lastError = e.description();
            return e.number();
        }
        return 0;
    }

    PtyPair pty;
    QString folder;
    Peer peer;
    MSComm comm{PortMap(AppSettings::folder())};
    QString lastError;
};

TEST_F(MSCommPty, OpensWithTheStoredConfigurationAndKeepsOrderAcrossPolls)
{
    EXPECT_EQ(comm.settings(), "9600,N,8,1");
    EXPECT_EQ(comm.devicePath(5), pty.endA());
    comm.setPortOpen(true);
    ASSERT_TRUE(comm.portOpen());

    // Several bursts between ticks, then more than the 1024-byte buffer holds:
    // all of it comes back, in order, over later polls.
    QByteArray sent;
    for (int i = 0; i < 5; ++i) {
        const QByteArray line = QByteArray("Well ") + QByteArray::number(i) + " ::RLU= " +
                                QByteArray::number(i * 1234) + "\r\n";
        peer.send(line);
        sent += line;
    }
    QByteArray big;
    for (int i = 0; i < 3000; ++i)
        big += char('A' + i % 26);
    peer.send(big);
    sent += big;

    int polls = 0;
    const QByteArray got = collect(sent.size(), &polls);
    EXPECT_EQ(got, sent);
    EXPECT_GE(polls, 3);  // the 1024-byte buffer makes it take several polls
    EXPECT_EQ(comm.input(), QByteArray());
}

TEST_F(MSCommPty, EmptyInputReturnsAtOnce)
{
    comm.setPortOpen(true);
    runEventLoop(20);
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(comm.input(), QByteArray());
    EXPECT_LT(t.elapsed(), 50);
    EXPECT_EQ(comm.inBufferCount(), 0);
}

TEST_F(MSCommPty, CountsWaitingBytesAndDiscardsThemOnZero)
{
    comm.setPortOpen(true);
    peer.send("0123456789");
    EXPECT_EQ(waitForCount(10), 10);
    comm.setInBufferCount(0);
    EXPECT_EQ(comm.inBufferCount(), 0);

    // More than Qt holds: the kernel's queue is emptied too.
    peer.send(QByteArray(2000, 'x'));
    EXPECT_EQ(waitForCount(1024), 1024);
    runEventLoop(50);
    EXPECT_EQ(comm.inBufferCount(), 1024);  // Qt holds no more than that
    comm.setInBufferCount(0);
    runEventLoop(100);
    EXPECT_EQ(comm.input(), QByteArray());

    EXPECT_EQ(errorNumber([&] { comm.setInBufferCount(5); }), 380);
    peer.send("after");
    EXPECT_EQ(collect(5), "after");
}

TEST_F(MSCommPty, OutputReachesThePeerAtOnce)
{
    comm.setPortOpen(true);
    const QByteArray packet = QByteArray("\x02hold\x00\xff", 7) + QByteArray(293, '\x55');
    comm.output(packet);
    comm.output("\r\n");
    EXPECT_EQ(peer.receive(packet.size() + 2), packet + "\r\n");
}

TEST_F(MSCommPty, SettingsAreCheckedAndAppliedToTheOpenPort)
{
    EXPECT_EQ(errorNumber([&] { comm.setSettings("9600,X,8,1"); }), 380);
    EXPECT_TRUE(lastError.contains("9600,X,8,1"));
    EXPECT_EQ(comm.settings(), "9600,N,8,1");

    comm.setSettings("19200,N,8,2");
    comm.setPortOpen(true);
    EXPECT_EQ(comm.settings(), "19200,N,8,2");
    comm.setSettings("56000,N,8,1");  // a custom rate, as the firmware loader uses
    EXPECT_EQ(comm.settings(), "56000,N,8,1");
    EXPECT_EQ(errorNumber([&] { comm.setSettings("56000,N,8"); }), 380);
    EXPECT_EQ(comm.settings(), "56000,N,8,1");
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
    comm.setSettings("9600,E,7,1");  // well formed, so stored while closed
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

TEST_F(MSCommPty, PortNumberAndOpenStateRules)
{
    EXPECT_EQ(errorNumber([&] { comm.input(); }), 8018);
    EXPECT_EQ(errorNumber([&] { comm.inBufferCount(); }), 8018);
    EXPECT_EQ(errorNumber([&] { comm.setInBufferCount(0); }), 8018);
    EXPECT_EQ(errorNumber([&] { comm.output("x"); }), 8018);
    EXPECT_EQ(errorNumber([&] { comm.setCommPort(0); }), 8002);
    EXPECT_EQ(errorNumber([&] { comm.setCommPort(17); }), 8002);
    EXPECT_EQ(comm.commPort(), 5);
    EXPECT_NO_THROW(comm.setPortOpen(false));  // closing a closed port is harmless

    comm.setPortOpen(true);
    EXPECT_EQ(errorNumber([&] { comm.setPortOpen(true); }), 8005);
    EXPECT_TRUE(comm.portOpen());
    EXPECT_EQ(errorNumber([&] { comm.setCommPort(3); }), 8000);
    EXPECT_EQ(comm.commPort(), 5);
    comm.setPortOpen(false);
    EXPECT_FALSE(comm.portOpen());
    EXPECT_EQ(errorNumber([&] { comm.input(); }), 8018);

    // The firmware updater saves and restores these two.
    EXPECT_EQ(comm.inputLen(), 0);
    EXPECT_EQ(comm.inputMode(), 0);
    EXPECT_EQ(errorNumber([&] { comm.setInputLen(-1); }), 380);
    EXPECT_EQ(errorNumber([&] { comm.setInputMode(2); }), 380);
}

TEST_F(MSCommPty, AVanishedPeerClosesThePortOnceWithoutFloodOrSpin)
{
    comm.setPortOpen(true);
    peer.send("last words");
    EXPECT_EQ(collect(10), "last words");

    pty.stop();
    const double cpuBefore = cpuSeconds();
    runEventLoop(400);
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
    runEventLoop(100);
    EXPECT_EQ(comm.deviceErrorReports(), 0);
}

} // namespace
