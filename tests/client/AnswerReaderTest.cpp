// One request's answer: which lines end it, what outcome it gives, and what a
// crash or a hang reports.

#include "client/AnswerReader.h"

#include "support/RecordLines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using CLines = std::vector<std::string>;

/// The record of Tessivane Gain as the server's ">:" lines, with the given error.
CLines RecordLines(const std::string& error)
{
    SPluginRecord record;
    record.name = "Tessivane Gain";
    record.error = error;
    CLines lines;
    for (const std::string& line : record_lines::Lines(record))
        lines.push_back(">:" + line);
    return lines;
}

/// Feeds the lines and then "ready:"; returns whether only "ready:" ended the answer.
bool Feed(CAnswerReader& reader, const CLines& lines)
{
    for (const std::string& line : lines)
        if (reader.AddLine(line))
            return false;
    return reader.AddLine("ready:");
}

TEST(AnswerReader, OutcomeOfACompleteAnswer)
{
    struct SCase {
        const char* label;
        CLines lines;
        EOutcome kind;
        bool hasRecord;
        std::string error;
    };
    CLines withLog = {"info:Scanning plugin: 'C:\\VST\\Gain.dll'", "info:Loading library...",
                      "info:Calling entry point..."};
    CLines scanned = withLog;
    for (const std::string& line : RecordLines(""))
        scanned.push_back(line);
    CLines failed = {"info:Scanning plugin: 'C:\\VST\\Gone.dll'", "error:Failed to load library, err=126"};
    for (const std::string& line : RecordLines("Failed to load library, err=126"))
        failed.push_back(line);
    CLines cut = RecordLines("");
    cut.pop_back();
    const SCase cases[] = {
        {"a record without error", scanned, EOutcome::Scanned, true, ""},
        {"a record with an error", failed, EOutcome::Failed, true, "Failed to load library, err=126"},
        {"no record at all", withLog, EOutcome::Failed, false, "the server answered without a record"},
        {"a record cut short", cut, EOutcome::Failed, false, "the record is incomplete"},
    };
    for (const SCase& c : cases) {
        CAnswerReader reader;
        ASSERT_TRUE(Feed(reader, c.lines)) << c.label;
        const SScanOutcome outcome = reader.Answered();
        EXPECT_EQ(c.kind, outcome.kind) << c.label;
        EXPECT_EQ(c.hasRecord, outcome.hasRecord) << c.label;
        EXPECT_EQ(c.error, outcome.error) << c.label;
        if (c.hasRecord) {
            EXPECT_EQ("Tessivane Gain", outcome.record.name) << c.label;
        }
    }
}

TEST(AnswerReader, OnlyTheReadyMarkerEndsTheAnswer)
{
    const CLines notEnding = {"ready", "ready: ", "info:ready:", ">:ready:", "", "ready:x"};
    CAnswerReader reader;
    for (const std::string& line : notEnding)
        EXPECT_FALSE(reader.AddLine(line)) << line;
    EXPECT_TRUE(reader.AddLine("ready:"));
}

TEST(AnswerReader, CrashReportsExitCodeDumpAndTheLastLines)
{
    CAnswerReader reader(3);
    const CLines lines = {"info:Scanning plugin: 'C:\\VST\\Crash.dll'", "info:Loading library...",
                          "info:Looking for entry point in module 00000000ABCD0000", "info:Found VSTPluginMain()",
                          "info:Calling entry point..."};
    for (const std::string& line : lines)
        ASSERT_FALSE(reader.AddLine(line));
    struct SCase {
        uint32_t exitCode;
        const char* error;
    };
    const SCase cases[] = {
        {9, "the scan server crashed (exit code 9)"},
        {77, "the scan server ended unexpectedly (exit code 77)"},
        {0xC0000005u, "the scan server ended unexpectedly (exit code 0xC0000005)"},
    };
    for (const SCase& c : cases) {
        const SScanOutcome outcome = reader.Crashed(c.exitCode, "C:\\dumps\\ScanServer-x64-2024-03-07-09-05-01.mdmp");
        EXPECT_EQ(EOutcome::Crashed, outcome.kind);
        EXPECT_EQ(c.exitCode, outcome.exitCode);
        EXPECT_EQ(c.error, outcome.error);
        EXPECT_EQ(CLines{"C:\\dumps\\ScanServer-x64-2024-03-07-09-05-01.mdmp"}, outcome.dumpFiles);
        EXPECT_EQ(CLines(lines.end() - 3, lines.end()), outcome.lastLines);
        EXPECT_FALSE(outcome.hasRecord);
    }
}

TEST(AnswerReader, TimeOutNamesTheSilenceAndTheWindows)
{
    CAnswerReader reader;
    reader.AddLine("info:Calling entry point...");
    struct SCase {
        uint32_t silenceMs;
        std::vector<std::string> dialogs;
        const char* error;
    };
    const SCase cases[] = {
        {2000, {}, "no answer for 2 s; the scan server was stopped"},
        {30000, {}, "no answer for 30 s; the scan server was stopped"},
        {1500, {"Fixture Licence Check"}, "no answer for 1.5 s; the scan server was stopped (it showed 'Fixture Licence Check')"},
        {2000, {"A", "B"}, "no answer for 2 s; the scan server was stopped (it showed 'A', 'B')"},
    };
    for (const SCase& c : cases) {
        const SScanOutcome outcome = reader.TimedOut(c.silenceMs, c.dialogs);
        EXPECT_EQ(EOutcome::TimedOut, outcome.kind);
        EXPECT_EQ(c.error, outcome.error);
        EXPECT_EQ(c.dialogs, outcome.dialogs);
        EXPECT_EQ(CLines{"info:Calling entry point..."}, outcome.lastLines);
    }
}

} // namespace
