// The host's record reader against the exact lines the server writes: spacing,
// trailing commas, escapes, sub-plug-ins, and records that are not well-formed.

#include "client/AnswerReader.h"
#include "client/RecordReader.h"

#include "scan/PluginInfo.h"
#include "scan/RecordJson.h"
#include "support/RecordingSink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using CLines = std::vector<std::string>;

/// The record lines of a load failure, as the server writes them (">:" and "\n" stripped).
const CLines kLoadFailure = {
    "{",
    "  \"id\":        \"00000000\",",
    "  \"name\":      \"\",",
    "  \"vendor\":    \"\",",
    "  \"product\":   \"\",",
    "  \"version\":   \"\",",
    "  \"error\":     \"Failed to load library, err=126\",",
    "  \"numInputs\": 0,",
    "  \"numOutputs\":0,",
    "  \"wantsMidi\":  false,",
    "  \"sendsMidi\": false,",
    "  \"platform\":  \"x64\",",
    "  \"audio64\":   false,",
    "  \"category\":  -1,",
    "  \"synthEdit\": false,",
    "}",
};

bool Read(const CLines& lines, SPluginRecord& record, std::string& error)
{
    CRecordReader reader;
    for (const std::string& line : lines)
        reader.AddLine(line);
    return reader.Parse(record, error);
}

SPluginRecord ReadOrFail(const CLines& lines)
{
    SPluginRecord record;
    std::string error;
    EXPECT_TRUE(Read(lines, record, error)) << error;
    return record;
}

/// kLoadFailure with one member line replaced.
CLines WithLine(std::size_t index, const std::string& line)
{
    CLines lines = kLoadFailure;
    lines[index] = line;
    return lines;
}

CString Text(const char16_t* text)
{
    CString string;
    string.Assign(text);
    return string;
}

TEST(RecordReader, ReadsTheLoadFailureRecordWithItsTrailingCommas)
{
    const SPluginRecord record = ReadOrFail(kLoadFailure);
    EXPECT_EQ(0u, record.id);
    EXPECT_EQ("", record.name);
    EXPECT_EQ("Failed to load library, err=126", record.error);
    EXPECT_EQ("x64", record.platform);
    EXPECT_EQ(-1, record.category);
    EXPECT_FALSE(record.wantsMidi);
    EXPECT_TRUE(record.shells.empty());
}

TEST(RecordReader, ReadsEveryMemberOfAnEffect)
{
    const CLines lines = {
        "{",
        "  \"id\":        \"41626364\",",
        "  \"name\":      \"Bass \\\"Pro\\\"\\/2\",",
        "  \"vendor\":    \"Caf\\u00e9 Audio\",",
        "  \"product\":   \"\",",
        "  \"version\":   \"1.2.0\",",
        "  \"error\":     \"\",",
        "  \"numInputs\": 2,",
        "  \"numOutputs\":16,",
        "  \"wantsMidi\":  true,",
        "  \"sendsMidi\": false,",
        "  \"platform\":  \"x64\",",
        "  \"audio64\":   true,",
        "  \"category\":  2,",
        "  \"synthEdit\": true,",
        "}",
    };
    const SPluginRecord record = ReadOrFail(lines);
    EXPECT_EQ(0x41626364u, record.id);
    EXPECT_EQ("Bass \"Pro\"/2", record.name);
    EXPECT_EQ("Caf\xC3\xA9 Audio", record.vendor);
    EXPECT_EQ("1.2.0", record.version);
    EXPECT_EQ(2, record.numInputs);
    EXPECT_EQ(16, record.numOutputs);
    EXPECT_TRUE(record.wantsMidi);
    EXPECT_FALSE(record.sendsMidi);
    EXPECT_TRUE(record.audio64);
    EXPECT_EQ(2, record.category);
    EXPECT_TRUE(record.synthEdit);
}

TEST(RecordReader, DecodesEveryEscapeOfTheWriter)
{
    struct SCase {
        const char* escaped;
        std::string decoded;
    };
    const SCase cases[] = {
        {"\\b\\t\\n\\f\\r", "\b\t\n\f\r"},
        {"\\\"\\/\\\\", "\"/\\"},
        {"\\u001f\\u0001", "\x1F\x01"},
        {"\\u00e9\\u00E9", "\xC3\xA9\xC3\xA9"},
        {"\\u007f\\u00ff", "\x7F\xC3\xBF"},
        {"\\u20ac", "\xE2\x82\xAC"},
        {"\\ud83c\\udfb9", "\xF0\x9F\x8E\xB9"},
        {"{}:,", "{}:,"},
    };
    for (const SCase& c : cases) {
        const SPluginRecord record = ReadOrFail(WithLine(2, std::string("  \"name\":      \"") + c.escaped + "\","));
        EXPECT_EQ(c.decoded, record.name) << c.escaped;
    }
}

