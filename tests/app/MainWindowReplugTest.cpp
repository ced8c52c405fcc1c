// A USB adapter pulled out of a running acquisition and put back: the main
// window with its own tmrMain, the real serial component numbering a socat
// pseudo-terminal behind a by-id style link as COM5, a real headless office,
// and the saved workbook read back.
#include "LinkFolderDeviceSource.h"
#include "MainWindowFixture.h"
#include "PtyAdapter.h"
#include "QStringPrinter.h"
#include "SavedSheet.h"
#include "StatusTexts.h"

#include <QTimer>
#include <gtest/gtest.h>

namespace {

class MainWindowReplugTest : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        if (HasFatalFailure())
            return;
        // COM5 is the adapter Halvern numbers by itself, not a ports.conf line.
        QFile::remove(AppSettings::folder() + "/ports.conf");
        ASSERT_TRUE(meter.plug());
        rig.comm = std::make_unique<MSComm>(
            PortMap(AppSettings::folder(), std::make_shared<LinkFolderDeviceSource>(devices.path())));
        rig.comm->setCommPort(5);
        ASSERT_TRUE(rig.start()) << rig.status().toStdString();
        ASSERT_EQ(rig.comm->openedDevicePath(), meter.devicePath());
        ASSERT_TRUE(instrument.open(meter.instrumentEnd()));
    }
    void TearDown() override
    {
        rig.tearDown();
        QFile::remove(AppSettings::folder() + "/adapters.conf");
    }

    // The instrument prints into the adapter; the run takes it in.
    bool sendReceived(const QByteArray &bytes)
    {
        if (!instrument.send(bytes))
            return false;
        rig.sent += bytes.size();
        return rig.received();
    }
    static QByteArray lines(int from, int to)
    {
        QByteArray text;
        for (int i = from; i <= to; ++i)
            text += "L" + QByteArray::number(i).rightJustified(4, '0') + "\r\n";
        return text;
    }
    void pullOut()
    {
        instrument.close();
        meter.unplug();
    }

    QColor portLamp() const { return MainWindowRig::colourOf(rig.w->panComPort); }

    QTemporaryDir devices;
    PtyAdapter meter{devices.path(), "usb-Acme_Meter_A1-if00-port0"};
    PtyPeer instrument;
};

TEST_F(MainWindowReplugTest, APortThatVanishesMidLineAndReturnsGoesOnIntoTheFollowingRows)
{
    ASSERT_TRUE(sendReceived(lines(1, 10)));
    ASSERT_TRUE(rig.written());
    ASSERT_TRUE(sendReceived("L00")); // half of line 11

    pullOut();
    ASSERT_TRUE(waitUntil([this] { return rig.status() == kNoPort; }, 5000));
    EXPECT_EQ(portLamp(), MainWindowRig::red());
    EXPECT_FALSE(rig.comm->portOpen());
    EXPECT_TRUE(run().watchingForPort());

    // Away for several ticks of the run's timer; the run goes on meanwhile,
    // its port red.
    int ticks = 0;
    QObject counter;
    QObject::connect(w().tmrMain, &QTimer::timeout, &counter, [&ticks] { ++ticks; });
    ASSERT_TRUE(waitUntil([&ticks] { return ticks >= 10; }, 10000));
    EXPECT_EQ(rig.status(), kNoPort);
    EXPECT_EQ(portLamp(), MainWindowRig::red());
    EXPECT_EQ(run().state(), RunState::Running);

    ASSERT_TRUE(meter.plug());
    ASSERT_TRUE(waitUntil([this] { return portLamp() == MainWindowRig::green(); }, 10000));
    EXPECT_TRUE(rig.comm->portOpen());
    EXPECT_FALSE(run().watchingForPort());
    EXPECT_EQ(rig.comm->openedDevicePath(), meter.devicePath());
    EXPECT_EQ(rig.status(), "Bytes Received: " + QString::number(rig.sent));

    // The rest, in pieces that split lines and line ends.
    ASSERT_TRUE(instrument.open(meter.instrumentEnd()));
    const QByteArray rest = lines(12, 100);
    for (qsizetype at = 0; at < rest.size(); at += 97)
        ASSERT_TRUE(sendReceived(rest.mid(at, 97)));
    ASSERT_TRUE(rig.written());
    EXPECT_EQ(run().nextRow(), 100);

    rig.saveAnswer = rig.outputFile("replug.xls");
    click(rig.w->cmdStop);
    EXPECT_TRUE(rig.boxes.boxes.isEmpty()); // no line missing from the workbook
    // The journal keeps every byte received, the half line too.
    EXPECT_EQ(readFile(run().journal().rawPath()), lines(1, 10) + "L00" + rest);

    const SavedSheet sheet = SavedSheet::read(rig.saveAnswer);
    ASSERT_FALSE(sheet.isEmpty());
    for (int i = 1; i <= 10; ++i)
        ASSERT_EQ(sheet.at(i, 1), "L" + QString::number(i).rightJustified(4, '0')) << "row " << i;
    // The half line is lost: the instrument's bytes while the adapter was out
    // never arrived, so its start cannot be completed, and joined to the first
    // line after the return it would spoil that line too. Every line sent
    // after the return follows in the next rows, once each.
    for (int i = 12; i <= 100; ++i)
        ASSERT_EQ(sheet.at(i - 1, 1), "L" + QString::number(i).rightJustified(4, '0')) << "row " << i - 1;
    EXPECT_EQ(sheet.at(100, 1), "");
    EXPECT_EQ(sheet.at(1, 2), "");
}

