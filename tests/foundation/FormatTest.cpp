#include "foundation/String.h"

#include "foundation/StringAllocation.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

std::u16string Text(const CString& s)
{
    return s.GetText() ? std::u16string(s.GetText()) : std::u16string();
}

/// One formatted result next to the text it must be; the format call is made
/// where the table is built, so each row shows its format and arguments.
struct SCase {
    const char16_t* expected;
    CString actual;
};

void ExpectAll(const SCase* cases, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(testing::Message() << "row " << i);
        EXPECT_EQ(Text(cases[i].actual), cases[i].expected);
        EXPECT_NE(cases[i].actual.GetText(), nullptr);
    }
}

template <std::size_t N>
void ExpectAll(const SCase (&cases)[N])
{
    ExpectAll(cases, N);
}

CString ThroughList(const char16_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    CString result = CString::FormatV(format, arguments);
    va_end(arguments);
    return result;
}

} // namespace

TEST(FormatIntegers, DecimalAndHexadecimal)
{
    const SCase cases[] = {
        {u"1.2", CString::Format(u"%i.%i", 1, 2)},
        {u"-42 42", CString::Format(u"%d %d", -42, 42)},
        {u"-2147483648", CString::Format(u"%i", INT_MIN)},
        {u"2147483647", CString::Format(u"%i", INT_MAX)},
        {u"4294967295", CString::Format(u"%u", -1)},
        {u"ff FF", CString::Format(u"%x %X", 255, 255)},
        {u"FFFFFFFF", CString::Format(u"%.8X", -1)},
        {u"5A5A0001", CString::Format(u"%.8X", 0x5A5A0001)},
        {u"00001234", CString::Format(u"%.8X", 0x1234)},
        {u"00e9", CString::Format(u"%.4x", 0xE9)},
        {u"12345", CString::Format(u"%.4x", 0x12345)},
        {u"0007 -0007", CString::Format(u"%.4i %.4i", 7, -7)},
        {u"05 123", CString::Format(u"%.2i %.2i", 5, 123)},
        {u"[] [] [0]", CString::Format(u"[%.0i] [%.0x] [%i]", 0, 0, 0)},
        {u"17", CString::Format(u"%o", 15)},
        {u"Audio master callback: 6 - audioMasterWantMidi\n",
         CString::Format(u"Audio master callback: %i - %s\n", 6, u"audioMasterWantMidi")},
    };
    ExpectAll(cases);
}

TEST(FormatIntegers, FlagsAndWidth)
{
    const SCase cases[] = {
        {u"   42", CString::Format(u"%5i", 42)},
        {u"42   |", CString::Format(u"%-5i|", 42)},
        {u"00042", CString::Format(u"%05i", 42)},
        {u"-0042", CString::Format(u"%05i", -42)},
        {u"42   |", CString::Format(u"%-05i|", 42)}, // '-' wins over '0'
        {u"     042", CString::Format(u"%08.3i", 42)}, // a precision turns '0' off
        {u"12345", CString::Format(u"%3i", 12345)},
        {u"+5 -5", CString::Format(u"%+i %+i", 5, -5)},
        {u" 5", CString::Format(u"% i", 5)},
        {u"0xff 0XFF 0", CString::Format(u"%#x %#X %#x", 255, 255, 0)},
        {u"0x00ff", CString::Format(u"%#06x", 255)},
        {u"010 0", CString::Format(u"%#o %#o", 8, 0)},
        {u"   7", CString::Format(u"%*i", 4, 7)},
        {u"7   |", CString::Format(u"%*i|", -4, 7)},
        {u"007", CString::Format(u"%.*i", 3, 7)},
        {u"7", CString::Format(u"%.*i", -3, 7)}, // a negative precision is none
    };
    ExpectAll(cases);
}

TEST(FormatIntegers, LengthModifiers)
{
    const SCase cases[] = {
        {u"9223372036854775807", CString::Format(u"%lli", LLONG_MAX)},
        {u"-9223372036854775808", CString::Format(u"%lli", LLONG_MIN)},
        {u"18446744073709551615", CString::Format(u"%llu", ULLONG_MAX)},
        {u"FFFFFFFFFFFFFFFF", CString::Format(u"%llX", ULLONG_MAX)},
        {u"123456789012", CString::Format(u"%zu", static_cast<std::size_t>(123456789012ULL))},
        {u"-1 65535", CString::Format(u"%hi %hu", 65535, 65535)},
        {u"1 -1", CString::Format(u"%hhu %hhi", 257, 255)},
        {u"-7", CString::Format(u"%li", -7L)},
        {u"-3", CString::Format(u"%ji", static_cast<std::intmax_t>(-3))},
    };
    ExpectAll(cases);
}

TEST(FormatPointers, SixteenUpperCaseDigits)
{
    const SCase cases[] = {
        {u"0000000000ABCDEF", CString::Format(u"%p", reinterpret_cast<void*>(0xABCDEF))},
        {u"0000000000000000", CString::Format(u"%p", nullptr)},
        {u"FEDCBA9876543210", CString::Format(u"%p", reinterpret_cast<void*>(0xFEDCBA9876543210ULL))},
        {u"    0000000000000001", CString::Format(u"%20p", reinterpret_cast<void*>(1))},
        {u"0000000000000001  |", CString::Format(u"%-18p|", reinterpret_cast<void*>(1))},
        {u"Looking for entry point in module 0000000180000000\n",
         CString::Format(u"Looking for entry point in module %p\n", reinterpret_cast<void*>(0x180000000ULL))},
    };
    ExpectAll(cases);
}