TEST(RecordReader, ReadsSubPluginsInTheShellsOrderWithTrailingCommas)
{
    CLines lines = WithLine(13, "  \"category\":  10,");
    lines.insert(lines.end() - 1, {
                                      "  \"shells\": {",
                                      "        \"5A5A0001\": \"Strings \\\"Ensemble\\\"\",",
                                      "        \"FFFFFFFF\": \"\",",
                                      "        \"000012AB\": \"Piano\\/Keys\",",
                                      "  },",
                                  });
    const SPluginRecord record = ReadOrFail(lines);
    ASSERT_TRUE(record.IsShell());
    const std::vector<SSubPlugin> expected = {
        {0x5A5A0001u, "Strings \"Ensemble\""}, {0xFFFFFFFFu, ""}, {0x12ABu, "Piano/Keys"}};
    EXPECT_EQ(expected, record.shells);
}

TEST(RecordReader, ReadsAnEmptyShellList)
{
    CLines lines = WithLine(13, "  \"category\":  10,");
    lines.insert(lines.end() - 1, {"  \"shells\": {", "  },"});
    const SPluginRecord record = ReadOrFail(lines);
    EXPECT_TRUE(record.IsShell());
    EXPECT_TRUE(record.shells.empty());
}

TEST(RecordReader, ReadsIdsAndNumbersOverTheirWholeRange)
{
    struct SCase {
        std::size_t index;
        std::string line;
        uint32_t id;
        int32_t numInputs;
        int32_t category;
    };
    const SCase cases[] = {
        {1, "  \"id\":        \"FFFFFFFF\",", 0xFFFFFFFFu, 0, -1},
        {1, "  \"id\":        \"80000000\",", 0x80000000u, 0, -1},
        {1, "  \"id\":        \"abcdef10\",", 0xABCDEF10u, 0, -1},
        {7, "  \"numInputs\": -3,", 0, -3, -1},
        {7, "  \"numInputs\": 2147483647,", 0, 2147483647, -1},
        {13, "  \"category\":  -2147483648,", 0, 0, INT32_MIN},
    };
    for (const SCase& c : cases) {
        const SPluginRecord record = ReadOrFail(WithLine(c.index, c.line));
        EXPECT_EQ(c.id, record.id) << c.line;
        EXPECT_EQ(c.numInputs, record.numInputs) << c.line;
        EXPECT_EQ(c.category, record.category) << c.line;
    }
}

TEST(RecordReader, RejectsRecordsThatAreNotWellFormed)
{
    struct SCase {
        const char* label;
        CLines lines;
    };
    CLines missingName = kLoadFailure;
    missingName.erase(missingName.begin() + 2);
    CLines twoCommas = WithLine(14, "  \"synthEdit\": false,,");
    CLines shellNotHex = WithLine(13, "  \"category\":  10,");
    shellNotHex.insert(shellNotHex.end() - 1, {"  \"shells\": {", "        \"XYZ\": \"a\",", "  },"});
    const SCase cases[] = {
        {"a member is missing", missingName},
        {"two commas in a row", twoCommas},
        {"the id is not hexadecimal", WithLine(1, "  \"id\":        \"0000000G\",")},
        {"the id has nine digits", WithLine(1, "  \"id\":        \"123456789\",")},
        {"the id is a number", WithLine(1, "  \"id\":        12,")},
        {"a count is out of range", WithLine(7, "  \"numInputs\": 2147483648,")},
        {"a count is a string", WithLine(7, "  \"numInputs\": \"2\",")},
        {"a number too large for a double", WithLine(7, "  \"numInputs\": 1e400,")},
        {"a boolean is a number", WithLine(9, "  \"wantsMidi\":  1,")},
        {"an unterminated string", WithLine(2, "  \"name\":      \"abc,")},
        {"a raw control character", WithLine(2, "  \"name\":      \"a\tb\",")},
        {"a sub-plug-in id that is not hexadecimal", shellNotHex},
        {"no closing line", CLines(kLoadFailure.begin(), kLoadFailure.end() - 1)},
        {"no line at all", {}},
    };
    for (const SCase& c : cases) {
        SPluginRecord record;
        record.name = "untouched";
        std::string error;
        EXPECT_FALSE(Read(c.lines, record, error)) << c.label;
        EXPECT_FALSE(error.empty()) << c.label;
        EXPECT_EQ("untouched", record.name) << c.label;
    }
}

