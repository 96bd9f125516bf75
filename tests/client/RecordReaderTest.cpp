// The host's readers against the exact lines the server writes (the one record
// generator): the record reader (every member, escapes, sub-plug-ins, records
// that are not well-formed) and one request's answer (what ends it, what
// outcome it gives, what a crash or a hang reports).

#include "client/AnswerReader.h"
#include "client/LineSplitter.h"
#include "client/RecordReader.h"
#include "client/ScanClient.h"

#include "support/RecordLines.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
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

/// Sample's lines with the first from changed to to.
CLines Changed(const std::string& from, const std::string& to)
{
    CLines lines = record_lines::Lines(Sample());
    for (std::string& line : lines)
        if (line.find(from) != std::string::npos)
            return line.replace(line.find(from), from.size(), to), lines;
    return lines;
}

TEST(RecordReader, ReadsWhatTheServerWritesAndRejectsWhatIsNotARecord)
{
    SPluginRecord emptyShell = Sample();
    emptyShell.shells.clear();
    SPluginRecord extremes;
    extremes.id = 0xFFFFFFFFu;
    extremes.category = INT32_MIN;
    extremes.sendsMidi = true;
    SPluginRecord shortId = Sample();
    shortId.id = 0xABCD;
    const std::pair<CLines, SPluginRecord> accepted[] = {
        {record_lines::Lines(Sample()), Sample()},
        {record_lines::Lines(emptyShell), emptyShell},
        {record_lines::Lines(extremes), extremes},
        {Changed("\"41626364\"", "\"abCD\""), shortId},
        {Changed("\\u00e9", "\\u00E9"), Sample()},
        {Changed("\"synthEdit\": true,", "\"synthEdit\": true, \"future\": [1, {\"a\": null}],"), Sample()},
    };
    for (const auto& c : accepted) {
        CRecordReader reader;
        EXPECT_FALSE(reader.HasStarted());
        for (std::size_t index = 0; index < c.first.size(); ++index)
            EXPECT_EQ(index + 1 == c.first.size(), reader.AddLine(c.first[index])) << "only the closing line ends it";
        reader.AddLine("  \"name\": \"after the end\",");
        SPluginRecord read;
        std::string error;
        ASSERT_TRUE(reader.Parse(read, error)) << error;
        EXPECT_EQ(c.second, read) << c.second.name;
    }
    const CLines cut = record_lines::Lines(Sample());
    const CLines rejected[] = {
        Changed("\"name\":", "\"nome\":"),
        Changed("\"synthEdit\": true,", "\"synthEdit\": true,,"),
        Changed("\"41626364\"", "\"0000000G\""),
        Changed("\"41626364\"", "\"123456789\""),
        Changed("\"41626364\"", "\"\""),
        Changed("\"41626364\"", "12"),
        Changed("-3,", "2147483648,"),
        Changed("-3,", "\"2\","),
        Changed("-3,", "1e400,"),
        Changed("\"wantsMidi\":  true", "\"wantsMidi\":  1"),
        Changed("\"vendor\":    \"Vostrel\",", "\"vendor\":    \"Vostrel,"),
        Changed("\"Vostrel\"", "\"Vo\tstrel\""),
        Changed("\"5A5A0001\"", "\"XYZ\""),
        Changed("\"5A5A0001\": \"Strings", "\"5A5A0001\": 7, \"x\": \"Strings"),
        Changed("\\ud83c", "\\ud83d\\ud83d"),
        CLines(cut.begin(), cut.end() - 1),
        {},
    };
    for (const CLines& lines : rejected) {
        CRecordReader reader;
        for (const std::string& line : lines)
            reader.AddLine(line);
        SPluginRecord record;
        record.name = "untouched";
        std::string error;
        EXPECT_FALSE(reader.Parse(record, error)) << (lines.empty() ? "" : lines[2]);
        EXPECT_FALSE(error.empty());
        EXPECT_EQ("untouched", record.name);
    }
}

TEST(RecordReader, RecordsThatDifferInAnyMemberAreNotEqual)
{
    using FChange = void (*)(SPluginRecord&);
    const FChange changes[] = {
        [](SPluginRecord& r) { r.id ^= 1; },          [](SPluginRecord& r) { r.name += "x"; },
        [](SPluginRecord& r) { r.vendor += "x"; },    [](SPluginRecord& r) { r.product += "x"; },
        [](SPluginRecord& r) { r.version += "x"; },   [](SPluginRecord& r) { r.error += "x"; },
        [](SPluginRecord& r) { r.numInputs ^= 1; },      [](SPluginRecord& r) { r.numOutputs ^= 1; },
        [](SPluginRecord& r) { r.wantsMidi ^= true; }, [](SPluginRecord& r) { r.sendsMidi ^= true; },
        [](SPluginRecord& r) { r.platform += "x"; },  [](SPluginRecord& r) { r.audio64 ^= true; },
        [](SPluginRecord& r) { r.category ^= 1; },       [](SPluginRecord& r) { r.synthEdit ^= true; },
        [](SPluginRecord& r) { r.shells.pop_back(); },
    };
    for (const FChange change : changes) {
        SPluginRecord other = Sample();
        change(other);
        EXPECT_FALSE(Sample() == other) << HexId(other.id) << " " << other.name;
    }
}

