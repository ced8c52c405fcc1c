// The two emulated instrument models: the exact text they print.
#include "EmulatorFakes.h"
#include "TimeSeededRandom.h"
#include "OrbisModel.h"
#include "StrataModel.h"

#include <gtest/gtest.h>

#include <QSet>
#include <stdexcept>

namespace {

struct StrataTest : ::testing::Test {
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<ScriptedRandom> random = std::make_shared<ScriptedRandom>();
    StrataModel strata{clock, random};
    void SetUp() override { strata.reset(); }

    void setLimits(std::int16_t minM, std::int16_t maxM, std::int16_t minT, std::int16_t maxT)
    {
        strata.setMinMeasurement(minM);
        strata.setMaxMeasurement(maxM);
        strata.setMinTemperature(minT);
        strata.setMaxTemperature(maxT);
    }
};

const QByteArray kGroup("\r\n\r\n\r\n");
const QByteArray kReading("9999\r\n");

} // namespace

TEST_F(StrataTest, LineBeforeAnyLimitsCarriesZeroes)
{
    EXPECT_EQ(strata.nextOutput(), QByteArray("0 0000 :: 12-06-2026 14:03:59 = 0 (RAW)  0 (C)\r\n"));
}

TEST_F(StrataTest, RecordLineHasTheExactFormat)
{
    strata.setFourDigitIndex("42");
    setLimits(57, 57, 23, 23);
    const QByteArray line = strata.nextOutput();
    EXPECT_EQ(line, QByteArray("0 0042 :: 12-06-2026 14:03:59 = 57 (RAW)  23 (C)\r\n"));
    EXPECT_EQ(line.size(), 48 + 2);
    // One CR LF, at the end only; exactly two blanks after "(RAW)".
    EXPECT_EQ(line.count("\r\n"), 1);
    EXPECT_TRUE(line.contains("(RAW)  23") && !line.contains("(RAW)   "));
    // Building a line changes nothing: the next one is the same.
    EXPECT_EQ(strata.nextOutput(), line);
}

TEST_F(StrataTest, ResetKeepsTheLimitsButClearsTheIndex)
{
    setLimits(50, 50, 50, 50);
    strata.setFourDigitIndex("7");
    strata.reset();
    EXPECT_EQ(strata.nextOutput(), QByteArray("0 0000 :: 12-06-2026 14:03:59 = 50 (RAW)  50 (C)\r\n"));
}

TEST_F(StrataTest, DateIsReadBeforeTimeEachFromTheClock)
{
    // Midnight passes between the two reads: the date is the old day's.
    clock->sequence = {QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59, 900)),
                       QDateTime(QDate(2027, 1, 1), QTime(0, 0, 0, 100))};
    EXPECT_TRUE(strata.nextOutput().startsWith("0 0000 :: 12-31-2026 00:00:00 = "));
}

TEST_F(StrataTest, EveryDrawReseedsFromTheTimeOfDay)
{
    clock->now = QDateTime(QDate(2026, 1, 2), QTime(1, 2, 3, 250));
    strata.nextOutput();
    ASSERT_EQ(random->seeds.size(), 2u);
    EXPECT_DOUBLE_EQ(random->seeds[0], 3723.25);
    EXPECT_DOUBLE_EQ(random->seeds[1], 3723.25);
}

TEST_F(StrataTest, IndexRendering)
{
    const std::pair<const char *, const char *> cases[] = {
        {"0", "0000"}, {"7", "0007"}, {"42", "0042"}, {"12345", "2345"}, {"-5", "00-5"}};
    for (const auto &[text, shown] : cases) {
        strata.setFourDigitIndex(text);
        EXPECT_EQ(strata.getFourDigitIndex(), QByteArray(shown)) << text;
    }
    strata.setFourDigitIndex("-5");
    EXPECT_TRUE(strata.nextOutput().startsWith("0 00-5 :: "));
}

TEST_F(StrataTest, IndexTextIsReadLikeAPanelNumber)
{
    const std::pair<const char *, const char *> cases[] = {
        {"", "0000"},     {"abc", "0000"},  {"12ab", "0012"},  {"2.5", "0002"}, {"3.5", "0004"},     {" 1 2", "0012"},
        {"&H1F", "0031"}, {"&O17", "0015"}, {"1.5E1", "0015"}, {"2d2", "0200"}, {"\t-1\n2", "0-12"}, {"+9", "0009"}};
    for (const auto &[text, shown] : cases) {
        strata.setFourDigitIndex("777"); // something else first, so a change shows
        strata.setFourDigitIndex(text);
        EXPECT_EQ(strata.getFourDigitIndex(), QByteArray(shown)) << '"' << text << '"';
    }
}

TEST_F(StrataTest, IndexOutOfRangeKeepsThePreviousOne)
{
    strata.setFourDigitIndex("321");
    for (const char *text : {"40000", "-32769", "32767.5", "1e999", "&H12345678"}) {
        strata.setFourDigitIndex(text);
        EXPECT_EQ(strata.getFourDigitIndex(), QByteArray("0321")) << text;
    }
    strata.setFourDigitIndex("-32768");
    EXPECT_EQ(strata.getFourDigitIndex(), QByteArray("2768"));
}

TEST_F(StrataTest, DrawCoversTheLimitsAtBothEnds)
{
    setLimits(0, 100, 20, 30);
    random->values = {0.0f, 0.99999994f}; // the smallest and largest r
    EXPECT_TRUE(strata.nextOutput().contains("= 0 (RAW)  30 (C)"));
}

