// The host's record reader against the exact lines the server writes (the one
// record generator): every member, escapes, sub-plug-ins, whole ranges, and
// records that are not well-formed.

#include "client/RecordReader.h"

#include "support/RecordLines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using CLines = std::vector<std::string>;

/// A shell with every member set, escapes in its texts.
SPluginRecord Sample()
{
    SPluginRecord record;
    record.id = 0x41626364;
    record.name = "Bass \"Pro\"/2 \\ \b\t\n\f\r\x1F\x7F Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB9 {}:,";
    record.vendor = "Vostrel";
    record.product = "Bass";
    record.version = "1.2.0";
    record.error = "none";
    record.numInputs = -3;
    record.numOutputs = 2147483647;
    record.wantsMidi = record.audio64 = record.synthEdit = true;
    record.category = 10;
    record.shells = {{0x5A5A0001u, "Strings \"Ensemble\""}, {0xFFFFFFFFu, ""}, {0x12ABu, "Piano/Keys"}};
    return record;
}

bool Read(const CLines& lines, SPluginRecord& record, std::string& error)
{
    CRecordReader reader;
    for (const std::string& line : lines)
        reader.AddLine(line);
    return reader.Parse(record, error);
}

/// Sample's lines with the line holding from changed to to (from empty: removed).
CLines Changed(const std::string& from, const std::string& to, SPluginRecord record = Sample())
{
    CLines lines = record_lines::Lines(record);
    for (std::string& line : lines) {
        const std::size_t at = line.find(from);
        if (at != std::string::npos) {
            line.replace(at, from.size(), to);
            break;
        }
    }
    return lines;
}

TEST(RecordReader, ReadsWhatTheServerWrites)
{
    SPluginRecord plain = Sample();
    plain.category = -1;
    plain.shells.clear();
    SPluginRecord emptyShell = Sample();
    emptyShell.shells.clear();
    SPluginRecord extremes;
    extremes.id = 0xFFFFFFFFu;
    extremes.category = INT32_MIN;
    for (const SPluginRecord& record : {Sample(), plain, emptyShell, extremes}) {
        SPluginRecord read;
        std::string error;
        ASSERT_TRUE(Read(record_lines::Lines(record), read, error)) << error;
        EXPECT_EQ(record, read) << record.name;
    }
}

TEST(RecordReader, ReadsOtherSpellingsAndIgnoresWhatItDoesNotKnow)
{
    const CLines cases[] = {
        Changed("\"41626364\"", "\"abcd\""),
        Changed("\\u00e9", "\\u00E9"),
        Changed("\"synthEdit\": true,", "\"synthEdit\": true, \"future\": [1, {\"a\": null}],"),
    };
    for (const CLines& lines : cases) {
        CLines after = lines;
        after.push_back("  \"name\": \"after the end\",");
        SPluginRecord read;
        std::string error;
        ASSERT_TRUE(Read(after, read, error)) << error;
        EXPECT_EQ(Sample().name, read.name);
    }
}

TEST(RecordReader, RejectsRecordsThatAreNotWellFormed)
{
    const CLines cut = record_lines::Lines(Sample());
    const CLines cases[] = {
        Changed("\"name\":", "\"nome\":"),
        Changed("\"synthEdit\": true,", "\"synthEdit\": true,,"),
        Changed("\"41626364\"", "\"0000000G\""),
        Changed("\"41626364\"", "\"123456789\""),
        Changed("\"41626364\"", "12"),
        Changed("-3,", "2147483648,"),
        Changed("-3,", "\"2\","),
        Changed("-3,", "1e400,"),
        Changed("\"wantsMidi\":  true", "\"wantsMidi\":  1"),
        Changed("\"vendor\":    \"Vostrel\",", "\"vendor\":    \"Vostrel,"),
        Changed("\"Vostrel\"", "\"Vo\tstrel\""),
        Changed("\"5A5A0001\"", "\"XYZ\""),
        Changed("\\ud83c", "\\ud83d\\ud83d"),
        CLines(cut.begin(), cut.end() - 1),
        {},
    };
    for (const CLines& lines : cases) {
        SPluginRecord record;
        record.name = "untouched";
        std::string error;
        EXPECT_FALSE(Read(lines, record, error)) << (lines.empty() ? "" : lines[2]);
        EXPECT_FALSE(error.empty());
        EXPECT_EQ("untouched", record.name);
    }
}

TEST(RecordReader, TellsCompletionOnlyAtTheClosingLine)
{
    const CLines lines = record_lines::Lines(Sample());
    CRecordReader reader;
    EXPECT_FALSE(reader.HasStarted());
    for (std::size_t index = 0; index + 1 < lines.size(); ++index) {
        EXPECT_FALSE(reader.AddLine(lines[index])) << index;
        EXPECT_TRUE(reader.HasStarted());
    }
    EXPECT_TRUE(reader.AddLine("}"));
    EXPECT_TRUE(reader.IsComplete());
}

} // namespace
