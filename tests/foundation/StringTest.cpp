#include "foundation/String.h"

#include "foundation/StringAllocation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::u16string Text(const CString& s)
{
    return s.GetText() ? std::u16string(s.GetText()) : std::u16string();
}

std::string Text(const CAnsiString& s)
{
    return s.GetText() ? std::string(s.GetText()) : std::string();
}

CString Wide(const char16_t* text)
{
    CString s;
    s.Assign(text);
    return s;
}

CAnsiString Narrow(const char* text)
{
    CAnsiString s;
    s.Assign(text);
    return s;
}

/// Restores the heap after the out-of-memory cases.
class StringFailureTest : public ::testing::Test {
protected:
    void TearDown() override { FailStringAllocationsAfter(-1); }
};

} // namespace

TEST(StringNull, DefaultStringsAreNullAndEmpty)
{
    const CString wide;
    const CAnsiString narrow;
    EXPECT_EQ(wide.GetText(), nullptr);
    EXPECT_EQ(narrow.GetText(), nullptr);
    EXPECT_EQ(wide.GetLength(), 0);
    EXPECT_EQ(narrow.GetLength(), 0);
    EXPECT_TRUE(wide.IsEmpty());
    EXPECT_TRUE(narrow.IsEmpty());
    EXPECT_EQ(wide.GetReferenceCount(), 0);
    EXPECT_EQ(wide.GetCapacity(), 0);
    EXPECT_EQ(wide.GetCachedLength(), 0);
    EXPECT_EQ(CAnsiString::ToUtf8(wide).GetText(), nullptr);
}

TEST(StringAssign, WideTextAndCountGiveExactBlocks)
{
    struct SCase {
        const char16_t* text;
        int count;
        const char16_t* expected;
    };
    const SCase cases[] = {
        {u"abcdef", 3, u"abc"},
        {u"abcdef", -1, u"abcdef"},
        {u"abcdef", 6, u"abcdef"},
        {u"", -1, u""},
        {u"abc", 0, u""},
        {u"a\u00E9\u20AC", -1, u"a\u00E9\u20AC"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "count " << c.count << ", expected length " << std::u16string(c.expected).size());
        CString s;
        ASSERT_TRUE(s.Assign(c.text, c.count));
        const int length = static_cast<int>(std::u16string(c.expected).size());
        ASSERT_NE(s.GetText(), nullptr);
        EXPECT_EQ(Text(s), c.expected);
        EXPECT_EQ(s.GetText()[length], u'\0');
        EXPECT_EQ(s.GetCapacity(), length);
        EXPECT_EQ(s.GetCachedLength(), length);
        EXPECT_EQ(s.GetReferenceCount(), 1);
    }
}

TEST(StringAssign, NarrowTextGivesExactBlocks)
{
    const char* const texts[] = {"abc", "", "\xC3\xA9 plug-in"};
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        CAnsiString s;
        ASSERT_TRUE(s.Assign(text));
        const int length = static_cast<int>(std::strlen(text));
        ASSERT_NE(s.GetText(), nullptr);
        EXPECT_EQ(Text(s), text);
        EXPECT_EQ(s.GetCapacity(), length);
        EXPECT_EQ(s.GetCachedLength(), length);
    }
}

TEST(StringAssign, NullTextLeavesTheStringNull)
{
    CString wide = Wide(u"old");
    EXPECT_TRUE(wide.Assign(nullptr, -1));
    EXPECT_EQ(wide.GetText(), nullptr);
    EXPECT_TRUE(wide.Assign(nullptr, 5));
    EXPECT_EQ(wide.GetText(), nullptr);

    CAnsiString narrow = Narrow("old");
    EXPECT_TRUE(narrow.Assign(nullptr));
    EXPECT_EQ(narrow.GetText(), nullptr);
}

TEST(StringAssign, EmptyTextIsNotTheNullString)
{
    const CString empty = Wide(u"");
    EXPECT_NE(empty.GetText(), nullptr);
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_FALSE(empty == CString());
    EXPECT_FALSE(CString() == empty);

    const CAnsiString narrowEmpty = Narrow("");
    EXPECT_NE(narrowEmpty.GetText(), nullptr);
    EXPECT_TRUE(narrowEmpty != CAnsiString());
}