TEST(FormatText, WideAndNarrowStrings)
{
    const char16_t* nullWide = nullptr;
    const char* nullNarrow = nullptr;
    const SCase cases[] = {
        {u"[wide][narrow]", CString::Format(u"[%s][%S]", u"wide", "narrow")},
        {u"(null) (null)", CString::Format(u"%s %S", nullWide, nullNarrow)},
        {u"\u00C3\u00A9", CString::Format(u"%S", "\xC3\xA9")}, // bytes are not decoded
        {u"\u00FF", CString::Format(u"%S", "\xFF")},
        {u"\u00E9\u20AC\U0001F600", CString::Format(u"%s", u"\u00E9\u20AC\U0001F600")},
        {u"wi|nar", CString::Format(u"%.2s|%.3S", u"wide", "narrow")},
        {u"  wide|wide  |", CString::Format(u"%6s|%-6s|", u"wide", u"wide")},
        {u"(nu", CString::Format(u"%.3s", nullWide)},
        {u"wide narrow", CString::Format(u"%ls %hs", u"wide", "narrow")},
        {u"narrow wide", CString::Format(u"%hS %lS", "narrow", u"wide")},
        {u"", CString::Format(u"%s", u"")},
        {u"Found shell: 5A5A0001 - Sub One\n", CString::Format(u"Found shell: %.8X - %S\n", 0x5A5A0001, "Sub One")},
        {u"Scanning plugin: 'C:\\VST\\Caf\u00E9.dll'\n",
         CString::Format(u"Scanning plugin: '%s'\n", u"C:\\VST\\Caf\u00E9.dll")},
    };
    ExpectAll(cases);
}

TEST(FormatText, Characters)
{
    const SCase cases[] = {
        {u"A\u20AC", CString::Format(u"%c%c", u'A', 0x20AC)},
        {u"x\u00E9", CString::Format(u"%C%C", 'x', static_cast<char>(0xE9))},
        {u"\u00E9", CString::Format(u"%hc", static_cast<char>(0xE9))},
        {u"  A|A  |", CString::Format(u"%3c|%-3c|", u'A', u'A')},
    };
    ExpectAll(cases);
}

TEST(FormatLiterals, PercentAndUnknownConversions)
{
    const SCase cases[] = {
        {u"%", CString::Format(u"%%")},
        {u"100% sure", CString::Format(u"100%% sure")},
        {u"plain text \u00E9", CString::Format(u"plain text \u00E9")},
        {u"%q", CString::Format(u"%q")},
        {u"%-5q", CString::Format(u"%-5q")},
        {u"%n5", CString::Format(u"%n%i", 5)}, // written literally, takes no argument
        {u"%w7", CString::Format(u"%w%i", 7)},
        {u"abc%", CString::Format(u"abc%")},
        {u"%-08.", CString::Format(u"%-08.")},
        {u"%l", CString::Format(u"%l")},
        {u"", CString::Format(u"")},
    };
    ExpectAll(cases);
}

TEST(FormatResult, CapacityIsTheCountPlusOneAndTheLengthIsNotCached)
{
    CString s = CString::Format(u"%i.%i", 1, 2);
    EXPECT_EQ(s.GetCapacity(), 4);
    EXPECT_EQ(s.GetCachedLength(), -1);
    EXPECT_EQ(s.GetReferenceCount(), 1);
    EXPECT_EQ(s.GetLength(), 3);
    EXPECT_EQ(s.GetCachedLength(), 3);

    const CString empty = CString::Format(u"");
    EXPECT_EQ(empty.GetCapacity(), 1);
    EXPECT_TRUE(empty.IsEmpty());

    const CString wide = CString::Format(u"%1000i", 1);
    EXPECT_EQ(wide.GetCapacity(), 1001);
    EXPECT_EQ(wide.GetLength(), 1000);
    EXPECT_EQ(wide.GetText()[999], u'1');
}

TEST(FormatResult, TooLongToCountGivesAnEmptyString)
{
    const CString cases[] = {
        CString::Format(u"%2147483647i", 1),
        CString::Format(u"%.2147483647i", 1),
        CString::Format(u"%2147483000i%2147483000i", 1, 2),
        CString::Format(u"%99999999999999999999s", u"x"),
    };
    for (const CString& s : cases) {
        ASSERT_NE(s.GetText(), nullptr);
        EXPECT_EQ(s.GetCapacity(), 0);
        EXPECT_TRUE(s.IsEmpty());
    }
}

TEST(FormatResult, NullFormatGivesTheNullString)
{
    EXPECT_EQ(CString::Format(nullptr).GetText(), nullptr);
}

TEST(FormatResult, ListFormMatchesTheVariadicForm)
{
    const char16_t* format = u"%s:%S:%i:%.8X:%p:%c";
    const void* pointer = reinterpret_cast<void*>(0x1234);
    const CString listed = ThroughList(format, u"w", "n", -5, 0xAB, pointer, u'z');
    EXPECT_EQ(Text(listed), u"w:n:-5:000000AB:0000000000001234:z");
    EXPECT_TRUE(listed == CString::Format(format, u"w", "n", -5, 0xAB, pointer, u'z'));
    EXPECT_EQ(listed.GetCapacity(), listed.GetLength() + 1);
}

TEST(FormatResult, OutOfMemoryGivesAnEmptyString)
{
    FailStringAllocationsAfter(0);
    const CString s = CString::Format(u"%i", 12345);
    FailStringAllocationsAfter(-1);
    EXPECT_TRUE(s.IsEmpty());
}
