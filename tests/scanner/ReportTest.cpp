// What the scanner prints: durations, the progress bar and plain lines, the
// table, problems, summary, duplicate ids, the exit code and the JSON results.

#include "scanner/DuplicateIds.h"
#include "scanner/ProgressText.h"
#include "scanner/ResultsReport.h"
#include "scanner/TextColumns.h"

#include "client/ClientTestSupport.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using CStrings = std::vector<std::string>;

const SFileStamp kStamp{10, 20};

TEST(Report, DurationsAndRemainingTime)
{
    struct SCase {
        double seconds;
        const char* text;
    };
    const SCase cases[] = {{0, "0:00"},       {-5, "0:00"},       {1, "0:01"},        {7.9, "0:07"},       {65, "1:05"},
                           {3599, "59:59"},   {3600, "1:00:00"},  {3723, "1:02:03"},   {360000, "100:00:00"}};
    for (const SCase& c : cases)
        EXPECT_EQ(c.text, FormatDuration(c.seconds)) << c.seconds;

    SProgressState state;
    state.total = 10;
    state.elapsedSeconds = 8;
    EXPECT_LT(RemainingSeconds(state), 0);
    state.done = 4;
    EXPECT_DOUBLE_EQ(12.0, RemainingSeconds(state));
    state.done = 10;
    EXPECT_DOUBLE_EQ(0.0, RemainingSeconds(state));
}

TEST(Report, ProgressBarFitsItsWidth)
{
    SProgressState state;
    state.done = 3;
    state.total = 12;
    state.elapsedSeconds = 4;
    state.running = {"C:\\VST\\Gain.dll", "C:\\VST\\Shell.dll>54734931"};
    EXPECT_EQ("[#####...............] 3/12  0:04 elapsed  ~0:12 left  Gain.dll, Shell.dll>54734931",
              FormatProgressBar(state, 200));
    state.dialogs = {"Licence Check"};
    const std::string withWindow = FormatProgressBar(state, 200);
    EXPECT_NE(std::string::npos, withWindow.find("[window 'Licence Check']")) << withWindow;
    for (std::size_t width : {10u, 40u, 79u}) {
        const std::string bar = FormatProgressBar(state, width);
        EXPECT_EQ(width, DisplayWidth(bar)) << bar;
        EXPECT_EQ("...", bar.substr(bar.size() - 3)) << bar;
    }
    state.done = 0;
    state.total = 0;
    state.running.clear();
    state.dialogs.clear();
    EXPECT_EQ("[####################] 0/0  0:04 elapsed  ~?:?? left", FormatProgressBar(state, 200));
}