TEST(LineSplitter, JoinsLinesCutAcrossReadsAndKeepsTheUnfinishedOne)
{
    CLineSplitter splitter;
    CLines lines;
    splitter.Feed("info:a\ninf", 10, lines);
    splitter.Feed("o:b\n\nwarn:cXYZ", 11, lines);
    EXPECT_EQ((CLines{"info:a", "info:b", ""}), lines);
    EXPECT_EQ("warn:c", splitter.GetPending());
}

TEST(AnswerReader, OnlyTheReadyMarkerEndsAnAnswer)
{
    SPluginRecord record;
    record.name = "Tessivane Gain";
    CLines scanned = {"info:Scanning plugin: 'C:\\VST\\Gain.dll'"};
    CLines failed = {"error:Failed to load library, err=126"};
    for (const std::string& line : record_lines::Lines(record))
        scanned.push_back(">:" + line);
    const CLines cut(scanned.begin(), scanned.end() - 1);
    scanned.insert(scanned.end(), {"info:ready:", "ready", "ready: ", ">:ready:", "", "ready:x"});
    record.error = "Failed to load library, err=126";
    for (const std::string& line : record_lines::Lines(record))
        failed.push_back(">:" + line);
    struct SCase {
        CLines lines;
        EOutcome kind;
        bool hasRecord;
        std::string error;
    };
    const SCase cases[] = {
        {scanned, EOutcome::Scanned, true, ""},
        {failed, EOutcome::Failed, true, "Failed to load library, err=126"},
        {{"info:Loading library..."}, EOutcome::Failed, false, "the server answered without a record"},
        {cut, EOutcome::Failed, false, "the record is incomplete"},
    };
    for (const SCase& c : cases) {
        CAnswerReader reader(SScanClientOptions().keptLines);
        for (const std::string& line : c.lines)
            EXPECT_FALSE(reader.AddLine(line)) << line;
        ASSERT_TRUE(reader.AddLine("ready:"));
        const SScanOutcome outcome = reader.Answered();
        EXPECT_EQ(c.kind, outcome.kind) << c.error;
        EXPECT_EQ(c.hasRecord, outcome.hasRecord) << c.error;
        EXPECT_EQ(c.error, outcome.error);
        EXPECT_EQ(c.hasRecord ? "Tessivane Gain" : "", outcome.record.name);
    }
}

TEST(AnswerReader, CrashAndTimeOutReportTheirCauseAndTheLastLines)
{
    const CLines lines = {"info:Loading library...", "info:Found VSTPluginMain()", "info:Calling entry point..."};
    const CLines lastTwo(lines.end() - 2, lines.end());
    const CLines dumps = {"C:\\dumps\\1.mdmp"};
    CAnswerReader reader(2);
    for (const std::string& line : lines)
        reader.AddLine(line);
    const std::pair<uint32_t, const char*> crashes[] = {
        {9, "the scan server crashed (exit code 9)"},
        {77, "the scan server ended unexpectedly (exit code 77)"},
        {0xFFFF, "the scan server ended unexpectedly (exit code 65535)"},
        {0x10000, "the scan server ended unexpectedly (exit code 0x00010000)"},
        {0xC0000005u, "the scan server ended unexpectedly (exit code 0xC0000005)"},
    };
    for (const auto& c : crashes) {
        const SScanOutcome outcome = reader.Crashed(c.first, dumps[0]);
        EXPECT_EQ(EOutcome::Crashed, outcome.kind);
        EXPECT_EQ(c.first, outcome.exitCode);
        EXPECT_EQ(c.second, outcome.error);
        EXPECT_EQ(dumps, outcome.dumpFiles);
        EXPECT_EQ(lastTwo, outcome.lastLines);
    }
    const std::pair<CLines, const char*> hangs[] = {
        {{}, "no answer for 30 s; the scan server was stopped"},
        {{"Licence"}, "no answer for 30 s; the scan server was stopped (it showed 'Licence')"},
        {{"A", "B"}, "no answer for 30 s; the scan server was stopped (it showed 'A', 'B')"},
    };
    for (const auto& c : hangs) {
        const SScanOutcome outcome = reader.TimedOut(30000, c.first);
        EXPECT_EQ(EOutcome::TimedOut, outcome.kind);
        EXPECT_EQ(c.second, outcome.error);
        EXPECT_EQ(c.first, outcome.dialogs);
        EXPECT_EQ(lastTwo, outcome.lastLines);
    }
    EXPECT_EQ("no answer for 1.5 s; the scan server was stopped", reader.TimedOut(1500, {}).error);
}

} // namespace