TEST(StringAssign, ReleasesASharedBlockWithoutTouchingIt)
{
    CString first = Wide(u"abc");
    CString second = first;
    ASSERT_EQ(first.GetReferenceCount(), 2);
    ASSERT_TRUE(second.Assign(u"xyz"));
    EXPECT_EQ(first.GetReferenceCount(), 1);
    EXPECT_EQ(Text(first), u"abc");
    EXPECT_EQ(Text(second), u"xyz");
}

TEST(StringAssign, TextFromTheStringsOwnBlock)
{
    CString wide = Wide(u"abcdef");
    ASSERT_TRUE(wide.Assign(wide.GetText() + 2));
    EXPECT_EQ(Text(wide), u"cdef");
    EXPECT_EQ(wide.GetCapacity(), 4);
    EXPECT_EQ(wide.GetReferenceCount(), 1);

    CAnsiString narrow = Narrow("abcdef");
    ASSERT_TRUE(narrow.Assign(narrow.GetText() + 1));
    EXPECT_EQ(Text(narrow), "bcdef");
}

TEST(StringCopy, CopiesShareOneBlock)
{
    const CString original = Wide(u"abc");
    {
        const CString copy(original);
        CString assigned;
        assigned = original;
        EXPECT_EQ(copy.GetText(), original.GetText());
        EXPECT_EQ(assigned.GetText(), original.GetText());
        EXPECT_EQ(original.GetReferenceCount(), 3);
    }
    EXPECT_EQ(original.GetReferenceCount(), 1);
    EXPECT_EQ(Text(original), u"abc");

    const CString null;
    const CString nullCopy(null);
    EXPECT_EQ(nullCopy.GetText(), nullptr);
}

TEST(StringCopy, AssignmentReleasesTheTargetsOldBlock)
{
    const CAnsiString source = Narrow("new");
    CAnsiString target = Narrow("old");
    CAnsiString oldOwner = target;
    ASSERT_EQ(oldOwner.GetReferenceCount(), 2);
    target = source;
    EXPECT_EQ(oldOwner.GetReferenceCount(), 1);
    EXPECT_EQ(source.GetReferenceCount(), 2);
    EXPECT_EQ(Text(target), "new");
    EXPECT_EQ(Text(oldOwner), "old");
}

TEST(StringCopy, SelfAssignmentLeavesTheStringUnchanged)
{
    CString alone = Wide(u"abc");
    const CString& aloneAgain = alone;
    alone = aloneAgain;
    EXPECT_EQ(Text(alone), u"abc");
    EXPECT_EQ(alone.GetReferenceCount(), 1);

    CAnsiString shared = Narrow("abc");
    const CAnsiString other = shared;
    const CAnsiString& sharedAgain = shared;
    shared = sharedAgain;
    EXPECT_EQ(Text(shared), "abc");
    EXPECT_EQ(other.GetReferenceCount(), 2);

    CString moved = Wide(u"xyz");
    CString& movedAgain = moved;
    moved = std::move(movedAgain);
    EXPECT_EQ(Text(moved), u"xyz");
    EXPECT_EQ(moved.GetReferenceCount(), 1);
}

TEST(StringCopy, MovingTakesTheBlock)
{
    CString source = Wide(u"abc");
    const char16_t* block = source.GetText();
    CString target(std::move(source));
    EXPECT_EQ(source.GetText(), nullptr); // NOLINT(bugprone-use-after-move): moved-from is null by contract
    EXPECT_EQ(target.GetText(), block);
    EXPECT_EQ(target.GetReferenceCount(), 1);

    CAnsiString narrowSource = Narrow("new");
    CAnsiString narrowTarget = Narrow("old");
    CAnsiString oldOwner = narrowTarget;
    narrowTarget = std::move(narrowSource);
    EXPECT_EQ(narrowSource.GetText(), nullptr); // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(Text(narrowTarget), "new");
    EXPECT_EQ(narrowTarget.GetReferenceCount(), 1);
    EXPECT_EQ(oldOwner.GetReferenceCount(), 1);
}

