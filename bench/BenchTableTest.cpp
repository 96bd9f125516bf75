#include "bench/BenchTable.h"

#include <gtest/gtest.h>

namespace {

TEST(BenchTable, RowsAlignUnderTheHeaderAndUnmeasuredOnesShowDashes)
{
    CBenchTable table;
    table.AddHeading("1  Figure");
    table.AddRow("short", Summarise({1, 2, 3}), "ms");
    table.AddRow("a longer label", Summarise({100, 200, 300}), "requests/s");
    table.AddRow("never", Summarise({}), "s");
    table.AddNote("a note");
    EXPECT_EQ(table.Render(), "                   median  spread (min - max)  unit\n"
                              "1  Figure\n"
                              "   short           2.00    1.00 - 3.00         ms\n"
                              "   a longer label  200     100 - 300           requests/s\n"
                              "   never           -       -                   s\n"
                              "   a note\n");
}

} // namespace
