#include "process/HexNumber.h"
#include "server/CommandLine.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, HexArgumentDigitRules)
{
    const std::pair<const char16_t*, uint64_t> cases[] = {
        {nullptr, 0}, {u"", 0}, {u"1f4 ", 0x1F4}, {u"aBcDeF", 0xABCDEF}, {u"1F4x", 0x1F4}, {u"0x1F4", 0}, {u"G", 0},
        {u"123456789ABCDEF01", 0x23456789ABCDEF01ull}, // only the last sixteen digits count
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(expected, ParseHexArgument(text)) << expected;
}

TEST(CommandLine, PositionalArguments)
{
    const char16_t* full[] = {u"server.exe", u"2C", u"30", u"3F", u"C:\\Dumps"};
    SServerArguments parsed = ParseServerArguments(5, full);
    EXPECT_EQ(0x2Cu, parsed.inputHandle);
    EXPECT_EQ(0x30u, parsed.outputHandle);
    EXPECT_EQ(0x3Fu, parsed.ownerWindow);
    EXPECT_EQ(std::u16string(u"C:\\Dumps"), parsed.dumpFolder.GetText());

    const char16_t* emptyFolder[] = {u"server.exe", u"0", u"1A4", u"0", u""};
    parsed = ParseServerArguments(5, emptyFolder);
    EXPECT_EQ(0x1A4u, parsed.outputHandle);
    EXPECT_EQ(nullptr, parsed.dumpFolder.GetText());

    const char16_t* noWindow[] = {u"server.exe", u"2C", u"30"};
    EXPECT_EQ(0u, ParseServerArguments(3, noWindow).ownerWindow);

    const char16_t* inputOnly[] = {u"server.exe", u"2C"};
    parsed = ParseServerArguments(2, inputOnly);
    EXPECT_EQ(0x2Cu, parsed.inputHandle);
    EXPECT_EQ(0u, parsed.outputHandle);

    const char16_t* none[] = {u"server.exe"};
    EXPECT_EQ(0u, ParseServerArguments(1, none).inputHandle);
}

} // namespace
