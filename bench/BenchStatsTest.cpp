#include "bench/BenchStats.h"

#include <gtest/gtest.h>

namespace {

TEST(BenchStats, SummaryTakesTheMiddleAndTheExtremesOfUnsortedValues)
{
    const struct { std::vector<double> values; double median, min, max; } cases[] = {
        {{}, 0, 0, 0}, {{7}, 7, 7, 7}, {{3, 1, 2}, 2, 1, 3}, {{4, 1, 3, 2}, 2.5, 1, 4},
        {{-2, 10, 0.5, 3, 100, 4}, 3.5, -2, 100}};
    for (const auto& item : cases) {
        const SSummary summary = Summarise(item.values);
        EXPECT_EQ(summary.count, item.values.size());
        EXPECT_DOUBLE_EQ(summary.median, item.median);
        EXPECT_DOUBLE_EQ(summary.min, item.min);
        EXPECT_DOUBLE_EQ(summary.max, item.max);
    }
}

TEST(BenchStats, RatiosPairRoundsAndSkipMissingOrZeroDivisors)
{
    EXPECT_EQ(RoundRatios({10, 20, 30}, {2, 0}), (std::vector<double>{5}));
    EXPECT_EQ(RoundRatios({10, 20}, {2, 4, 5}), (std::vector<double>{5, 5}));
}

TEST(BenchStats, FiguresShowAboutThreeSignificantDigits)
{
    const struct { double value; const char* text; } cases[] = {{0, "0"}, {0.012345, "0.0123"}, {4.567, "4.57"},
        {78.94, "78.9"}, {99.94, "99.9"}, {123.4, "123"}, {-3.456, "-3.46"}, {-250, "-250"}};
    for (const auto& item : cases)
        EXPECT_EQ(FormatFigure(item.value), item.text) << item.value;
}

} // namespace
