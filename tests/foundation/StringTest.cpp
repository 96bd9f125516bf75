// CString and CAnsiString: shared blocks, running out of memory, and the
// conversions and formats that must come out the same in the Windows build (the
// fuzz targets check them against the C library).

#include "foundation/String.h"
#include "foundation/StringAllocation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

namespace {

template <class TString>
class StringTest : public ::testing::Test {
protected:
    using TUnit = std::remove_const_t<std::remove_pointer_t<decltype(TString().GetText())>>;
    /// ASCII text in the string's units.
    static std::basic_string<TUnit> T(const char* ascii) { return std::basic_string<TUnit>(ascii, ascii + std::strlen(ascii)); }
    static TString Make(const char* ascii)
    {
        TString string;
        string.Assign(T(ascii).c_str());
        return string;
    }
};

using StringTypes = ::testing::Types<CString, CAnsiString>;
TYPED_TEST_SUITE(StringTest, StringTypes);

std::u16string Units(const CString& s) { return s.GetText() ? s.GetText() : u""; }

/// Makes every later string allocation fail.
bool Fail()
{
    FailStringAllocationsAfter(0);
    return true;
}

} // namespace

TYPED_TEST(StringTest, SharedBlockIsCopiedWithItsSlackOrCut)
{
    // Capacity 4: the text, then the terminator's slot and slack, 4 bytes in both types, all marked.
    TypeParam original;
    auto* text = original.GetBuffer(4);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text[4], 0);
    const int trailing = 4 / static_cast<int>(sizeof *text);
    std::memcpy(text, this->T("abcdwxyz").c_str(), (4 + trailing) * sizeof *text);
    for (int capacity : {2, 4, 10}) {
        TypeParam copy = original;
        auto* buffer = copy.GetBuffer(capacity);
        ASSERT_NE(buffer, text);
        EXPECT_EQ(original.GetReferenceCount(), 1);
        EXPECT_EQ(buffer[capacity], 0);
        for (int i = 0; i < std::min(capacity, 4) + trailing; ++i) {
            EXPECT_EQ(buffer[i], i == capacity ? 0 : text[i]) << "capacity " << capacity << ", unit " << i;
        }
    }
    TypeParam moved(std::move(original));
    EXPECT_EQ(original.GetText(), nullptr); // NOLINT(bugprone-use-after-move): moved-from is null by contract
    EXPECT_EQ(moved.GetText(), text);
    TypeParam target = this->Make("old");
    const TypeParam oldOwner = target;
    target = std::move(moved);
    EXPECT_EQ(target.GetText(), text);
    EXPECT_EQ(oldOwner.GetReferenceCount(), 1);
    EXPECT_TRUE(TypeParam() != this->Make("")) << "the empty text is not the null string";
    TypeParam inserted = this->Make("ad");
    ASSERT_TRUE(inserted.Insert(1, this->T("bc").c_str()));
    EXPECT_EQ(this->T("abcd"), inserted.GetText()) << "the tail moves behind the inserted text";
}

TEST(StringOutOfMemory, EveryOperationFailsAsDocumented)
{
    const struct {
        const char* what;
        std::function<bool()> failsAsDocumented; ///< sets up, fails every allocation from then on, runs
    } cases[] = {
        {"GetBuffer keeps a private text", [] { CString s; s.Assign(u"abc"); return Fail() && !s.GetBuffer(40) && Units(s) == u"abc" && s.GetCapacity() == 3 && s.GetCachedLength() == 3; }},
        {"GetBuffer keeps a shared text", [] { CString a; a.Assign(u"abc"); CString s = a; return Fail() && !s.GetBuffer(2) && s.GetText() == a.GetText() && a.GetReferenceCount() == 2; }},
        {"GetBuffer of a null string", [] { CAnsiString s; return Fail() && !s.GetBuffer(4) && !s.GetText(); }},
        {"Assign leaves null", [] { CAnsiString s; s.Assign("old"); return Fail() && !s.Assign("new") && !s.GetText(); }},
        {"Insert keeps the old text", [] { CAnsiString s; s.Assign("tag"); return Fail() && !s.Append(":") && std::string(s.GetText()) == "tag"; }},
        {"Insert keeps a shared text", [] { CString a; a.Assign(u"abc"); CString s = a; return Fail() && !s.Insert(0, u">") && s.GetText() == a.GetText() && a.GetReferenceCount() == 2; }},
        {"Insert of its own text", [] { CString s; s.Assign(u"abc"); return Fail() && !s.Append(s.GetText()) && Units(s) == u"abc" && s.GetReferenceCount() == 1; }},
        {"Format", [] { return Fail() && CString::Format(u"%i", 12345).IsEmpty(); }},
        {"FromUtf8", [] { return Fail() && CString::FromUtf8("abc").IsEmpty(); }},
        {"Widen", [] { return Fail() && CString::Widen("abc").IsEmpty(); }},
        {"ToUtf8", [] { CString s; s.Assign(u"abc"); return Fail() && CAnsiString::ToUtf8(s).IsEmpty(); }},
    };
    for (const auto& test : cases) {
        const bool documented = test.failsAsDocumented();
        FailStringAllocationsAfter(-1);
        EXPECT_TRUE(documented) << test.what;
    }
}

