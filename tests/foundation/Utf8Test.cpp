#include "foundation/String.h"

#include "foundation/StringAllocation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

std::u16string Units(const CString& s)
{
    return s.GetText() ? std::u16string(s.GetText()) : std::u16string();
}

std::string Bytes(const CAnsiString& s)
{
    return s.GetText() ? std::string(s.GetText()) : std::string();
}

CString Wide(const char16_t* text)
{
    CString s;
    s.Assign(text);
    return s;
}

struct SCase {
    const char* bytes;
    const char16_t* units;
};

/// Encodes one code point as UTF-16 and UTF-8 the long way, for the round trips.
std::u16string Utf16Of(std::uint32_t codePoint)
{
    if (codePoint < 0x10000) {
        return std::u16string(1, static_cast<char16_t>(codePoint));
    }
    const std::uint32_t offset = codePoint - 0x10000;
    return {static_cast<char16_t>(0xD800 + (offset >> 10)), static_cast<char16_t>(0xDC00 + (offset & 0x3FF))};
}

} // namespace

TEST(Utf8Encode, WellFormedText)
{
    const SCase cases[] = {
        {"", u""},
        {"A", u"A"},
        {"\x7F", u"\u007F"},
        {"\xC2\x80", u"\u0080"},
        {"\xC3\xA9", u"\u00E9"},
        {"\xDF\xBF", u"\u07FF"},
        {"\xE0\xA0\x80", u"\u0800"},
        {"\xE2\x82\xAC", u"\u20AC"},
        {"\xED\x9F\xBF", u"\uD7FF"},
        {"\xEE\x80\x80", u"\uE000"},
        {"\xEF\xBF\xBF", u"\uFFFF"},
        {"\xF0\x90\x80\x80", u"\U00010000"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"C:\\VST\\Caf\xC3\xA9 \xF0\x9F\x98\x80.dll", u"C:\\VST\\Caf\u00E9 \U0001F600.dll"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(Bytes(CAnsiString::ToUtf8(Wide(c.units))), c.bytes);
    }
}

TEST(Utf8Encode, UnpairedSurrogatesBecomeTheReplacementCharacter)
{
    const SCase cases[] = {
        {"\xEF\xBF\xBD", u"\xD800"},
        {"\xEF\xBF\xBD", u"\xDC00"},
        {"\xEF\xBF\xBDx", u"\xD83Dx"},
        {"a\xEF\xBF\xBD", u"a\xDBFF"}, // a high surrogate just before the terminator
        {"\xEF\xBF\xBD\xEF\xBF\xBD", u"\xDE00\xD83D"}, // the wrong order
        {"\xEF\xBF\xBD\xF0\x9F\x98\x80", u"\xD83D\xD83D\xDE00"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(Bytes(CAnsiString::ToUtf8(Wide(c.units))), c.bytes);
    }
}

TEST(Utf8Encode, BlockIsThreeBytesPerUnitPlusThree)
{
    const CAnsiString accent = CAnsiString::ToUtf8(Wide(u"\u00E9"));
    EXPECT_EQ(accent.GetCapacity(), 6);
    EXPECT_EQ(accent.GetCachedLength(), -1);
    EXPECT_EQ(accent.GetLength(), 2);

    const CAnsiString pair = CAnsiString::ToUtf8(Wide(u"\U0001F600"));
    EXPECT_EQ(pair.GetCapacity(), 9);
    EXPECT_EQ(pair.GetLength(), 4);

    const CAnsiString empty = CAnsiString::ToUtf8(Wide(u""));
    ASSERT_NE(empty.GetText(), nullptr);
    EXPECT_EQ(empty.GetCapacity(), 3);

    EXPECT_EQ(CAnsiString::ToUtf8(CString()).GetText(), nullptr);
}

TEST(Utf8Encode, WorstCaseTextFillsItsBlock)
{
    // Every unit a three-byte character: the block is full up to the terminator.
    const CAnsiString full = CAnsiString::ToUtf8(Wide(u"\u20AC\u20AC\u20AC\u20AC"));
    EXPECT_EQ(full.GetCapacity(), 15);
    EXPECT_EQ(full.GetLength(), 12);
    EXPECT_EQ(Bytes(full), "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC");
}

TEST(Utf8Decode, WellFormedText)
{
    const SCase cases[] = {
        {"", u""},
        {"plain", u"plain"},
        {"\xC3\xA9", u"\u00E9"},
        {"\xE2\x82\xAC", u"\u20AC"},
        {"\xED\x9F\xBF", u"\uD7FF"},
        {"\xEF\xBF\xBD", u"\uFFFD"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"C:\\VST\\Caf\xC3\xA9.dll>5A5A0001", u"C:\\VST\\Caf\u00E9.dll>5A5A0001"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(Units(CString::FromUtf8(c.bytes)), c.units);
    }
}

TEST(Utf8Decode, EachMaximalIllFormedPartBecomesOneReplacement)
{
    const SCase cases[] = {
        // cut off: the longest valid prefix counts once
        {"\xC3", u"\uFFFD"},
        {"\xC3" "A", u"\uFFFD" "A"},
        {"\xE2\x82", u"\uFFFD"},
        {"\xE2\x82" "A", u"\uFFFD" "A"},
        {"\xF0\x9F\x98", u"\uFFFD"},
        {"\xF0\x9F\x98" "A", u"\uFFFD" "A"},
        {"\xE2\x82\xC3\xA9", u"\uFFFD\u00E9"},
        // overlong forms
        {"\xC0\xAF", u"\uFFFD\uFFFD"},
        {"\xC1\xBF", u"\uFFFD\uFFFD"},
        {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
        {"\xE0\x9F\xBF", u"\uFFFD\uFFFD\uFFFD"},
        {"\xF0\x80\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        // surrogate code points encoded in UTF-8
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"\xED\xBF\xBF", u"\uFFFD\uFFFD\uFFFD"},
        {"\xED\xA0\xBD\xED\xB8\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
        // above U+10FFFF
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\xF5\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\xF8\x88\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\xFE\xFF", u"\uFFFD\uFFFD"},
        // stray continuation bytes
        {"\x80", u"\uFFFD"},
        {"A\x80\xBF" "B", u"A\uFFFD\uFFFD" "B"},
        {"\xC3\xA9\xA9", u"\u00E9\uFFFD"},
        // the Unicode standard's own example (table 3-8)
        {"\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
         u"a\uFFFD\uFFFD\uFFFD" "b\uFFFD" "c\uFFFD\uFFFD" "d"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(Units(CString::FromUtf8(c.bytes)), c.units);
    }
}

TEST(Utf8Decode, BlockIsOneUnitPerBytePlusOne)
{
    const CString accent = CString::FromUtf8("\xC3\xA9");
    EXPECT_EQ(accent.GetCapacity(), 3);
    EXPECT_EQ(accent.GetCachedLength(), -1);
    EXPECT_EQ(accent.GetLength(), 1);
    EXPECT_EQ(accent.GetText()[0], u'\u00E9');

    // Stray bytes: one unit each, the worst case, which still fits.
    const CString stray = CString::FromUtf8("\x80\x80\x80");
    EXPECT_EQ(stray.GetCapacity(), 4);
    EXPECT_EQ(stray.GetLength(), 3);

    const CString empty = CString::FromUtf8("");
    ASSERT_NE(empty.GetText(), nullptr);
    EXPECT_EQ(empty.GetCapacity(), 1);

    EXPECT_EQ(CString::FromUtf8(nullptr).GetText(), nullptr);
}

TEST(Utf8RoundTrip, EveryBmpCharacterAndSupplementarySamples)
{
    int failures = 0;
    for (std::uint32_t codePoint = 1; codePoint <= 0x10FFFF && failures < 5; ++codePoint) {
        if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
            continue;
        }
        if (codePoint > 0xFFFF && (codePoint & 0xFF) != 0x7F) {
            continue; // 0x10000 characters are plenty above the BMP
        }
        const std::u16string units = Utf16Of(codePoint);
        const CAnsiString bytes = CAnsiString::ToUtf8(Wide(units.c_str()));
        const std::size_t expectedSize = codePoint < 0x80 ? 1 : codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
        const std::u16string back = Units(CString::FromUtf8(bytes.GetText()));
        if (Bytes(bytes).size() != expectedSize || back != units) {
            ADD_FAILURE() << "code point " << std::hex << codePoint;
            ++failures;
        }
    }
}

TEST(StringWiden, EachByteBecomesOneUnit)
{
    const SCase cases[] = {
        {"", u""},
        {"A", u"A"},
        {"\xC3\xA9", u"\u00C3\u00A9"}, // no decoding
        {"\xFF\x80", u"\u00FF\u0080"},
        {"Sub Synth 2", u"Sub Synth 2"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.bytes);
        const CString wide = CString::Widen(c.bytes);
        const int length = static_cast<int>(std::string(c.bytes).size());
        ASSERT_NE(wide.GetText(), nullptr);
        EXPECT_EQ(Units(wide), c.units);
        EXPECT_EQ(wide.GetCapacity(), 2 * length + 1);
        EXPECT_EQ(wide.GetCachedLength(), -1);
    }
    EXPECT_EQ(CString::Widen(nullptr).GetText(), nullptr);
}

TEST(StringConversions, OutOfMemoryGivesEmptyResults)
{
    const CString source = Wide(u"abc");
    FailStringAllocationsAfter(0);
    const CAnsiString encoded = CAnsiString::ToUtf8(source);
    const CString decoded = CString::FromUtf8("abc");
    const CString widened = CString::Widen("abc");
    FailStringAllocationsAfter(-1);
    EXPECT_TRUE(encoded.IsEmpty());
    EXPECT_TRUE(decoded.IsEmpty());
    EXPECT_TRUE(widened.IsEmpty());
}
