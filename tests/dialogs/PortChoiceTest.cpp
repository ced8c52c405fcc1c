#include "PortChoice.h"

#include <gtest/gtest.h>

TEST(PortChoice, PresetOfEveryPortGivesThatPortBack)
{
    for (int port = 1; port <= 16; ++port) {
        SCOPED_TRACE(port);
        const PortChoice choice = PortChoice::forPort(std::uint8_t(port));
        EXPECT_EQ(choice.option, port <= 4 ? port : PortChoice::otherOption);
        EXPECT_EQ(choice.listPosition, port <= 4 ? 0 : port - 5);
        ASSERT_TRUE(choice.port().has_value());
        EXPECT_EQ(*choice.port(), port);
    }
}

TEST(PortChoice, PortsOutsideTheDialogPresetNothing)
{
    for (int port : {0, 17, 255}) {
        SCOPED_TRACE(port);
        const PortChoice choice = PortChoice::forPort(std::uint8_t(port));
        EXPECT_EQ(choice.option, PortChoice::noOption);
        EXPECT_EQ(choice.listPosition, PortChoice::noListPosition);
        EXPECT_FALSE(choice.port().has_value());
    }
}

TEST(PortChoice, ToolTipAddsTheAdapterAndMarksANumberWithoutADevice)
{
    PortListing::Entry adapter;
    adapter.port = 5;
    adapter.path = "/dev/serial/by-id/usb-Acme_Meter_A1-if00-port0";
    adapter.source = PortMap::Source::Remembered;
    adapter.present = true;
    adapter.description = "Acme Meter";
    adapter.serialNumber = "A1";
    const QStringList lines = PortChoice::toolTip(adapter).split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], adapter.path);
    EXPECT_TRUE(lines[1].contains("Acme Meter"));
    EXPECT_TRUE(lines[1].contains("A1"));

    // A plain port with its device there shows just the path.
    PortListing::Entry plain;
    plain.port = 1;
    plain.path = "/dev/ttyS0";
    plain.present = true;
    EXPECT_EQ(PortChoice::toolTip(plain), "/dev/ttyS0");

    // Without a device both get one more line, the same for both.
    adapter.present = false;
    plain.present = false;
    const QStringList away = PortChoice::toolTip(adapter).split('\n');
    const QStringList missing = PortChoice::toolTip(plain).split('\n');
    ASSERT_EQ(away.size(), 3);
    ASSERT_EQ(missing.size(), 2);
    EXPECT_EQ(away.mid(0, 2), lines);
    EXPECT_EQ(missing[0], "/dev/ttyS0");
    EXPECT_EQ(away[2], missing[1]);
    EXPECT_FALSE(missing[1].isEmpty());

    // Only the serial number known: it still shows.
    adapter.description.clear();
    EXPECT_TRUE(PortChoice::toolTip(adapter).split('\n').value(1).contains("A1"));
}
