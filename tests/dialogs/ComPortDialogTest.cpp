#include "AppSettings.h"
#include "Clicks.h"
#include "DialogActions.h"
#include "LinkFolderDeviceSource.h"
#include "PtyAdapter.h"
#include "FakeSerialComm.h"
#include "ModalDriver.h"
#include "frmComPort.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

// COM 1 to 16 leading where `pathOf` says, all devices present.
QList<PortListing::Entry> entries(const std::function<QString(int)> &pathOf)
{
    QList<PortListing::Entry> all;
    for (int port = 1; port <= 16; ++port) {
        PortListing::Entry e;
        e.port = port;
        e.path = pathOf(port);
        e.present = true;
        all.append(e);
    }
    return all;
}

// A serial component that has no COM 7.
struct NoCom7 : FakeSerialComm {
    void setCommPort(std::int16_t port) override
    {
        if (port == 7)
            throw CommError(8002, "Invalid port number");
        FakeSerialComm::setCommPort(port);
    }
};

class ComPortDialog : public ::testing::Test {
protected:
    // Opens the dialog the way the main window's button does, with the serial
    // component on `current`, and acts on it while it shows.
    std::int16_t select(std::int16_t current, const std::function<void(frmComPort &)> &act)
    {
        comm->setCommPort(current);
        return driveModal<frmComPort>(
            [&] { return selectComPort(dialog, *comm, [&](const QString &t) { label = t; }); }, act);
    }

    std::int16_t getPort(std::uint8_t port, const std::function<void(frmComPort &)> &act)
    {
        return driveModal<frmComPort>([&] { return dialog.GetPort(port); }, act);
    }

    static int checkedOption(frmComPort &d)
    {
        for (int i = 0; i < 5; ++i) {
            if (d.optComPort[i]->isChecked())
                return i;
        }
        return -1;
    }

    std::unique_ptr<FakeSerialComm> comm = std::make_unique<FakeSerialComm>();
    frmComPort dialog{[] {
        return entries([](int port) {
            return port == 5 ? QStringLiteral("/dev/ttyUSB0") : QStringLiteral("/dev/ttyS%1").arg(port - 1);
        });
    }};
    QString label;
};

} // namespace

TEST_F(ComPortDialog, ControlsAsDesigned)
{
    EXPECT_EQ(dialog.windowTitle(), "COM Port Selection");
    const QStringList captions{"&Other", "COM &1", "COM &2", "COM &3", "COM &4"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(dialog.optComPort[i]->text(), captions[i]);
        EXPECT_EQ(dialog.optComPort[i]->parentWidget(), dialog.Frame1);
    }
    ASSERT_EQ(dialog.cboComPort->count(), 12);
    EXPECT_EQ(dialog.cboComPort->itemText(0), "COM 5");
    EXPECT_EQ(dialog.cboComPort->itemText(11), "COM 16");
    EXPECT_FALSE(dialog.cboComPort->isEditable());
    EXPECT_FALSE(dialog.cboComPort->isEnabled());
    EXPECT_EQ(dialog.cmdOK->text(), "OK");
    EXPECT_TRUE(dialog.cmdOK->isDefault());
    EXPECT_EQ(dialog.cmdCancel->text(), "Cancel");
    EXPECT_NE(dialog.cmdOK->parentWidget(), dialog.Frame1);

    // Placement, once laid out: options top to bottom COM 1..4, Other, list;
    // OK above Cancel, right of the frame.
    getPort(1, [](frmComPort &d) {
        int y = -1;
        for (int i : {1, 2, 3, 4, 0}) {
            EXPECT_GT(d.optComPort[i]->y(), y);
            y = d.optComPort[i]->y();
        }
        EXPECT_GT(d.cboComPort->y(), y);
        EXPECT_LT(d.cmdOK->y(), d.cmdCancel->y());
        EXPECT_GE(d.cmdOK->x(), d.Frame1->geometry().right());
        d.cmdOK->click();
    });
}

TEST_F(ComPortDialog, Port3PresetsCom3WithTheListOnCom5Disabled)
{
    EXPECT_EQ(select(3,
                     [](frmComPort &d) {
                         EXPECT_EQ(checkedOption(d), 3);
                         EXPECT_EQ(d.cboComPort->currentText(), "COM 5");
                         EXPECT_FALSE(d.cboComPort->isEnabled());
                         pressEnter(d);
                     }),
              3);
    EXPECT_EQ(comm->commPort(), 3);
    EXPECT_EQ(label, "COM 3");
}

TEST_F(ComPortDialog, Port12PresetsOtherWithCom12Enabled)
{
    EXPECT_EQ(select(12,
                     [](frmComPort &d) {
                         EXPECT_EQ(checkedOption(d), 0);
                         EXPECT_EQ(d.cboComPort->currentText(), "COM 12");
                         EXPECT_TRUE(d.cboComPort->isEnabled());
                         click(d.cmdOK);
                     }),
              12);
    EXPECT_EQ(label, "COM 12");
}

