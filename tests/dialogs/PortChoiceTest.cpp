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

TEST(PortChoice, OtherNeedsAListEntry)
{
    PortChoice choice;
    choice.option = PortChoice::otherOption;
    EXPECT_FALSE(choice.port().has_value());
    choice.listPosition = 12;
    EXPECT_FALSE(choice.port().has_value());
    choice.listPosition = 11;
    EXPECT_EQ(choice.port(), std::optional<std::int16_t>(16));
    // An option of its own ignores the list.
    choice.option = 2;
    EXPECT_EQ(choice.port(), std::optional<std::int16_t>(2));
}

TEST(PortChoice, ListEntries)
{
    EXPECT_EQ(PortChoice::listCount, 12);
    EXPECT_EQ(PortChoice::listEntry(0), "COM 5");
    EXPECT_EQ(PortChoice::listEntry(11), "COM 16");
}
