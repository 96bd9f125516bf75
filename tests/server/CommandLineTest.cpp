#include "process/HexNumber.h"
#include "server/CommandLine.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, HexArgumentDigitRules)
{
    struct SCase {
        const char16_t* text;
        uint64_t expected;
    };
    const SCase cases[] = {
        {nullptr, 0},
        {u"", 0},
        {u"0", 0},
        {u"1F4", 0x1F4},
        {u"1f4", 0x1F4},
        {u"1F4 ", 0x1F4},
        {u"1F4x", 0x1F4},
        {u"x1F4", 0},
        {u"0x1F4", 0},
        {u"-1", 0},
        {u"FFFFFFFFFFFFFFFF", 0xFFFFFFFFFFFFFFFFull},
        {u"123456789ABCDEF01", 0x23456789ABCDEF01ull}, // only the last sixteen digits count
        {u"aBcDeF", 0xABCDEF},
        {u"G", 0},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(c.expected, ParseHexArgument(c.text)) << (c.text == nullptr ? "null" : "case");
}

TEST(CommandLine, PositionalArguments)
{
    const char16_t* full[] = {u"server.exe", u"2C", u"30", u"0", u"C:\\Dumps"};
    SServerArguments parsed = ParseServerArguments(5, full);
    EXPECT_EQ(0x2Cu, parsed.inputHandle);
    EXPECT_EQ(0x30u, parsed.outputHandle);
    EXPECT_EQ(0u, parsed.ownerWindow);
    EXPECT_TRUE(parsed.dumpFolder == [] { CString s; s.Assign(u"C:\\Dumps"); return s; }());

    const char16_t* outputOnly[] = {u"server.exe", u"0", u"1A4"};
    parsed = ParseServerArguments(3, outputOnly);
    EXPECT_EQ(0u, parsed.inputHandle);
    EXPECT_EQ(0x1A4u, parsed.outputHandle);
    EXPECT_TRUE(parsed.dumpFolder.IsEmpty());

    const char16_t* emptyFolder[] = {u"server.exe", u"2C", u"30", u"0", u""};
    parsed = ParseServerArguments(5, emptyFolder);
    EXPECT_TRUE(parsed.dumpFolder.IsEmpty());
    EXPECT_EQ(nullptr, parsed.dumpFolder.GetText());

    const char16_t* none[] = {u"server.exe"};
    parsed = ParseServerArguments(1, none);
    EXPECT_EQ(0u, parsed.inputHandle);
    EXPECT_EQ(0u, parsed.outputHandle);
}

} // namespace
