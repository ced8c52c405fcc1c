// The front-panel screen sequence and the EOL frequency box's reading.
#include "FrontPanel.h"
#include "WholeNumberText.h"

#include <gtest/gtest.h>

TEST(FrontPanelTest, PowerUpCountsDownToHomeWithoutShowingZero)
{
    FrontPanel panel;
    panel.powerUp();
    for (int shown = 300; shown >= 1; --shown) {
        const auto lines = panel.updateDisplay();
        ASSERT_TRUE(lines);
        EXPECT_EQ(lines->line1, "QUENTARO WORKS");
        ASSERT_EQ(lines->line2, QString::number(shown));
    }
    EXPECT_EQ(panel.screen(), "Home");
    const auto home = panel.updateDisplay();
    EXPECT_EQ(home->line1, "0.000");
    EXPECT_EQ(home->line2, "Rdy");
}

TEST(FrontPanelTest, GoCountRunsPastZeroAndRestsAtTheLowestValue)
{
    FrontPanel panel;
    panel.powerUp();
    panel.updateDisplay();
    panel.pressGo();
    EXPECT_EQ(panel.powerUpCount(), 299); // kept, never shown again
    EXPECT_EQ(panel.updateDisplay()->line1, "Int: 6000");
    for (int i = 0; i < 6000; ++i)
        panel.updateDisplay();
    EXPECT_EQ(panel.updateDisplay()->line1, "Int: -1");
    for (int i = 0; i < 40000; ++i)
        panel.updateDisplay();
    const auto lines = panel.updateDisplay();
    EXPECT_EQ(lines->line1, "Int: -32768");
    EXPECT_EQ(lines->line2, "<ESC>- Abort");
    EXPECT_EQ(panel.goCount(), -32768);

    panel.pressGo(); // restarts
    EXPECT_EQ(panel.updateDisplay()->line1, "Int: 6000");
    panel.pressEsc();
    EXPECT_EQ(panel.updateDisplay()->line2, "Rdy");
}

TEST(FrontPanelTest, UnknownScreenLeavesTheDisplay)
{
    FrontPanel panel; // never powered up: no screen yet
    EXPECT_FALSE(panel.updateDisplay());
}

TEST(WholeNumberTextTest, ReadsWholeNumbersAndRefusesEverythingElse)
{
    const std::pair<const char *, int> good[] = {
        {"16", 16},   {" 3 ", 3},   {"2.5", 2},       {"3.5", 4},         {"-4", -4}, {"0", 0}, {"1e3", 1000},
        {"&H10", 16}, {"&o17", 15}, {"32767", 32767}, {"-32768", -32768}, {"+7", 7},  {".5", 0}};
    for (const auto &[text, value] : good) {
        const auto n = WholeNumberText::toInt16(QString::fromLatin1(text));
        ASSERT_TRUE(n) << text;
        EXPECT_EQ(*n, value) << text;
    }
    for (const char *text :
         {"", " ", "abc", "12ab", "99999", "32767.5", "-", "1 2", "&H", "&HFFFFF", "nan", "inf", "1e99"})
        EXPECT_FALSE(WholeNumberText::toInt16(QString::fromLatin1(text))) << '"' << text << '"';
}
