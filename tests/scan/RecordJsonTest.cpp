#include "scan/RecordJson.h"

#include "scan/PluginInfo.h"
#include "support/RecordSupport.h"
#include "support/RecordingSink.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using CLines = std::vector<std::string>;

// Each write the record produced, in order.
CLines Write(const CPluginInfo& record)
{
    CRecordingSink sink;
    WriteRecordJson(record);
    return sink.writes;
}

// The ASCII bytes of an escaped text (every escaped unit is ASCII).
std::string Ascii(const CString& text)
{
    std::string bytes;
    for (int i = 0; i < text.GetLength(); ++i) {
        bytes += static_cast<char>(text.GetText()[i]);
    }
    return bytes;
}

// The member lines that precede the shells, for a record that only differs in the given lines.
const CLines kLoadFailureLines = {
    ">:{\n",
    ">:  \"id\":        \"00000000\",\n",
    ">:  \"name\":      \"\",\n",
    ">:  \"vendor\":    \"\",\n",
    ">:  \"product\":   \"\",\n",
    ">:  \"version\":   \"\",\n",
    ">:  \"error\":     \"Failed to load library, err=126\",\n",
    ">:  \"numInputs\": 0,\n",
    ">:  \"numOutputs\":0,\n",
    ">:  \"wantsMidi\":  false,\n",
    ">:  \"sendsMidi\": false,\n",
    ">:  \"platform\":  \"x64\",\n",
    ">:  \"audio64\":   false,\n",
    ">:  \"category\":  -1,\n",
    ">:  \"synthEdit\": false,\n",
    ">:}\n",
};

TEST(RecordJsonTest, LoadFailureRecordIsWrittenByteForByte)
{
    CPluginInfo record;
    record.error = Text(u"Failed to load library, err=126");
    EXPECT_EQ(kLoadFailureLines, Write(record));
}

TEST(RecordJsonTest, FullEffectRecordIsWrittenByteForByte)
{
    CPluginInfo record;
    record.id = 0x41626364;
    record.name = Text(u"Bass \"Pro\"/2");
    record.vendor = Text(u"Caf\u00e9 Audio");
    record.product = Text(u"");
    record.version = Text(u"1.2.0");
    record.numInputs = 2;
    record.numOutputs = 16;
    record.wantsMidi = true;
    record.sendsMidi = false;
    record.audio64 = true;
    record.category = 2;
    record.synthEdit = true;
    const CLines expected = {
        ">:{\n",
        ">:  \"id\":        \"41626364\",\n",
        ">:  \"name\":      \"Bass \\\"Pro\\\"\\/2\",\n",
        ">:  \"vendor\":    \"Caf\\u00e9 Audio\",\n",
        ">:  \"product\":   \"\",\n",
        ">:  \"version\":   \"1.2.0\",\n",
        ">:  \"error\":     \"\",\n",
        ">:  \"numInputs\": 2,\n",
        ">:  \"numOutputs\":16,\n",
        ">:  \"wantsMidi\":  true,\n",
        ">:  \"sendsMidi\": false,\n",
        ">:  \"platform\":  \"x64\",\n",
        ">:  \"audio64\":   true,\n",
        ">:  \"category\":  2,\n",
        ">:  \"synthEdit\": true,\n",
        ">:}\n",
    };
    EXPECT_EQ(expected, Write(record));
}

TEST(RecordJsonTest, ShellCategoryListsItsSubPluginsAfterSynthEdit)
{
    struct CShellCase {
        const char* label;
        std::vector<std::pair<std::int32_t, const char16_t*>> shells;
        CLines shellLines; // between the "synthEdit" line and the closing brace
    };
    const CShellCase cases[] = {
        {"no sub-plug-ins", {}, {">:  \"shells\": {\n", ">:  },\n"}},
        {"three sub-plug-ins",
         {{0x5A5A0001, u"Strings \"Ensemble\""}, {-1, u""}, {0x12AB, u"Piano/Keys"}},
         {">:  \"shells\": {\n",
          ">:        \"5A5A0001\": \"Strings \\\"Ensemble\\\"\",\n",
          ">:        \"FFFFFFFF\": \"\",\n",
          ">:        \"000012AB\": \"Piano\\/Keys\",\n",
          ">:  },\n"}},
    };
    for (const CShellCase& test : cases) {
        CPluginInfo record;
        record.id = 0x5A5A0000;
        record.category = 10;
        for (const auto& [id, name] : test.shells) {
            AddShell(record, id, name);
        }
        CLines expected = kLoadFailureLines;
        expected[1] = ">:  \"id\":        \"5A5A0000\",\n";
        expected[6] = ">:  \"error\":     \"\",\n";
        expected[13] = ">:  \"category\":  10,\n";
        expected.insert(expected.end() - 1, test.shellLines.begin(), test.shellLines.end());
        EXPECT_EQ(expected, Write(record)) << test.label;
    }
}