TEST(RecordReader, IgnoresUnknownMembersAndLinesAfterTheRecord)
{
    CLines lines = kLoadFailure;
    lines.insert(lines.end() - 1, "  \"futureMember\": [1, {\"a\": null}],");
    lines.push_back("  \"name\": \"after the end\",");
    CRecordReader reader;
    for (const std::string& line : lines)
        reader.AddLine(line);
    EXPECT_TRUE(reader.IsComplete());
    SPluginRecord record;
    std::string error;
    ASSERT_TRUE(reader.Parse(record, error)) << error;
    EXPECT_EQ("", record.name);
}

TEST(RecordReader, TellsCompletionOnlyAtTheClosingLine)
{
    CRecordReader reader;
    EXPECT_FALSE(reader.HasStarted());
    for (std::size_t index = 0; index + 1 < kLoadFailure.size(); ++index) {
        EXPECT_FALSE(reader.AddLine(kLoadFailure[index])) << index;
        EXPECT_TRUE(reader.HasStarted());
    }
    EXPECT_TRUE(reader.AddLine("}"));
    EXPECT_TRUE(reader.IsComplete());
}

// The server's own writer produces what the reader reads back unchanged.
TEST(RecordReader, ReadsBackWhatTheServersWriterWrites)
{
    struct SCase {
        const char16_t* name;
        std::string utf8Name;
        int32_t id;
        int32_t category;
    };
    const SCase cases[] = {
        {u"Plain", "Plain", 0x54734E67, 1},
        {u"Quote \" Slash / Backslash \\ End", "Quote \" Slash / Backslash \\ End", -1, 2},
        {u"Caf\u00e9 \u00ff\u0001\u001f\t\r\n", "Caf\xC3\xA9 \xC3\xBF\x01\x1F\t\r\n", INT32_MIN, 0},
        {u"\u20ac \U0001F3B9", "\xE2\x82\xAC \xF0\x9F\x8E\xB9", 0x7FFFFFFF, 10},
    };
    for (const SCase& c : cases) {
        CPluginInfo info;
        info.id = c.id;
        info.name = Text(c.name);
        info.vendor = Text(u"Vostrel Software");
        info.version = Text(u"1.1.0.0");
        info.numInputs = 2;
        info.numOutputs = 6;
        info.sendsMidi = true;
        info.category = c.category;
        CShellInfo* sub = new CShellInfo;
        sub->id = c.id ^ 1;
        sub->name = Text(c.name);
        info.shells.Add(sub);

        CAnswerReader answer;
        {
            CRecordingSink sink;
            WriteRecordJson(info);
            for (const std::string& write : sink.writes) {
                ASSERT_EQ('\n', write.back());
                answer.AddLine(write.substr(0, write.size() - 1));
            }
        }
        ASSERT_TRUE(answer.AddLine("ready:"));
        const SScanOutcome outcome = answer.Answered();
        ASSERT_EQ(EOutcome::Scanned, outcome.kind) << outcome.error;
        const SPluginRecord& record = outcome.record;
        EXPECT_EQ(static_cast<uint32_t>(c.id), record.id);
        EXPECT_EQ(c.utf8Name, record.name);
        EXPECT_EQ("Vostrel Software", record.vendor);
        EXPECT_EQ("1.1.0.0", record.version);
        EXPECT_EQ(6, record.numOutputs);
        EXPECT_TRUE(record.sendsMidi);
        EXPECT_EQ(c.category, record.category);
        const std::vector<SSubPlugin> expectedShells =
            c.category == kPlugCategoryShell ? std::vector<SSubPlugin>{{static_cast<uint32_t>(c.id ^ 1), c.utf8Name}}
                                         : std::vector<SSubPlugin>{};
        EXPECT_EQ(expectedShells, record.shells);
    }
}

} // namespace
