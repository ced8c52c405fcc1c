#include "NumberReader.h"

#include <gtest/gtest.h>

TEST(NumberReader, ReadsTheLeadingNumber)
{
    EXPECT_EQ(NumberReader::leadingNumber("12ab"), 12);
    EXPECT_EQ(NumberReader::leadingNumber("2.5"), 2.5);
    EXPECT_EQ(NumberReader::leadingNumber("-7.25 x"), -7.25);
    EXPECT_EQ(NumberReader::leadingNumber(".5"), 0.5);
    EXPECT_EQ(NumberReader::leadingNumber("9999\r\n"), 9999);
}

TEST(NumberReader, NoNumberReadsAsZero)
{
    EXPECT_EQ(NumberReader::leadingNumber(""), 0);
    EXPECT_EQ(NumberReader::leadingNumber("abc"), 0);
    EXPECT_EQ(NumberReader::leadingNumber("\r\n\r\n\r\n"), 0);
    EXPECT_EQ(NumberReader::leadingNumber("-"), 0);
}

TEST(NumberReader, BlanksTabsAndLineFeedsAreSkippedAnywhere)
{
    EXPECT_EQ(NumberReader::leadingNumber(" 1 2"), 12);
    EXPECT_EQ(NumberReader::leadingNumber("1\t2 3"), 123);
    EXPECT_EQ(NumberReader::leadingNumber("\n- 4\n5"), -45);
    // A carriage return is not skipped: it ends the number.
    EXPECT_EQ(NumberReader::leadingNumber("1\r2"), 1);
}

TEST(NumberReader, ExponentLettersEAndD)
{
    EXPECT_EQ(NumberReader::leadingNumber("1E3"), 1000);
    EXPECT_EQ(NumberReader::leadingNumber("2.5d2"), 250);
    EXPECT_EQ(NumberReader::leadingNumber("5e-1"), 0.5);
    EXPECT_EQ(NumberReader::leadingNumber("7e"), 7);
}

TEST(NumberReader, HexAndOctal)
{
    EXPECT_EQ(NumberReader::leadingNumber("&H1F"), 31);
    EXPECT_EQ(NumberReader::leadingNumber("&hff zz"), 255);
    EXPECT_EQ(NumberReader::leadingNumber("&HFFFF"), -1);
    EXPECT_EQ(NumberReader::leadingNumber("&O17"), 15);
    EXPECT_EQ(NumberReader::leadingNumber("&Z1"), 0);
}

TEST(NumberReader, RoundingHalvesToEvenAndSixteenBitRange)
{
    EXPECT_EQ(NumberReader::roundHalfEven(2.5), 2);
    EXPECT_EQ(NumberReader::roundHalfEven(3.5), 4);
    EXPECT_EQ(NumberReader::roundHalfEven(-2.5), -2);
    EXPECT_EQ(NumberReader::toInt16(32767.4), std::optional<std::int16_t>(32767));
    EXPECT_EQ(NumberReader::toInt16(-32768), std::optional<std::int16_t>(-32768));
    EXPECT_EQ(NumberReader::toInt16(40000), std::nullopt);
    EXPECT_EQ(NumberReader::toInt16(32767.5), std::nullopt);
    EXPECT_EQ(NumberReader::toInt16(NumberReader::leadingNumber("1e999")), std::nullopt);
}

TEST(NumberReader, ToldWhetherTheTextStartsWithANumber)
{
    const struct {
        const char *text;
        bool found;
    } cases[] = {{"9999\r\n", true}, {" - 1", true}, {".5", true}, {"&H1F", true}, {"0 0000 :: x", true},
                 {"\r\n\r\n\r\n", false}, {"", false}, {"-", false}, {".", false}, {"&H", false},
                 {"&Hz", false}, {"abc", false}};
    for (const auto &c : cases) {
        bool found = !c.found;
        NumberReader::leadingNumber(c.text, &found);
        EXPECT_EQ(found, c.found) << c.text;
    }
}