TEST_F(ComPortDialog, OtherFromPort2GivesCom5)
{
    EXPECT_EQ(select(2,
                     [](frmComPort &d) {
                         clickIndicator(d.optComPort[0]);
                         EXPECT_EQ(checkedOption(d), 0);
                         EXPECT_TRUE(d.cboComPort->isEnabled());
                         pressEnter(d);
                     }),
              5);
    EXPECT_EQ(comm->commPort(), 5);
    EXPECT_EQ(label, "COM 5");
}

TEST_F(ComPortDialog, BackToCom1DisablesTheListAndGives1)
{
    EXPECT_EQ(select(12,
                     [](frmComPort &d) {
                         clickIndicator(d.optComPort[1]);
                         EXPECT_EQ(checkedOption(d), 1);
                         EXPECT_FALSE(d.cboComPort->isEnabled());
                         EXPECT_EQ(d.cboComPort->currentText(), "COM 12"); // keeps its place
                         pressEnter(d);
                     }),
              1);
    EXPECT_EQ(label, "COM 1");
}

TEST_F(ComPortDialog, LeavingWithoutOkKeepsTheOldPort)
{
    for (Leave how : {Leave::CancelButton, Leave::EscapeKey, Leave::CloseBox}) {
        SCOPED_TRACE(leaveName(how));
        label.clear();
        EXPECT_EQ(select(3,
                         [how](frmComPort &d) {
                             clickIndicator(d.optComPort[0]);
                             QTest::keyClick(d.cboComPort, Qt::Key_Down);
                             EXPECT_EQ(d.cboComPort->currentText(), "COM 6");
                             leaveWithoutOk(d, how);
                         }),
                  3);
        EXPECT_EQ(comm->commPort(), 3);
        EXPECT_EQ(label, "COM 3");
        EXPECT_TRUE(dialog.isHidden());
    }
}

TEST_F(ComPortDialog, EveryOpeningStartsFromTheDesignState)
{
    EXPECT_EQ(getPort(12, [](frmComPort &d) { d.cmdOK->click(); }), 12);

    // Ports 0 and 17 preset nothing; OK with nothing chosen acts as Cancel.
    for (std::uint8_t port : {std::uint8_t(0), std::uint8_t(17)}) {
        SCOPED_TRACE(port);
        EXPECT_EQ(getPort(port,
                          [](frmComPort &d) {
                              EXPECT_EQ(checkedOption(d), -1);
                              EXPECT_EQ(d.cboComPort->currentIndex(), -1);
                              EXPECT_FALSE(d.cboComPort->isEnabled());
                              pressEnter(d);
                          }),
                  port);
    }

    // "Other" with a blank list: nothing to read, so nothing changes either.
    EXPECT_EQ(getPort(0,
                      [](frmComPort &d) {
                          clickIndicator(d.optComPort[0]);
                          EXPECT_TRUE(d.cboComPort->isEnabled());
                          pressEnter(d);
                      }),
              0);
    // ... but picking an entry then counts.
    EXPECT_EQ(getPort(0,
                      [](frmComPort &d) {
                          clickIndicator(d.optComPort[0]);
                          QTest::keyClick(d.cboComPort, Qt::Key_Down);
                          pressEnter(d);
                      }),
              5);
}

TEST_F(ComPortDialog, RefusedNumberKeepsTheOldPort)
{
    comm = std::make_unique<NoCom7>();
    EXPECT_EQ(select(2,
                     [](frmComPort &d) {
                         clickIndicator(d.optComPort[0]);
                         QTest::keyClick(d.cboComPort, Qt::Key_Down);
                         QTest::keyClick(d.cboComPort, Qt::Key_Down);
                         pressEnter(d);
                     }),
              2);
    EXPECT_EQ(comm->commPort(), 2);
    EXPECT_EQ(label, "COM 2");
}

TEST_F(ComPortDialog, TooltipsShowTheDevicePaths)
{
    getPort(12, [](frmComPort &d) {
        EXPECT_EQ(d.optComPort[1]->toolTip(), "/dev/ttyS0");
        EXPECT_EQ(d.optComPort[4]->toolTip(), "/dev/ttyS3");
        EXPECT_EQ(d.cboComPort->itemData(0, Qt::ToolTipRole).toString(), "/dev/ttyUSB0");
        EXPECT_EQ(d.cboComPort->itemData(11, Qt::ToolTipRole).toString(), "/dev/ttyS15");
        // "Other" stands for the list's current entry.
        EXPECT_EQ(d.optComPort[0]->toolTip(), "/dev/ttyS11");
        QTest::keyClick(d.cboComPort, Qt::Key_Down);
        EXPECT_EQ(d.optComPort[0]->toolTip(), "/dev/ttyS12");
        EXPECT_EQ(d.cboComPort->toolTip(), "/dev/ttyS12");
        d.cmdCancel->click();
    });

    // The list is asked for at each opening; a failing one shows nothing.
    bool fail = false;
    frmComPort failing([&fail] {
        if (fail)
            throw CommError(8002, "Invalid port number");
        return entries([](int port) { return QStringLiteral("/dev/ttyACM%1").arg(port); });
    });
    driveModal<frmComPort>([&] { return failing.GetPort(1); },
                           [](frmComPort &d) {
                               EXPECT_EQ(d.optComPort[1]->toolTip(), "/dev/ttyACM1");
                               EXPECT_EQ(d.optComPort[0]->toolTip(), "/dev/ttyACM5");
                               d.cmdOK->click();
                           });
    fail = true;
    driveModal<frmComPort>([&] { return failing.GetPort(1); },
                           [](frmComPort &d) {
                               EXPECT_EQ(d.optComPort[1]->toolTip(), "");
                               EXPECT_EQ(d.cboComPort->itemData(0, Qt::ToolTipRole).toString(), "");
                               d.cmdOK->click();
                           });
}

