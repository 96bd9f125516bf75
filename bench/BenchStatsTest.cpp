#include "bench/BenchStats.h"

#include <gtest/gtest.h>

namespace {

struct SSummaryCase {
    std::vector<double> values;
    double median;
    double min;
    double max;
};

TEST(BenchStats, SummaryTakesTheMiddleAndTheExtremesOfUnsortedValues)
{
    const SSummaryCase cases[] = {
        {{7}, 7, 7, 7},
        {{3, 1, 2}, 2, 1, 3},
        {{4, 1, 3, 2}, 2.5, 1, 4},           // even count: mean of the middle two
        {{5, 5, 1, 9, 5}, 5, 1, 9},           // repeated values
        {{-2, 10, 0.5, 3, 100, 4}, 3.5, -2, 100},
    };
    for (const SSummaryCase& item : cases) {
        const SSummary summary = Summarise(item.values);
        EXPECT_EQ(summary.count, item.values.size());
        EXPECT_DOUBLE_EQ(summary.median, item.median);
        EXPECT_DOUBLE_EQ(summary.min, item.min);
        EXPECT_DOUBLE_EQ(summary.max, item.max);
    }
}

TEST(BenchStats, SummaryOfNothingCountsZero)
{
    EXPECT_EQ(Summarise({}).count, 0u);
}

TEST(BenchStats, RatiosPairRoundsAndSkipMissingOrZeroDivisors)
{
    EXPECT_EQ(RoundRatios({10, 20, 30}, {2, 4, 5}), (std::vector<double>{5, 5, 6}));
    EXPECT_EQ(RoundRatios({10, 20, 30}, {2, 4}), (std::vector<double>{5, 5}));
    EXPECT_EQ(RoundRatios({10, 20}, {0, 4}), (std::vector<double>{5}));
    EXPECT_TRUE(RoundRatios({}, {1, 2}).empty());
}

TEST(BenchStats, RoundValuesKeepTheOrderPerName)
{
    CRoundValues values;
    values.Add("a", 1);
    values.Add("b", 9);
    values.Add("a", 2);
    EXPECT_EQ(values.Get("a"), (std::vector<double>{1, 2}));
    EXPECT_EQ(values.Get("b"), (std::vector<double>{9}));
    EXPECT_TRUE(values.Get("missing").empty());
}

TEST(BenchStats, FiguresShowAboutThreeSignificantDigits)
{
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0, "0"},         {0.012345, "0.0123"}, {0.5, "0.5"},  {4.567, "4.57"},  {78.94, "78.9"},
        {99.94, "99.9"},  {123.4, "123"},       {1234.5, "1234"}, {-3.456, "-3.46"}, {-250, "-250"},
    };
    for (const auto& item : cases)
        EXPECT_EQ(FormatFigure(item.value), item.text) << item.value;
}

} // namespace