TEST(StringCopyOnWrite, AppendingToACopyLeavesTheOriginal)
{
    const CString original = Wide(u"abc");
    const char16_t* block = original.GetText();
    CString copy = original;
    ASSERT_TRUE(copy.Append(u"de"));
    EXPECT_EQ(original.GetText(), block);
    EXPECT_EQ(Text(original), u"abc");
    EXPECT_EQ(original.GetReferenceCount(), 1);
    EXPECT_EQ(Text(copy), u"abcde");
    EXPECT_EQ(copy.GetReferenceCount(), 1);
    EXPECT_EQ(copy.GetCapacity(), 5);
    EXPECT_EQ(copy.GetCachedLength(), 5);
}

TEST(StringCopyOnWrite, NarrowInsertIntoACopyAndEmptyInsertStillCopies)
{
    const CAnsiString original = Narrow("abc");
    CAnsiString copy = original;
    ASSERT_TRUE(copy.Insert(0, ">"));
    EXPECT_EQ(Text(copy), ">abc");
    EXPECT_EQ(copy.GetCapacity(), 4);
    EXPECT_EQ(Text(original), "abc");

    CAnsiString second = original;
    ASSERT_TRUE(second.Append(""));
    EXPECT_NE(second.GetText(), original.GetText());
    EXPECT_EQ(original.GetReferenceCount(), 1);
    EXPECT_EQ(Text(second), "abc");
    EXPECT_EQ(second.GetCapacity(), 3);
}

TEST(StringGrowth, AppendingOneUnitAtATimeDoubles)
{
    const int expected[] = {1, 2, 4, 4, 8};
    CString wide;
    CAnsiString narrow;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(wide.Append(u"a"));
        ASSERT_TRUE(narrow.Append("a"));
        EXPECT_EQ(wide.GetCapacity(), expected[i]) << "append " << i + 1;
        EXPECT_EQ(narrow.GetCapacity(), expected[i]) << "append " << i + 1;
        EXPECT_EQ(wide.GetCachedLength(), i + 1);
        EXPECT_EQ(narrow.GetCachedLength(), i + 1);
    }
    EXPECT_EQ(Text(wide), u"aaaaa");
    EXPECT_EQ(Text(narrow), "aaaaa");
}

TEST(StringGrowth, PrivateBlocksGrowToTwiceOrToTheNeed)
{
    struct SCase {
        const char16_t* start;
        const char16_t* appended;
        int capacity;
    };
    const SCase cases[] = {
        {u"abcd", u"e", 8},                 // doubling
        {u"abcd", u"efgh", 8},              // doubling, exactly full
        {u"abcd", u"0123456789", 14},       // more than double: the need
        {u"", u"xyz", 3},                   // zero capacity doubles to zero: the need
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "expected capacity " << c.capacity);
        CString s = Wide(c.start);
        ASSERT_TRUE(s.Append(c.appended));
        EXPECT_EQ(s.GetCapacity(), c.capacity);
        EXPECT_EQ(Text(s), std::u16string(c.start) + c.appended);
    }
}

TEST(StringGrowth, AppendWithinTheCapacityKeepsTheBlock)
{
    CString s = Wide(u"abcd");
    ASSERT_TRUE(s.Append(u"e")); // capacity 8
    const char16_t* block = s.GetText();
    ASSERT_TRUE(s.Append(u"fgh"));
    EXPECT_EQ(s.GetText(), block);
    EXPECT_EQ(s.GetCapacity(), 8);
    EXPECT_EQ(Text(s), u"abcdefgh");
    EXPECT_EQ(s.GetCachedLength(), 8);
}

TEST(StringInsert, WideIndexAndCount)
{
    struct SCase {
        const char16_t* start;
        int index;
        const char16_t* text;
        int count;
        const char16_t* expected;
    };
    const SCase cases[] = {
        {u"abc", 1, u"XY", -1, u"aXYbc"},
        {u"abc", -1, u"XY", -1, u"abcXY"},
        {u"abc", 0, u"XY", -1, u"XYabc"},
        {u"abc", 3, u"XY", -1, u"abcXY"},
        {u"abc", 2, u"XYZ", 2, u"abXYc"},
        {u"abc", 1, u"XY", 0, u"abc"},
        {u"abc", 1, nullptr, -1, u"abc"},
        {u"abc", 9, u"XY", -1, u"abcXY"}, // beyond the end: the end
        {u"", 0, u"XY", -1, u"XY"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "index " << c.index << ", count " << c.count);
        CString s = Wide(c.start);
        ASSERT_TRUE(s.Insert(c.index, c.text, c.count));
        const int length = static_cast<int>(std::u16string(c.expected).size());
        EXPECT_EQ(Text(s), c.expected);
        EXPECT_EQ(s.GetCachedLength(), length);
        EXPECT_EQ(s.GetLength(), length);
    }
}