TEST_F(StrataTest, ReversedLimitsGiveTheShiftedRange)
{
    // Limits 10 and 5: span -4, so floor(10 - 4r) lies in 6..10.
    setLimits(10, 5, 10, 9);
    random->values = {0.0f, 0.0f, 0.99999994f, 0.99999994f, 0.5f, 0.5f};
    EXPECT_TRUE(strata.nextOutput().contains("= 10 (RAW)  10 (C)"));
    EXPECT_TRUE(strata.nextOutput().contains("= 6 (RAW)  10 (C)"));
    EXPECT_TRUE(strata.nextOutput().contains("= 8 (RAW)  10 (C)"));
}

TEST(StrataRandomTest, RealGeneratorStaysInRangeAndReachesEveryValue)
{
    auto clock = std::make_shared<FakeClock>();
    StrataModel strata(clock, std::make_shared<TimeSeededRandom>());
    strata.reset();
    strata.setMinMeasurement(10);
    strata.setMaxMeasurement(5);
    strata.setMinTemperature(-3);
    strata.setMaxTemperature(3);
    QSet<int> measurements, temperatures;
    QTime t(8, 0);
    for (int i = 0; i < 400; ++i) {
        clock->now = QDateTime(QDate(2026, 3, 4), t.addMSecs(i * 250));
        const QByteArray line = strata.nextOutput();
        const QList<QByteArray> words = line.split(' ');
        // 0 idx :: date time = M (RAW) "" T (C)\r\n
        measurements.insert(words.at(6).toInt());
        temperatures.insert(words.at(9).toInt());
    }
    // floor(10 - 4r) reaches 10 only for r = 0 exactly (the scripted test
    // above shows it), so a real run sees 6 to 9.
    EXPECT_TRUE((QSet<int>{6, 7, 8, 9, 10}).contains(measurements));
    EXPECT_TRUE(measurements.contains(QSet<int>{6, 7, 8, 9}));
    EXPECT_EQ(temperatures, (QSet<int>{-3, -2, -1, 0, 1, 2, 3}));
}

TEST_F(StrataTest, LimitsOneApartTheWrongWayAlwaysGiveTheMinimum)
{
    setLimits(10, 9, -7, -8);
    random->values = {0.0f, 0.3f, 0.99999994f};
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(strata.nextOutput().contains("= 10 (RAW)  -7 (C)"));
}

TEST_F(StrataTest, SpanBeyondSixteenBitsFailsWithoutALine)
{
    setLimits(0, 32767, 0, 0); // span 32768
    EXPECT_THROW(strata.nextOutput(), std::overflow_error);
    setLimits(-32768, 32767, 0, 0); // the subtraction already overflows
    EXPECT_THROW(strata.nextOutput(), std::overflow_error);
    setLimits(0, 0, 32767, -32768); // temperature, drawn second
    EXPECT_THROW(strata.nextOutput(), std::overflow_error);
    // The widest span that fits still works, and so does the model afterwards.
    setLimits(1, 32767, 0, 0);
    random->values = {0.99999994f};
    EXPECT_TRUE(strata.nextOutput().contains("= 32767 (RAW)"));
}

TEST(OrbisTest, CycleAfterReset)
{
    OrbisModel orbis;
    orbis.reset();
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(orbis.nextOutput(), kGroup);
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(orbis.nextOutput(), kReading) << i;
    }
    EXPECT_EQ(orbis.nextOutput(), kGroup);
    EXPECT_EQ(orbis.getFourDigitIndex(), QByteArray());
}

TEST(OrbisTest, SilentUntilReset)
{
    OrbisModel orbis;
    EXPECT_EQ(orbis.nextOutput(), QByteArray());
}

TEST(OrbisTest, FrequencyOneAlternates)
{
    OrbisModel orbis;
    orbis.reset();
    orbis.setEOLFrequency(1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(orbis.nextOutput(), kGroup);
        EXPECT_EQ(orbis.nextOutput(), kReading);
    }
}

TEST(OrbisTest, ZeroOrNegativeFrequencyGivesOnlyGroups)
{
    for (std::int16_t frequency : {std::int16_t(0), std::int16_t(-1), std::int16_t(-32768)}) {
        OrbisModel orbis;
        orbis.reset();
        orbis.setEOLFrequency(frequency);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(orbis.nextOutput(), kGroup) << frequency;
    }
}

TEST(OrbisTest, LoweringBelowTheCountEndsTheRunAtOnce)
{
    OrbisModel orbis;
    orbis.reset();
    orbis.nextOutput();
    for (int i = 0; i < 10; ++i)
        orbis.nextOutput();
    orbis.setEOLFrequency(5);
    EXPECT_EQ(orbis.nextOutput(), kGroup);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(orbis.nextOutput(), kReading);
    EXPECT_EQ(orbis.nextOutput(), kGroup);
}

TEST(OrbisTest, RaisingMidRunLengthensTheRun)
{
    OrbisModel orbis;
    orbis.reset();
    orbis.nextOutput();
    for (int i = 0; i < 10; ++i)
        orbis.nextOutput();
    orbis.setEOLFrequency(20);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(orbis.nextOutput(), kReading) << i;
    EXPECT_EQ(orbis.nextOutput(), kGroup);
}

TEST(OrbisTest, TurnedOffFreezesTheCount)
{
    OrbisModel orbis;
    orbis.reset();
    orbis.setEOLFrequency(3);
    orbis.nextOutput();
    orbis.nextOutput(); // one reading of three
    orbis.turnOff();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(orbis.nextOutput(), QByteArray());
    orbis.turnOn();
    EXPECT_EQ(orbis.nextOutput(), kReading);
    EXPECT_EQ(orbis.nextOutput(), kReading);
    EXPECT_EQ(orbis.nextOutput(), kGroup);
}
