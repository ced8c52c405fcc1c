// The range rules of one set of bars, on in-memory bars that behave like the
// real controls: a value set from code runs the change handling nested, and
// only when the value really changes.
#include "RangeRules.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class FakeBars : public RangeBars {
public:
    int value(Bar bar) const override { return values[bar - 1]; }
    void setValue(Bar bar, int v) override
    {
        v = std::clamp(v, 0, 100);
        if (values[bar - 1] == v)
            return;
        values[bar - 1] = v;
        ++changes;
        switch (bar) {
        case Master:
            rules->onMasterChanged();
            break;
        case Minimum:
            rules->onMinimumChanged();
            break;
        case Maximum:
            rules->onMaximumChanged();
            break;
        }
    }
    int lowerLimit(Bar) const override { return 0; }
    int upperLimit(Bar) const override { return 100; }
    void setLabel(Bar bar, const QString &text) override { labels[bar - 1] = text; }
    bool isChecked() const override { return checked; }
    void setChecked(bool c) override
    {
        if (checked == c)
            return;
        checked = c;
        rules->onBoxClicked();
    }
    void setMasterEnabled(bool enabled) override { masterEnabled = enabled; }

    RangeRules *rules = nullptr;
    int values[3] = {0, 0, 0};
    QString labels[3];
    bool checked = false;
    bool masterEnabled = true;
    int changes = 0;
};

struct RangeRulesTest : ::testing::Test {
    FakeBars bars;
    std::int16_t focus = 1;
    std::int16_t window = 0;
    int modelMin = -1;
    int modelMax = -1;
    RangeRules rules{bars, focus, window, [this](std::int16_t v) { modelMin = v; },
                     [this](std::int16_t v) { modelMax = v; }};

    void SetUp() override
    {
        bars.rules = &rules;
        // What the window's load does.
        focus = 1;
        bars.setValue(RangeBars::Master, 50);
    }
    // The user takes a bar (it gets the focus) and moves it.
    void drag(RangeBars::Bar bar, int value)
    {
        rules.onFocus(bar);
        bars.setValue(bar, value);
    }
    void expectMinMax(int minimum, int maximum)
    {
        EXPECT_EQ(bars.value(RangeBars::Minimum), minimum);
        EXPECT_EQ(bars.value(RangeBars::Maximum), maximum);
        EXPECT_EQ(modelMin, minimum);
        EXPECT_EQ(modelMax, maximum);
        EXPECT_EQ(bars.labels[1], QString::number(minimum));
        EXPECT_EQ(bars.labels[2], QString::number(maximum));
    }
};

} // namespace

TEST_F(RangeRulesTest, LoadPutsEverythingOnFifty)
{
    expectMinMax(50, 50);
    EXPECT_EQ(bars.labels[0], "50");
    EXPECT_FALSE(bars.checked);
}

TEST_F(RangeRulesTest, MasterPutsBothLimitsOnItsValueAndUnticksTheBox)
{
    drag(RangeBars::Minimum, 20);
    bars.setChecked(true);
    EXPECT_FALSE(bars.masterEnabled);
    EXPECT_EQ(window, 30);

    drag(RangeBars::Master, 30);
    expectMinMax(30, 30);
    EXPECT_EQ(bars.labels[0], "30");
    EXPECT_FALSE(bars.checked);
    EXPECT_TRUE(bars.masterEnabled);
    EXPECT_EQ(window, 0);
}

TEST_F(RangeRulesTest, MinimumAboveMaximumPushesTheMaximum)
{
    drag(RangeBars::Minimum, 20);
    drag(RangeBars::Maximum, 40);
    drag(RangeBars::Minimum, 30);
    expectMinMax(30, 40); // below the maximum: the maximum stays
    drag(RangeBars::Minimum, 60);
    expectMinMax(60, 60);
}

TEST_F(RangeRulesTest, MaximumBelowMinimumPushesTheMinimum)
{
    drag(RangeBars::Minimum, 20);
    drag(RangeBars::Maximum, 70);
    expectMinMax(20, 70); // above the minimum: the minimum stays
    drag(RangeBars::Maximum, 10);
    expectMinMax(10, 10);
}

TEST_F(RangeRulesTest, TickedBoxKeepsTheWidthAndRestoresItAfterTheLimit)
{
    drag(RangeBars::Minimum, 20);
    EXPECT_EQ(bars.value(RangeBars::Maximum), 50);
    bars.setChecked(true);
    EXPECT_EQ(window, 30);

    drag(RangeBars::Minimum, 80);
    expectMinMax(80, 100); // the far end stops at 100
    EXPECT_EQ(window, 30);
    drag(RangeBars::Minimum, 40);
    expectMinMax(40, 70);
}

TEST_F(RangeRulesTest, TickedBoxMovesTheMinimumWithTheMaximum)
{
    drag(RangeBars::Minimum, 20);
    bars.setChecked(true); // width 30
    drag(RangeBars::Maximum, 10);
    expectMinMax(0, 10); // the far end stops at 0
    drag(RangeBars::Maximum, 90);
    expectMinMax(60, 90);
}

TEST_F(RangeRulesTest, UntickingTakesTheWidthAgainAndFreesTheMaster)
{
    drag(RangeBars::Minimum, 20);
    bars.setChecked(true);
    drag(RangeBars::Minimum, 80); // 80..100
    bars.setChecked(false);
    EXPECT_TRUE(bars.masterEnabled);
    EXPECT_EQ(window, 20);
}