TEST(StringInsert, NarrowIndex)
{
    struct SCase {
        const char* start;
        int index;
        const char* text;
        const char* expected;
    };
    const SCase cases[] = {
        {"abc", 1, "XY", "aXYbc"},
        {"abc", -1, "XY", "abcXY"},
        {"abc", 0, "XY", "XYabc"},
        {"abc", 1, "", "abc"},
        {"abc", 1, nullptr, "abc"},
        {"info", -1, ":", "info:"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.expected);
        CAnsiString s = Narrow(c.start);
        ASSERT_TRUE(s.Insert(c.index, c.text));
        EXPECT_EQ(Text(s), c.expected);
        EXPECT_EQ(s.GetCachedLength(), static_cast<int>(std::strlen(c.expected)));
    }
}

TEST(StringInsert, IntoANullStringGivesAnExactBlock)
{
    CString wide;
    ASSERT_TRUE(wide.Insert(0, u"hello"));
    EXPECT_EQ(Text(wide), u"hello");
    EXPECT_EQ(wide.GetCapacity(), 5);
    EXPECT_EQ(wide.GetCachedLength(), 5);

    CAnsiString narrow;
    ASSERT_TRUE(narrow.Append("hello"));
    EXPECT_EQ(narrow.GetCapacity(), 5);
}

TEST(StringInsert, NothingToInsert)
{
    // Wide: nothing happens at all, so a null string stays null.
    CString wide;
    EXPECT_TRUE(wide.Insert(0, u"abc", 0));
    EXPECT_TRUE(wide.Append(nullptr));
    EXPECT_EQ(wide.GetText(), nullptr);

    // Narrow: the insert still runs, so a null string becomes an empty block.
    CAnsiString fromEmpty;
    EXPECT_TRUE(fromEmpty.Append(""));
    ASSERT_NE(fromEmpty.GetText(), nullptr);
    EXPECT_EQ(fromEmpty.GetCapacity(), 0);
    EXPECT_EQ(fromEmpty.GetCachedLength(), 0);
    CAnsiString fromNull;
    EXPECT_TRUE(fromNull.Append(nullptr));
    EXPECT_NE(fromNull.GetText(), nullptr);
    EXPECT_TRUE(fromNull.IsEmpty());
}

TEST(StringInsert, TextFromTheStringsOwnBlock)
{
    // Growing: the block moves while the text is copied from it.
    CString growing = Wide(u"abc");
    ASSERT_TRUE(growing.Append(growing.GetText()));
    EXPECT_EQ(Text(growing), u"abcabc");

    // Room to spare: the tail moves over the inserted text before it is copied.
    CString roomy = Wide(u"abcd");
    ASSERT_TRUE(roomy.Append(u"e")); // capacity 8
    ASSERT_TRUE(roomy.Insert(0, roomy.GetText() + 3, 2));
    EXPECT_EQ(Text(roomy), u"deabcde");
    EXPECT_EQ(roomy.GetReferenceCount(), 1);

    CAnsiString narrow = Narrow("xy");
    ASSERT_TRUE(narrow.Insert(1, narrow.GetText()));
    EXPECT_EQ(Text(narrow), "xxyy");
}

TEST(StringGetBuffer, NullNarrowStringOf512)
{
    CAnsiString name;
    char* buffer = name.GetBuffer(512);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(name.GetCapacity(), 512);
    EXPECT_EQ(buffer[512], '\0');
    EXPECT_EQ(name.GetCachedLength(), -1);
    EXPECT_EQ(name.GetReferenceCount(), 1);
    std::strcpy(buffer, "Sub Synth");
    EXPECT_EQ(name.GetLength(), 9);
    EXPECT_EQ(name.GetCachedLength(), 9);
}

TEST(StringGetBuffer, FreshBlockReadsAsEmptyUntilWritten)
{
    CString wide;
    ASSERT_NE(wide.GetBuffer(5), nullptr);
    EXPECT_EQ(wide.GetLength(), 0);
    CAnsiString narrow;
    ASSERT_NE(narrow.GetBuffer(5), nullptr);
    EXPECT_EQ(CString::Widen(narrow.GetText()).GetLength(), 0);
}

