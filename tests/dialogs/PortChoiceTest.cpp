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