TEST(StringFormat, TheSameTextInEveryBuild)
{
    const char16_t* nullWide = nullptr;
    const struct {
        const char16_t* expected;
        CString actual;
    } cases[] = {
        {u"-2147483648 4294967295", CString::Format(u"%i %u", INT_MIN, -1)},
        {u"FFFFFFFF 00e9 12345", CString::Format(u"%.8X %.4x %.4x", -1, 0xE9, 0x12345)},
        {u"-7 -7 18446744073709551615", CString::Format(u"%li %ji %llu", -7L, static_cast<intmax_t>(-7), ULLONG_MAX)},
        {u"-1 65535 1 -1 123456789012", CString::Format(u"%hi %hu %hhu %hhi %zu", 65535, 65535, 257, 255, static_cast<size_t>(123456789012ULL))},
        {u"0000000000ABCDEF|    0000000000000001|", CString::Format(u"%p|%20p|", reinterpret_cast<void*>(0xABCDEF), reinterpret_cast<void*>(1))},
        {u"[wide][narrow] (null) \u00C3\u00A9", CString::Format(u"[%s][%S] %s %S", u"wide", "narrow", nullWide, "\xC3\xA9")},
        {u"(nu|wide narrow|x\u00E9\u20AC", CString::Format(u"%.3s|%ls %hs|%C%hc%c", nullWide, u"wide", "narrow", 'x', 0xE9, 0x20AC)},
        {u"%q %-5q %n5 %w7 abc%", CString::Format(u"%q %-5q %n%i %w%i abc%", 5, 7)}, // unknown: literal, no argument
        {u"", CString::Format(u"%2147483647i", 1)}, // too long to count
        {u"", CString::Format(u"%99999999999999999999s", u"x")},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(Units(test.actual), test.expected);
        EXPECT_NE(test.actual.GetText(), nullptr);
    }
    EXPECT_EQ(CString::Format(nullptr).GetText(), nullptr);
}

TEST(StringUtf8, TheSameConversionsInEveryBuild)
{
    const struct {
        const char* bytes;
        const char16_t* units;
    } decoded[] = {
        {"C:\\VST\\Caf\xC3\xA9 \xF0\x9F\x98\x80.dll", u"C:\\VST\\Caf\u00E9 \U0001F600.dll"},
        {"\xF4\x8F\xBF\xBF\xEF\xBF\xBF", u"\U0010FFFF\uFFFF"},
        {"\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64", u"a\uFFFD\uFFFD\uFFFD" "b\uFFFD" "c\uFFFD\uFFFD" "d"},
        {"\xC0\xAF\xE0\x9F\xBF\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\xF4\x90\x80\x80\xF0\x9F\x98", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
    };
    for (const auto& test : decoded) {
        EXPECT_EQ(Units(CString::FromUtf8(test.bytes)), test.units) << test.bytes;
    }
    CString lone;
    lone.Assign(u"\xD83D\xD83D\xDE00\xDC00x\xDBFF");
    EXPECT_STREQ(CAnsiString::ToUtf8(lone).GetText(), "\xEF\xBF\xBD\xF0\x9F\x98\x80\xEF\xBF\xBDx\xEF\xBF\xBD");
    EXPECT_EQ(Units(CString::Widen("\xC3\xA9\xFF")), u"\u00C3\u00A9\u00FF");
}