TEST(StringGetBuffer, PrivateBlockWithRoomIsReturnedAsIs)
{
    CString s = Wide(u"abcdef");
    const char16_t* block = s.GetText();
    char16_t* buffer = s.GetBuffer(4);
    EXPECT_EQ(buffer, block);
    EXPECT_EQ(s.GetCapacity(), 6);
    EXPECT_EQ(s.GetCachedLength(), -1);
    EXPECT_EQ(Text(s), u"abcdef");
    buffer[2] = 0;
    EXPECT_EQ(s.GetLength(), 2);
    EXPECT_EQ(s.GetCachedLength(), 2);
}

TEST(StringGetBuffer, PrivateBlockThatIsTooSmallGrowsExactly)
{
    CString s = Wide(u"abc");
    char16_t* buffer = s.GetBuffer(10);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(s.GetCapacity(), 10);
    EXPECT_EQ(buffer[10], u'\0');
    EXPECT_EQ(s.GetCachedLength(), -1);
    EXPECT_EQ(Text(s), u"abc");
}

TEST(StringGetBuffer, SharedBlockIsCopiedWithItsSlack)
{
    // A narrow block of capacity 4 has 8 bytes after its header: 4 text bytes,
    // the terminator's slot and 3 bytes of slack, all marked here.
    CAnsiString original;
    char* text = original.GetBuffer(4);
    ASSERT_NE(text, nullptr);
    std::memcpy(text, "abcd\0xyz", 8);

    struct SCase {
        int capacity;
        int copiedBytes; // min(old capacity, capacity) + 4
    };
    const SCase cases[] = {{2, 6}, {4, 8}, {10, 8}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "capacity " << c.capacity);
        CAnsiString copy = original;
        char* buffer = copy.GetBuffer(c.capacity);
        ASSERT_NE(buffer, nullptr);
        EXPECT_NE(buffer, text);
        EXPECT_EQ(copy.GetCapacity(), c.capacity);
        EXPECT_EQ(copy.GetCachedLength(), -1);
        EXPECT_EQ(copy.GetReferenceCount(), 1);
        EXPECT_EQ(original.GetReferenceCount(), 1);
        EXPECT_EQ(buffer[c.capacity], '\0');
        for (int i = 0; i < c.copiedBytes; ++i) {
            if (i != c.capacity) {
                EXPECT_EQ(buffer[i], text[i]) << "byte " << i;
            }
        }
    }
    EXPECT_EQ(std::memcmp(text, "abcd\0xyz", 8), 0);
}

TEST(StringGetBuffer, WideSharedBlockCopiesTwoUnitsOfSlack)
{
    CString original;
    char16_t* text = original.GetBuffer(3);
    ASSERT_NE(text, nullptr);
    const char16_t marked[] = {u'a', u'b', u'c', 0, u'z'};
    std::memcpy(text, marked, sizeof marked);

    CString copy = original;
    char16_t* buffer = copy.GetBuffer(6);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(std::memcmp(buffer, marked, sizeof marked), 0);
    EXPECT_EQ(buffer[6], u'\0');
    EXPECT_EQ(Text(copy), u"abc");
}

TEST(StringGetBuffer, SharedTextLongerThanTheNewCapacityIsCut)
{
    const CString original = Wide(u"abcdef");
    CString copy = original;
    ASSERT_NE(copy.GetBuffer(3), nullptr);
    EXPECT_EQ(copy.GetLength(), 3);
    EXPECT_EQ(Text(copy), u"abc");
    EXPECT_EQ(Text(original), u"abcdef");
}

TEST(StringGetBuffer, NegativeCapacityChangesNothing)
{
    CString s = Wide(u"abc");
    EXPECT_EQ(s.GetBuffer(-1), nullptr);
    EXPECT_EQ(Text(s), u"abc");
    EXPECT_EQ(s.GetCachedLength(), 3);
    CAnsiString null;
    EXPECT_EQ(null.GetBuffer(-5), nullptr);
    EXPECT_EQ(null.GetText(), nullptr);
}

