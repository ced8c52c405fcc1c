#include "NumberReader.h"

#include <QByteArray>
#include <cmath>
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
    } cases[] = {{"9999\r\n", true},    {" - 1", true},          {".5", true},   {"&H1F", true},
                 {"0 0000 :: x", true}, {"\r\n\r\n\r\n", false}, {"", false},    {"-", false},
                 {".", false},          {"&H", false},           {"&Hz", false}, {"abc", false}};
    for (const auto &c : cases) {
        bool found = !c.found;
        NumberReader::leadingNumber(c.text, &found);
        EXPECT_EQ(found, c.found) << c.text;
    }
}

TEST(NumberReader, ExponentsOfAnyLength)
{
    EXPECT_EQ(NumberReader::leadingNumber("1e000000000001"), 10);
    EXPECT_EQ(NumberReader::leadingNumber("25D-0000000000000001"), 2.5);
    EXPECT_EQ(NumberReader::leadingNumber("1e99999999999999999999999"), HUGE_VAL);
    EXPECT_EQ(NumberReader::leadingNumber("-1e99999999999999999999999"), -HUGE_VAL);
    EXPECT_EQ(NumberReader::leadingNumber("1e-99999999999999999999999"), 0);
    EXPECT_EQ(NumberReader::leadingNumber("0e99999999999999999999999"), 0);
    // A long exponent that only makes up for a long run of leading zeros.
    const QByteArray small = "0." + QByteArray(200000, '0') + "1e200006";
    EXPECT_EQ(NumberReader::leadingNumber(small), 1e5);
    const QByteArray big = "1" + QByteArray(200000, '0') + "e-200003";
    EXPECT_EQ(NumberReader::leadingNumber(big), 1e-3);
}

TEST(NumberReader, LongDecimalMantissasRoundCorrectly)
{
    QByteArray thousand;
    for (int i = 0; i < 100; ++i)
        thousand += "1234567890";
    EXPECT_EQ(NumberReader::leadingNumber("0." + thousand), 0.12345678901234568);
    EXPECT_EQ(NumberReader::leadingNumber(thousand), HUGE_VAL);
    EXPECT_EQ(NumberReader::leadingNumber(thousand + "e-990"), 1.2345678901234568e9);
    // 2^53 + 1 lies halfway between two doubles; a 1 far behind it tips the
    // rounding upwards, where the exact half would go to the even 2^53.
    EXPECT_EQ(NumberReader::leadingNumber("9007199254740993"), 9007199254740992.0);
    EXPECT_EQ(NumberReader::leadingNumber("9007199254740993." + QByteArray(1000, '0') + "1"), 9007199254740994.0);
    EXPECT_EQ(NumberReader::leadingNumber("-0.0"), 0);
}

TEST(NumberReader, HexAndOctalKeepGrowingBeyondSixtyFourBits)
{
    EXPECT_EQ(NumberReader::leadingNumber("&HFFFFFFFF"), -1);
    EXPECT_EQ(NumberReader::leadingNumber("&H0000FFFF"), 65535);
    EXPECT_EQ(NumberReader::leadingNumber("&H100000000"), 4294967296.0);
    EXPECT_EQ(NumberReader::leadingNumber("&H10000000000000000"), std::ldexp(1.0, 64));
    EXPECT_EQ(NumberReader::leadingNumber("&O1" + QByteArray(22, '0')), std::ldexp(1.0, 66));
    EXPECT_EQ(NumberReader::leadingNumber("&H1" + QByteArray(250, '0')), std::ldexp(1.0, 1000));
    EXPECT_EQ(NumberReader::leadingNumber("&H1" + QByteArray(1000, '0')), HUGE_VAL);
    EXPECT_EQ(NumberReader::leadingNumber("&H" + QByteArray(1000, '0') + "1F"), 31);
    // (2^53 + 1) * 16^11 + 1: the last digit's bit decides the rounding.
    EXPECT_EQ(NumberReader::leadingNumber("&H20000000000001" + QByteArray(10, '0') + "1"),
              std::ldexp(9007199254740994.0, 44));
    EXPECT_EQ(NumberReader::leadingNumber("&H20000000000001" + QByteArray(11, '0')), std::ldexp(1.0, 97));
}
