#include "bench/BenchTable.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

TEST(BenchTable, RowsAlignTheirColumnsUnderTheHeader)
{
    CBenchTable table;
    table.AddHeading("1  Figure");
    table.AddRow("short", Summarise({1, 2, 3}), "ms");
    table.AddRow("a much longer label", Summarise({100, 200, 300}), "requests/s");
    table.AddNote("a note");
    const std::vector<std::string> lines = Lines(table.Render());
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], "1  Figure");
    EXPECT_EQ(lines[4], "   a note");
    const std::size_t medianColumn = lines[0].find("median");
    const std::size_t spreadColumn = lines[0].find("spread (min - max)");
    const std::size_t unitColumn = lines[0].find("unit");
    ASSERT_NE(medianColumn, std::string::npos);
    EXPECT_EQ(lines[2].find("2.00"), medianColumn);
    EXPECT_EQ(lines[3].find("200"), medianColumn);
    EXPECT_EQ(lines[2].find("1.00 - 3.00"), spreadColumn);
    EXPECT_EQ(lines[3].find("100 - 300"), spreadColumn);
    EXPECT_EQ(lines[2].find("ms"), unitColumn);
    EXPECT_EQ(lines[3].find("requests/s"), unitColumn);
}

TEST(BenchTable, UnmeasuredQuantityShowsDashes)
{
    CBenchTable table;
    table.AddRow("never measured", Summarise({}), "s");
    const std::vector<std::string> lines = Lines(table.Render());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].find("-"), lines[0].find("median"));
    EXPECT_EQ(lines[1].rfind("-  "), lines[0].find("spread"));
}

} // namespace