TEST(Report, FittingTextNeverSplitsACharacter)
{
    struct SCase {
        std::string text;
        std::size_t width;
        std::string fitted;
    };
    const SCase cases[] = {
        {"Gain", 10, "Gain"},
        {"Tessivane Gain", 10, "Tessiva..."},
        {"Caf\xC3\xA9 Chorus Deluxe", 8, "Caf\xC3\xA9 ..."},
        {"\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC", 4, "\xE2\x82\xAC..."},
        {"abcdef", 2, ".."},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(c.fitted, FitWidth(c.text, c.width)) << c.text;
    EXPECT_EQ("Plug.dll", FileNameOf("Z:\\a/b\\Plug.dll"));
}

TEST(Report, PlainLinesForFinishedRequests)
{
    const SScanOutcome crash =
        ProblemOutcome(EOutcome::Crashed, "the scan server crashed (exit code 9)", {"C:\\d\\x.mdmp", "C:\\d\\y.mdmp"});
    struct SCase {
        SDatabaseEntry entry;
        bool retried;
        const char* line;
    };
    const SCase cases[] = {
        {Entry("C:\\VST\\S.dll", kStamp, ScannedOutcome(1, "Sub"), 1), false,
         "[3/12] scanned       C:\\VST\\S.dll>00000001: Sub (00000001)"},
        {Entry("C:\\VST\\Crash.dll", kStamp, crash), true,
         "[3/12] crashed       C:\\VST\\Crash.dll: the scan server crashed (exit code 9); dumps C:\\d\\x.mdmp, "
         "C:\\d\\y.mdmp (second attempt after a crash)"},
        {Entry("C:\\VST\\T.dll", kStamp, ProblemOutcome(EOutcome::NotPlugin, "not a library")), false,
         "[3/12] not a plug-in C:\\VST\\T.dll: not a library"},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(c.line, FormatFinishedLine(c.entry, 3, 12, c.retried));
}

/// A database with a shell, an effect, a crash and a text file.
CScanDatabase ReportDatabase()
{
    CScanDatabase database;
    SScanOutcome shell = ScannedOutcome(0x54734953, "Tessivane Instrument Shell",
                                        {{0x54734932, "Tessivane Brass"}, {0x54734931, "Tessivane Strings"}});
    database.Put(Entry("C:\\VST\\Shell.dll", kStamp, shell));
    database.Put(Entry("C:\\VST\\Shell.dll", kStamp, ScannedOutcome(0x54734931, "Tessivane Strings"), 0x54734931));
    database.Put(Entry("C:\\VST\\Shell.dll", kStamp, ScannedOutcome(0x54734932, "Tessivane Brass"), 0x54734932));
    SScanOutcome gain = ScannedOutcome(0x5473476E, "Tessivane Gain");
    gain.record.category = 0;
    SDatabaseEntry gainEntry = Entry("C:\\VST\\Gain.dll", kStamp, gain);
    gainEntry.scannedThisRun = true;
    database.Put(gainEntry);
    SScanOutcome crash = ProblemOutcome(EOutcome::Crashed, "the scan server crashed (exit code 9)", {"C:\\d\\x.mdmp"});
    crash.platform = "x86";
    database.Put(Entry("C:\\VST\\Crash.dll", kStamp, crash));
    database.Put(Entry("C:\\VST\\Text.dll", kStamp, ProblemOutcome(EOutcome::NotPlugin, "not a library")));
    return database;
}

const std::vector<SLibraryFile> kWalked = {{"C:\\VST\\Shell.dll", kStamp},
                                           {"C:\\VST\\Gain.dll", kStamp},
                                           {"C:\\VST\\Crash.dll", kStamp},
                                           {"C:\\VST\\Text.dll", kStamp}};

TEST(Report, TableListsCoveredEntriesInWalkOrderWithSubPluginsInShellOrder)
{
    const CScanDatabase database = ReportDatabase();
    const std::vector<const SDatabaseEntry*> entries = CoveredEntries(database, kWalked);
    EXPECT_EQ((CStrings{"C:\\VST\\Shell.dll", "C:\\VST\\Shell.dll>54734932", "C:\\VST\\Shell.dll>54734931",
                        "C:\\VST\\Gain.dll", "C:\\VST\\Crash.dll", "C:\\VST\\Text.dll"}),
              Requests(entries));
    const std::string expected =
        "Outcome        Id    Name                        Vendor            Version  Category  In/Out  Platform  Library\n"
        "scanned        TsIS  Tessivane Instrument Shell  Vostrel Software  1.0.0.0  shell     0/2     x64       Shell.dll\n"
        "scanned        TsI2    Tessivane Brass           Vostrel Software  1.0.0.0  effect    0/2     x64       "
        "Shell.dll>54734932\n"
        "scanned        TsI1    Tessivane Strings         Vostrel Software  1.0.0.0  effect    0/2     x64       "
        "Shell.dll>54734931\n"
        "scanned        TsGn  Tessivane Gain              Vostrel Software  1.0.0.0  unknown   0/2     x64       Gain.dll\n"
        "crashed        -     -                           -                 -        -         -       x86       Crash.dll\n"
        "not a plug-in  -     -                           -                 -        -         -       -         Text.dll\n";
    EXPECT_EQ(expected, FormatResultsTable(entries));
    EXPECT_EQ("-", CategoryName(-1)) << "the record's category when no effect answered";

    // A large collection's table comes in pieces of whole lines, the same rows.
    const std::size_t repeats = 1000;
    std::vector<const SDatabaseEntry*> many;
    for (std::size_t repeat = 0; repeat < repeats; ++repeat)
        many.insert(many.end(), entries.begin(), entries.end());
    const std::size_t headerEnd = expected.find('\n') + 1;
    std::string manyExpected = expected.substr(0, headerEnd);
    for (std::size_t repeat = 0; repeat < repeats; ++repeat)
        manyExpected += expected.substr(headerEnd);
    std::vector<std::string> pieces;
    WriteResultsTable(many, [&pieces](const std::string& piece) { pieces.push_back(piece); });
    EXPECT_GT(pieces.size(), 2u);
    std::string joined;
    for (const std::string& piece : pieces) {
        EXPECT_EQ('\n', piece.back()) << "a piece ends with a whole line";
        joined += piece;
    }
    EXPECT_EQ(manyExpected, joined);
}

TEST(Report, ProblemsSummaryAndExitCode)
{
    const CScanDatabase database = ReportDatabase();
    const std::vector<const SDatabaseEntry*> entries = CoveredEntries(database, kWalked);
    const std::vector<SPathProblem> missing = {{"C:\\VST\\Gone.dll", "not found"}};
    EXPECT_EQ("  C:\\VST\\Crash.dll: the scan server crashed (exit code 9); dump C:\\d\\x.mdmp\n"
              "  C:\\VST\\Text.dll: not a library\n"
              "  C:\\VST\\Gone.dll: not found\n",
              FormatProblems(entries, missing));

    // The exit codes are the scanner's interface: spelled out, not named.
    EXPECT_EQ(1, ResultsExitCode(entries, {}));
    EXPECT_EQ(1, ResultsExitCode({entries[0]}, missing));
    EXPECT_EQ(0, ResultsExitCode({entries[0], entries[1], entries[5]}, {})) << "not a plug-in is no problem";

    SRunSummary summary;
    summary.finished[static_cast<std::size_t>(EOutcome::Scanned)] = 4;
    summary.finished[static_cast<std::size_t>(EOutcome::Crashed)] = 1;
    summary.finished[static_cast<std::size_t>(EOutcome::TimedOut)] = 1;
    summary.finished[static_cast<std::size_t>(EOutcome::NotPlugin)] = 2;
    summary.skipped = 3;
    summary.pathProblems = 1;
    summary.elapsedSeconds = 12.5;
    summary.servers = 2;
    EXPECT_EQ("Scanned 8 requests in 0:12 with 2 servers: 4 scanned, 1 crashed, 1 timed out, 2 not plug-ins; "
              "3 unchanged skipped; "
              "1 not found.\n",
              FormatSummary(summary));
    EXPECT_EQ("Scanned 0 requests in 0:00; 0 unchanged skipped.\n", FormatSummary(SRunSummary()));
    SRunSummary interrupted;
    interrupted.interrupted = true;
    EXPECT_EQ("Scanned 0 requests in 0:00; 0 unchanged skipped; interrupted, the rest is scanned by the next run.\n",
              FormatSummary(interrupted));
}

TEST(Report, DuplicateIdsAcrossDifferentPlugins)
{
    CScanDatabase database;
    database.Put(Entry("C:\\A\\Gain.dll", kStamp, ScannedOutcome(0x5473476E, "Gain A")));
    database.Put(Entry("C:\\B\\Gain.dll", kStamp, ScannedOutcome(0x5473476E, "Gain B")));
    // " ABC" reads badly with its leading space: the id is shown in hexadecimal.
    database.Put(Entry("C:\\S.dll", kStamp, ScannedOutcome(0x20414243, "Shell", {{0x20414243, "Sub"}})));
    database.Put(Entry("C:\\S.dll", kStamp, ScannedOutcome(0x20414243, "Sub"), 0x20414243));
    database.Put(Entry("C:\\Unique.dll", kStamp, ScannedOutcome(0x55, "Unique")));
    SScanOutcome failed = ScannedOutcome(0x55, "Failed with the same id");
    failed.kind = EOutcome::Failed;
    database.Put(Entry("C:\\Failed.dll", kStamp, failed));
    database.Put(Entry("C:\\VST\\Synth.dll", kStamp, ScannedOutcome(0x77, "Synth")));
    SScanOutcome synth32 = ScannedOutcome(0x77, "Synth");
    synth32.platform = synth32.record.platform = "x86";
    database.Put(Entry("C:\\VST32\\Synth.dll", kStamp, synth32));

    const std::vector<SDuplicateId> duplicates = FindDuplicateIds(database.Entries());
    EXPECT_EQ("Unique id 00000077 of the x64 and x86 builds of Synth: no conflict, a host loads the x64 build "
              "C:\\VST\\Synth.dll\n"
              "Duplicate unique id 20414243:\n"
              "  Shell  C:\\S.dll\n"
              "  Sub  C:\\S.dll>20414243\n"
              "Duplicate unique id TsGn (5473476E):\n"
              "  Gain A  C:\\A\\Gain.dll\n"
              "  Gain B  C:\\B\\Gain.dll\n",
              FormatDuplicateIds(duplicates));
    EXPECT_EQ("", FormatDuplicateIds({}));

    // Copies of one plug-in make a block too long to write at once: it comes in
    // pieces of whole lines that add up to the same text.
    for (int copy = 0; copy < 3000; ++copy)
        database.Put(Entry("C:\\Copies\\Gain" + std::to_string(copy) + ".dll", kStamp,
                           ScannedOutcome(0x5473476E, "Gain copy")));
    const std::vector<SDuplicateId> many = FindDuplicateIds(database.Entries());
    std::vector<std::string> pieces;
    WriteDuplicateIds(many, [&pieces](const std::string& piece) { pieces.push_back(piece); });
    EXPECT_LT(1u, pieces.size());
    std::string joined;
    for (const std::string& piece : pieces) {
        EXPECT_EQ('\n', piece.back());
        joined += piece;
    }
    EXPECT_EQ(FormatDuplicateIds(many), joined);
    EXPECT_NE(std::string::npos, joined.find("  Gain copy  C:\\Copies\\Gain2999.dll\n"));
}

TEST(Report, JsonResultsHoldEveryEntryAndTheRest)
{
    const CScanDatabase database = ReportDatabase();
    const std::vector<const SDatabaseEntry*> entries = CoveredEntries(database, kWalked);
    SRunSummary summary;
    summary.finished[static_cast<std::size_t>(EOutcome::Scanned)] = 1;
    summary.skipped = 5;
    summary.pathProblems = 1;
    summary.database = "C:\\db.json";
    const std::string text = FormatResultsJson(entries, {{"C:\\VST\\Gone.dll", "not found"}},
                                               FindDuplicateIds(entries), summary);
    const nlohmann::json json = nlohmann::json::parse(text);
    EXPECT_EQ("C:\\db.json", json["database"]);
    ASSERT_EQ(6u, json["results"].size());
    EXPECT_EQ("54734932", json["results"][1]["subId"]);
    EXPECT_EQ(false, json["results"][0]["thisRun"]);
    EXPECT_EQ(true, json["results"][3]["thisRun"]);
    EXPECT_EQ("crashed", json["results"][4]["outcome"]);
    EXPECT_EQ("C:\\d\\x.mdmp", json["results"][4]["dumps"][0]);
    EXPECT_EQ("C:\\VST\\Gone.dll", json["notFound"][0]["path"]);
    EXPECT_TRUE(json["duplicates"].empty());
    EXPECT_EQ(1, json["summary"]["scanned"]);
    EXPECT_EQ(1, json["summary"]["notFound"]);
}

} // namespace