TEST(StringEquality, ByBlockAndByText)
{
    struct SCase {
        const char16_t* a;
        const char16_t* b;
        bool equal;
    };
    const SCase cases[] = {
        {u"abc", u"abc", true},  {u"abc", u"abcd", false}, {u"abcd", u"abc", false},
        {u"abc", u"ABC", false}, {u"", u"", true},         {u"", u"a", false},
        {nullptr, nullptr, true}, {nullptr, u"", false},   {u"", nullptr, false},
        {u"\u00E9", u"e\u0301", false}, // no normalisation
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        const CString a = Wide(c.a);
        const CString b = Wide(c.b);
        EXPECT_EQ(a == b, c.equal);
        EXPECT_EQ(a != b, !c.equal);
    }
}

TEST(StringEquality, NarrowByBlockAndByText)
{
    struct SCase {
        const char* a;
        const char* b;
        bool equal;
    };
    const SCase cases[] = {
        {"C:\\VST\\a.dll", "C:\\VST\\a.dll", true}, {"abc", "abcd", false}, {"abc", "ABC", false},
        {nullptr, nullptr, true},                 {nullptr, "", false},    {"", "", true},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(Narrow(c.a) == Narrow(c.b), c.equal);
    }
}

TEST(StringEquality, CopiesAndDifferentCapacities)
{
    const CString original = Wide(u"abc");
    const CString copy = original;
    EXPECT_TRUE(copy == original);

    CString roomy = Wide(u"ab");
    ASSERT_TRUE(roomy.Append(u"c")); // capacity 4, same text
    EXPECT_NE(roomy.GetCapacity(), original.GetCapacity());
    EXPECT_TRUE(roomy == original);
}

TEST_F(StringFailureTest, GetBufferFailureLeavesTheStringAsItWas)
{
    CString null;
    CString small = Wide(u"abc");
    const CString original = Wide(u"shared");
    CString shared = original;

    FailStringAllocationsAfter(0);
    EXPECT_EQ(null.GetBuffer(4), nullptr);
    EXPECT_EQ(small.GetBuffer(40), nullptr);
    EXPECT_EQ(shared.GetBuffer(2), nullptr);
    FailStringAllocationsAfter(-1);

    EXPECT_EQ(null.GetText(), nullptr);
    EXPECT_EQ(Text(small), u"abc");
    EXPECT_EQ(small.GetCapacity(), 3);
    EXPECT_EQ(small.GetCachedLength(), 3);
    EXPECT_EQ(shared.GetText(), original.GetText());
    EXPECT_EQ(original.GetReferenceCount(), 2);
}

TEST_F(StringFailureTest, AssignFailureLeavesTheStringNull)
{
    CString wide = Wide(u"old");
    CAnsiString narrow = Narrow("old");
    FailStringAllocationsAfter(0);
    EXPECT_FALSE(wide.Assign(u"new"));
    EXPECT_FALSE(narrow.Assign("new"));
    EXPECT_EQ(wide.GetText(), nullptr);
    EXPECT_EQ(narrow.GetText(), nullptr);
}

TEST_F(StringFailureTest, InsertFailureKeepsTheOldText)
{
    CString wide = Wide(u"abc");
    const CString original = Wide(u"shared");
    CString shared = original;
    CAnsiString narrow = Narrow("tag");

    FailStringAllocationsAfter(0);
    EXPECT_FALSE(wide.Append(u"d"));
    EXPECT_FALSE(shared.Insert(0, u">"));
    EXPECT_FALSE(narrow.Append(":"));
    FailStringAllocationsAfter(-1);

    EXPECT_EQ(Text(wide), u"abc");
    EXPECT_EQ(wide.GetCapacity(), 3);
    EXPECT_EQ(wide.GetCachedLength(), 3);
    EXPECT_EQ(shared.GetText(), original.GetText());
    EXPECT_EQ(original.GetReferenceCount(), 2);
    EXPECT_EQ(Text(narrow), "tag");
}

TEST_F(StringFailureTest, OwnTextInsertFailureReleasesTheExtraReference)
{
    CString s = Wide(u"abc");
    FailStringAllocationsAfter(0);
    EXPECT_FALSE(s.Append(s.GetText()));
    FailStringAllocationsAfter(-1);
    EXPECT_EQ(Text(s), u"abc");
    EXPECT_EQ(s.GetReferenceCount(), 1);
}