TEST_F(MainWindowReplugTest, BackDuringAPauseAndStopWhileGone)
{
    ASSERT_TRUE(sendReceived(lines(1, 3)));
    pullOut();
    ASSERT_TRUE(waitUntil([this] { return rig.status() == kNoPort; }, 5000));

    // Paused, tmrMain goes on to read the port once it is back; the watch
    // looks on its own.
    click(rig.w->cmdPause);
    ASSERT_TRUE(rig.w->tmrMain->isActive());
    ASSERT_TRUE(meter.plug());
    ASSERT_TRUE(waitUntil([this] { return rig.comm->portOpen(); }, 10000));
    EXPECT_FALSE(run().watchingForPort());
    EXPECT_EQ(rig.status(), "Paused");
    EXPECT_EQ(portLamp(), MainWindowRig::yellow());
    EXPECT_EQ(run().state(), RunState::Paused);

    click(rig.w->cmdResume);
    EXPECT_EQ(portLamp(), MainWindowRig::green());
    ASSERT_TRUE(instrument.open(meter.instrumentEnd()));
    ASSERT_TRUE(sendReceived(lines(4, 5)));
    ASSERT_TRUE(rig.written());

    // Gone again, and Stop meanwhile: a normal stop, nothing left watching.
    pullOut();
    ASSERT_TRUE(waitUntil([this] { return rig.status() == kNoPort; }, 5000));
    ASSERT_TRUE(run().watchingForPort());
    const pid_t office = rig.officeGroup();
    rig.saveAnswer = rig.outputFile("gone.xls");
    click(rig.w->cmdStop);
    EXPECT_EQ(run().state(), RunState::Stopped);
    EXPECT_FALSE(run().watchingForPort());
    EXPECT_FALSE(rig.comm->portOpen());
    EXPECT_EQ(portLamp(), rig.frameColour());
    EXPECT_EQ(rig.status(), "");
    EXPECT_TRUE(rig.w->cmdStart->isEnabled());
    EXPECT_TRUE(rig.boxes.boxes.isEmpty());
    EXPECT_TRUE(MainWindowRig::officeEnded(office));
    const SavedSheet sheet = SavedSheet::read(rig.saveAnswer);
    ASSERT_FALSE(sheet.isEmpty());
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(sheet.at(i, 1), "L" + QString::number(i).rightJustified(4, '0')) << "row " << i;
    EXPECT_EQ(sheet.at(6, 1), "");

    // The adapter back after the run: a new run opens it as usual.
    ASSERT_TRUE(meter.plug());
    ASSERT_TRUE(rig.start()) << rig.status().toStdString();
    EXPECT_TRUE(rig.comm->portOpen());
    EXPECT_FALSE(run().watchingForPort());
}

} // namespace