TEST(RecordJsonTest, SubPluginsAreWrittenOnlyForTheShellCategory)
{
    for (std::int32_t category : {-1, 0, 1, 2, 9, 11}) {
        CPluginInfo record;
        record.category = category;
        AddShell(record, 1, u"left over");
        const CLines lines = Write(record);
        ASSERT_EQ(16u, lines.size()) << "category " << category;
        EXPECT_EQ(">:  \"category\":  " + std::to_string(category) + ",\n", lines[13]);
        EXPECT_EQ(">:}\n", lines.back());
    }
}

TEST(RecordJsonTest, IdsAreEightUpperCaseHexDigitsOfAll32Bits)
{
    struct CIdCase {
        std::int32_t id;
        const char* hex;
    };
    const CIdCase cases[] = {
        {0, "00000000"},           {0x41626364, "41626364"}, {0xABC, "00000ABC"},      {0x7FFFFFFF, "7FFFFFFF"},
        {-1, "FFFFFFFF"},          {-2, "FFFFFFFE"},          {INT32_MIN, "80000000"}, {-0x543210F0, "ABCDEF10"},
    };
    for (const CIdCase& test : cases) {
        CPluginInfo record;
        record.id = test.id;
        record.category = 10;
        AddShell(record, test.id, u"x");
        const CLines lines = Write(record);
        ASSERT_EQ(19u, lines.size());
        EXPECT_EQ(std::string(">:  \"id\":        \"") + test.hex + "\",\n", lines[1]) << test.id;
        EXPECT_EQ(std::string(">:        \"") + test.hex + "\": \"x\",\n", lines[16]) << test.id;
    }
}

TEST(RecordJsonTest, NumbersAreSignedDecimal)
{
    CPluginInfo record;
    record.numInputs = -3;
    record.numOutputs = INT32_MAX;
    record.category = INT32_MIN;
    const CLines lines = Write(record);
    ASSERT_EQ(16u, lines.size());
    EXPECT_EQ(">:  \"numInputs\": -3,\n", lines[7]);
    EXPECT_EQ(">:  \"numOutputs\":2147483647,\n", lines[8]);
    EXPECT_EQ(">:  \"category\":  -2147483648,\n", lines[13]);
}

TEST(RecordJsonTest, EscapeTableCoversEveryKindOfCodeUnit)
{
    struct CEscapeCase {
        std::u16string text;
        const char* escaped;
    };
    const CEscapeCase cases[] = {
        {u"\b", "\\b"},
        {u"\t", "\\t"},
        {u"\n", "\\n"},
        {u"\f", "\\f"},
        {u"\r", "\\r"},
        {u"\"", "\\\""},
        {u"/", "\\/"},
        {u"\\", "\\\\"},
        {u"\x01", "\\u0001"},
        {u"\x07", "\\u0007"},
        {u"\x0B", "\\u000b"},
        {u"\x1F", "\\u001f"},
        {u" ", " "},
        {u"!", "!"},
        {u"~", "~"},
        {u"\x7F", "\\u007f"},
        {u"\x80", "\\u0080"},
        {u"\u00e9", "\\u00e9"},
        {u"\u20AC", "\\u20ac"},
        {u"\uFFFF", "\\uffff"},
        {u"\U0001F3B9", "\\ud83c\\udfb9"}, // beyond the BMP: both surrogates
        {std::u16string(1, char16_t(0xDC00)), "\\udc00"}, // an unpaired surrogate as it stands
        {u"Bass \"Pro\"/2", "Bass \\\"Pro\\\"\\/2"},
        {u"C:\\VST\\a b.dll", "C:\\\\VST\\\\a b.dll"},
        {u"line1\r\nline2", "line1\\r\\nline2"},
        {u"AZaz09{}[]:,'", "AZaz09{}[]:,'"},
    };
    for (const CEscapeCase& test : cases) {
        const CString escaped = JsonEscape(Text(test.text.c_str()));
        EXPECT_EQ(test.escaped, Ascii(escaped));
        EXPECT_EQ(static_cast<int>(std::string(test.escaped).size()), escaped.GetLength()) << test.escaped;
    }
}

TEST(RecordJsonTest, NullAndEmptyTextEscapeToANonNullEmptyString)
{
    const CString null;
    const CString empty = Text(u"");
    for (const CString* text : {&null, &empty}) {
        const CString escaped = JsonEscape(*text);
        ASSERT_NE(nullptr, escaped.GetText());
        EXPECT_EQ(0, escaped.GetLength());
    }
}

TEST(RecordJsonTest, EveryLineIsOneAsciiWriteWithTheRecordTag)
{
    CPluginInfo record;
    record.name = Text(u"\u00c9t\u00e9 \U0001F3B9\t\x01\x7F");
    record.vendor = Text(u"\u65e5\u672c");
    record.category = 10;
    AddShell(record, 7, u"\u00fc\n");
    AddShell(record, 8, nullptr);
    for (const std::string& line : Write(record)) {
        EXPECT_EQ(0u, line.find(">:")) << line;
        EXPECT_EQ(line.size() - 1, line.find('\n')) << "one line per write: " << line;
        for (char byte : line) {
            EXPECT_EQ(0, static_cast<unsigned char>(byte) & 0x80) << line;
        }
    }
}

} // namespace