// The program's own list: an adapter (a socat pseudo-terminal behind a link
// as in /dev/serial/by-id) numbered COM 5 by Halvern.
TEST_F(ComPortDialog, TooltipsDescribeAdaptersAndMarkNumbersWithoutADevice)
{
    QTemporaryDir devices;
    auto source = std::make_shared<LinkFolderDeviceSource>(devices.path());
    PtyAdapter meter(devices.path(), "usb-Acme_Meter_A1-if00-port0");
    SerialDevice details;
    details.description = "Acme Meter";
    details.serialNumber = "A1";
    source->describe(meter.name(), details);
    ASSERT_TRUE(meter.plug());
    ASSERT_TRUE(QDir().mkpath(AppSettings::folder()));
    const PortMap map(AppSettings::folder(), source);
    frmComPort programs([&map] { return PortListing::entries(map, false); });

    QString presentTip, absentTip, missingBuiltIn;
    auto open = [&] {
        driveModal<frmComPort>([&] { return programs.GetPort(5); },
                               [&](frmComPort &d) {
                                   presentTip = d.cboComPort->itemData(0, Qt::ToolTipRole).toString();
                                   EXPECT_EQ(d.optComPort[0]->toolTip(), presentTip); // "Other" on COM 5
                                   missingBuiltIn = d.cboComPort->itemData(11, Qt::ToolTipRole).toString();
                                   d.cmdCancel->click();
                               });
    };
    open();
    const QStringList lines = presentTip.split('\n');
    ASSERT_EQ(lines.size(), 2) << presentTip.toStdString();
    EXPECT_EQ(lines[0], meter.devicePath());
    EXPECT_TRUE(lines[1].contains("Acme Meter") && lines[1].contains("A1")) << presentTip.toStdString();
    if (!QFileInfo::exists("/dev/ttyS15")) {
        EXPECT_TRUE(missingBuiltIn.startsWith("/dev/ttyS15\n")) << missingBuiltIn.toStdString();
    }

    // Pulled out: the same number and adapter, now marked as not there.
    meter.unplug();
    const QString before = presentTip;
    open();
    EXPECT_TRUE(presentTip.startsWith(before + '\n')) << presentTip.toStdString();
    if (!QFileInfo::exists("/dev/ttyS15")) {
        EXPECT_EQ(presentTip.section('\n', -1), missingBuiltIn.section('\n', -1));
    }
    QFile::remove(map.adaptersFileName());
}

TEST_F(ComPortDialog, CloseFromCodeProceeds)
{
    EXPECT_TRUE(dialog.close()); // hidden: nothing to refuse
    // While showing, a close from the program ends the dialog without a choice.
    EXPECT_EQ(getPort(3,
                      [](frmComPort &d) {
                          clickIndicator(d.optComPort[2]);
                          EXPECT_TRUE(d.close());
                      }),
              3);
}

TEST(WhichOptionButton, LooksOnlyAtButtonsDirectlyInTheContainer)
{
    QWidget form;
    auto *formA = new QRadioButton("a", &form);
    auto *formB = new QRadioButton("b", &form);
    auto *frame = new QGroupBox(&form);
    auto *frameA = new QRadioButton("fa", frame);
    auto *frameB = new QRadioButton("fb", frame);
    auto *panel = new QWidget(&form); // a plain container, not a frame
    auto *inner = new QGroupBox(panel);
    auto *innerA = new QRadioButton("ia", inner);
    Q_UNUSED(formA);
    Q_UNUSED(frameA);

    EXPECT_EQ(frmComPort::WhichOptionButton(&form), nullptr);
    EXPECT_EQ(frmComPort::WhichOptionButton(frame), nullptr);
    EXPECT_EQ(frmComPort::WhichOptionButton(nullptr), nullptr);

    frameB->setChecked(true);
    EXPECT_EQ(frmComPort::WhichOptionButton(frame), frameB);
    EXPECT_EQ(frmComPort::WhichOptionButton(&form), nullptr); // not directly on the form

    formB->setChecked(true);
    innerA->setChecked(true);
    EXPECT_EQ(frmComPort::WhichOptionButton(&form), formB);
    EXPECT_EQ(frmComPort::WhichOptionButton(frame), frameB);
    EXPECT_EQ(frmComPort::WhichOptionButton(inner), innerA); // container two levels down
    EXPECT_EQ(frmComPort::WhichOptionButton(panel), nullptr);
}
