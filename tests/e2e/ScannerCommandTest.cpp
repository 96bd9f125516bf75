// PluginScanner.exe end to end: a folder of good and bad plug-ins, the
// incremental rules across runs, resuming after the scanner is killed, parallel
// servers, dialogs, and the command line's exit codes.

#include "client/WideTextWin.h"
#include "e2e/ScannerHarness.h"
#include "e2e/ServerHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using CStrings = std::vector<std::string>;
using CJson = nlohmann::json;

/// The results of a --json run by request ("path" or "path>XXXXXXXX").
std::map<std::string, CJson> ResultsByRequest(const CJson& document)
{
    std::map<std::string, CJson> results;
    for (const CJson& item : document["results"]) {
        std::string request = item["path"].get<std::string>();
        if (item.contains("subId"))
            request += ">" + item["subId"].get<std::string>();
        EXPECT_EQ(0u, results.count(request)) << "one entry per plug-in: " << request;
        results[request] = item;
    }
    return results;
}

/// The requests the run scanned (not taken from an earlier run).
std::set<std::string> ScannedThisRun(const CJson& document)
{
    std::set<std::string> scanned;
    for (const auto& item : ResultsByRequest(document))
        if (item.second["thisRun"].get<bool>())
            scanned.insert(item.first);
    return scanned;
}

CJson ParseOutput(const SScannerRun& run)
{
    const CJson document = CJson::parse(run.out, nullptr, false);
    EXPECT_FALSE(document.is_discarded()) << run.out << run.err;
    return document;
}

/// The database's entries without what differs from one scan to the next.
CJson StableEntries(const CJson& database)
{
    CJson entries = database["plugins"];
    for (CJson& entry : entries) {
        entry.erase("scannedAt");
        entry.erase("lastLines");
        entry.erase("dumps");
    }
    return entries;
}

/// A folder holding the three samples (Gain, Pad, the instrument shell).
std::string SampleFolder(const std::string& prefix)
{
    const std::string folder = MakeTemporaryFolder(prefix);
    for (const char* sample : {"TessivaneGain.dll", "TessivanePad.dll", "TessivaneInstrumentShell.dll"})
        CopyFileTo(FixturePath(sample, true), folder, sample);
    return folder;
}

TEST(ScannerCommand, AMixedFolderGivesExactlyOneOutcomePerPath)
{
    const std::string folder = SampleFolder("scanner-mixed");
    CopyFileTo(FixturePath("CrashInEntry.dll"), folder, "CrashInEntry.dll");
    CopyFileTo(FixturePath("HangInEntry.dll"), folder, "HangInEntry.dll");
    WriteBytes(folder + "\\Noise.dll", std::string(3000, '\x17'));
    WriteBytes(folder + "\\Readme.dll", "Not a library, just text.\n");
    WriteBytes(folder + "\\Notes.txt", "not a library name: not scanned");
    const std::string missing = folder + "\\Missing.dll";
    const std::string database = folder + "\\db.json";

    const SScannerRun run = RunScanner({"scan", folder, missing, "--db", database, "--timeout", "2", "--json"});
    EXPECT_EQ(1u, run.exitCode) << run.err;
    const CJson document = ParseOutput(run);
    std::map<std::string, CJson> results = ResultsByRequest(document);
    const std::string shell = folder + "\\TessivaneInstrumentShell.dll";
    const std::map<std::string, std::string> expected = {
        {folder + "\\CrashInEntry.dll", "crashed"},
        {folder + "\\HangInEntry.dll", "timedOut"},
        {folder + "\\Noise.dll", "notPlugin"},
        {folder + "\\Readme.dll", "notPlugin"},
        {folder + "\\TessivaneGain.dll", "scanned"},
        {shell, "scanned"},
        {shell + ">54734931", "scanned"},
        {shell + ">54734932", "scanned"},
        {shell + ">54734933", "scanned"},
        {folder + "\\TessivanePad.dll", "scanned"},
    };
    std::map<std::string, std::string> outcomes;
    for (const auto& result : results)
        outcomes[result.first] = result.second["outcome"].get<std::string>();
    EXPECT_EQ(expected, outcomes);
    ASSERT_EQ(1u, document["notFound"].size());
    EXPECT_EQ(missing, document["notFound"][0]["path"]);

    const CJson& crash = results[folder + "\\CrashInEntry.dll"];
    EXPECT_EQ(9, crash["exitCode"]);
    // It crashed on both attempts, each in a server of its own.
    ASSERT_EQ(2u, crash["dumps"].size()) << crash.dump(1);
    for (const CJson& listed : crash["dumps"]) {
        const std::string dump = listed.get<std::string>();
        EXPECT_EQ(folder + "\\dumps\\", dump.substr(0, folder.size() + 7)) << dump;
        EXPECT_NE(std::string::npos, dump.find("\\ScanServer-x64-")) << dump;
        EXPECT_TRUE(FileExists(dump)) << dump;
    }
    EXPECT_NE(crash["dumps"][0], crash["dumps"][1]);
    EXPECT_EQ("Tessivane Strings", results[shell + ">54734931"]["record"]["name"]);
    EXPECT_EQ("Vostrel Software", results[folder + "\\TessivanePad.dll"]["record"]["vendor"]);

    // Everything reported is in the database file too.
    const CJson saved = ReadJsonFile(database);
    ASSERT_TRUE(saved.is_object());
    EXPECT_EQ(expected.size(), saved["plugins"].size());
    EXPECT_NE(std::string::npos, run.err.find("(second attempt after a crash)")) << run.err;
}

TEST(ScannerCommand, ASecondRunScansNothingAndATouchedFileAlone)
{
    const std::string folder = SampleFolder("scanner-incremental");
    const std::string database = folder + "\\db.json";
    const std::string pad = folder + "\\TessivanePad.dll";
    const CStrings arguments = {"scan", folder, "--db", database, "--json"};

    const SScannerRun first = RunScanner(arguments);
    ASSERT_EQ(0u, first.exitCode) << first.out << first.err;
    EXPECT_EQ(6u, ScannedThisRun(ParseOutput(first)).size());

    const SScannerRun second = RunScanner(arguments);
    ASSERT_EQ(0u, second.exitCode) << second.err;
    const CJson unchanged = ParseOutput(second);
    EXPECT_EQ(std::set<std::string>{}, ScannedThisRun(unchanged));
    EXPECT_EQ(6u, unchanged["results"].size());
    EXPECT_EQ(6, unchanged["summary"]["skipped"]);

    // A hand-edited entry is left out with a warning and scanned again; the others stand.
    const std::string gain = folder + "\\TessivaneGain.dll";
    CJson edited = ReadJsonFile(database);
    for (CJson& entry : edited["plugins"])
        if (entry["path"] == gain)
            entry["record"]["numOutputs"] = true;
    WriteBytes(database, edited.dump());
    TouchLater(pad);
    const SScannerRun third = RunScanner(arguments);
    ASSERT_EQ(0u, third.exitCode) << third.err;
    EXPECT_EQ((std::set<std::string>{gain, pad}), ScannedThisRun(ParseOutput(third)));
    EXPECT_NE(std::string::npos, third.err.find("warning: the database " + database + " has a damaged entry " + gain +
                                                ": in \"record\", \"numOutputs\" is not an integer"))
        << third.err;

    ASSERT_TRUE(DeleteFileW(WideFromUtf8(pad).c_str()));
    const SScannerRun fourth = RunScanner(arguments);
    ASSERT_EQ(0u, fourth.exitCode) << fourth.err;
    EXPECT_EQ(5u, ParseOutput(fourth)["results"].size());
    const CJson saved = ReadJsonFile(database);
    EXPECT_EQ(5u, saved["plugins"].size()) << "the entry of the deleted file is dropped";
}

TEST(ScannerCommand, AKilledScanResumesWithoutScanningFinishedFilesAgain)
{
    const std::string folder = MakeTemporaryFolder("scanner-resume");
    CopyFileTo(FixturePath("TessivaneGain.dll", true), folder, "A-Gain.dll");
    CopyFileTo(FixturePath("TessivanePad.dll", true), folder, "B-Pad.dll");
    CopyFileTo(FixturePath("HangInEntry.dll"), folder, "C-Hang.dll");
    CopyFileTo(FixturePath("TessivaneInstrumentShell.dll", true), folder, "D-Shell.dll");
    const std::string database = folder + "\\db.json";

    {
        const std::vector<uint32_t> before = ProcessesWithSplash();
        CScannerProcess scanner({"scan", folder, "--db", database, "--jobs", "1", "--timeout", "600"});
        ASSERT_TRUE(scanner.Started());
        // The scanner works through A and B and then waits on C, which hangs;
        // wait until A and B are saved, then kill it.
        std::size_t saved = 0;
        for (int attempt = 0; attempt < 600 && saved < 2; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const CJson document = ReadJsonFile(database);
            saved = document.is_object() ? document["plugins"].size() : 0;
        }
        ASSERT_EQ(2u, saved) << "A and B are saved while C hangs";
        std::vector<uint32_t> servers;
        for (const uint32_t process : ProcessesWithSplash())
            if (std::find(before.begin(), before.end(), process) == before.end())
                servers.push_back(process);
        ASSERT_FALSE(servers.empty()) << "the hanging server shows its splash";
        scanner.Kill();
        for (const uint32_t server : servers)
            EXPECT_TRUE(ProcessEnds(server, 10000)) << "a server outlived its killed scanner: " << server;
    }

    const SScannerRun resumed =
        RunScanner({"scan", folder, "--db", database, "--jobs", "1", "--timeout", "2", "--json"});
    EXPECT_EQ(1u, resumed.exitCode) << resumed.err;
    const std::string shell = folder + "\\D-Shell.dll";
    EXPECT_EQ((std::set<std::string>{folder + "\\C-Hang.dll", shell, shell + ">54734931", shell + ">54734932",
                                     shell + ">54734933"}),
              ScannedThisRun(ParseOutput(resumed)));
}

TEST(ScannerCommand, TwoServersGiveTheSameDatabaseAsOne)
{
    const std::string folder = SampleFolder("scanner-jobs");
    CopyFileTo(FixturePath("ShellDuplicates.dll"), folder, "ShellDuplicates.dll");
    CopyFileTo(FixturePath("ShellUnnamedEntry.dll"), folder, "ShellUnnamedEntry.dll");
    CopyFileTo(FixturePath("HangInEntry.dll"), folder, "HangInEntry.dll");
    CopyFileTo(FixturePath("NameSpecialChars.dll"), folder, "NameSpecialChars.dll");
    CopyFileTo(FixturePath("NameLatin1.dll"), folder, "NameLatin1.dll");
    WriteBytes(folder + "\\Readme.dll", "text\n");
    const std::string one = folder + "\\one.json";
    const std::string two = folder + "\\two.json";

    const SScannerRun single = RunScanner({"scan", folder, "--db", one, "--jobs", "1", "--timeout", "2"});
    const SScannerRun parallel = RunScanner({"scan", folder, "--db", two, "--jobs", "2", "--timeout", "2"});
    EXPECT_EQ(1u, single.exitCode) << single.err;
    EXPECT_EQ(1u, parallel.exitCode) << parallel.err;
    const CJson first = StableEntries(ReadJsonFile(one));
    const CJson second = StableEntries(ReadJsonFile(two));
    EXPECT_EQ(17u, first.size()) << single.out;
    EXPECT_EQ(first, second) << first.dump(1) << "\n---\n" << second.dump(1);
    EXPECT_NE(std::string::npos, parallel.out.find("with 2 servers")) << parallel.out;
}

// Needs the virtual display: the box is a real window of the server.
TEST(ScannerCommand, AMessageBoxIsReportedWithItsTitle)
{
    const std::string folder = MakeTemporaryFolder("scanner-box");
    CopyFileTo(FixturePath("MessageBoxInEntry.dll"), folder, "MessageBoxInEntry.dll");
    const SScannerRun run = RunScanner({"scan", folder, "--db", folder + "\\db.json", "--timeout", "3"});
    EXPECT_EQ(1u, run.exitCode) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("window        " + folder + "\\MessageBoxInEntry.dll: "
                                                                        "'Fixture Licence Check'"))
        << run.err;
    EXPECT_NE(std::string::npos, run.out.find("(it showed 'Fixture Licence Check')")) << run.out;
    const CJson saved = ReadJsonFile(folder + "\\db.json");
    ASSERT_EQ(1u, saved["plugins"].size());
    EXPECT_EQ("timedOut", saved["plugins"][0]["outcome"]);
    EXPECT_EQ(CJson::array({"Fixture Licence Check"}), saved["plugins"][0]["dialogs"]);
}

TEST(ScannerCommand, TableListAndExitCodes)
{
    const std::string folder = SampleFolder("scanner-table");
    const std::string database = folder + "\\db.json";
    const SScannerRun scan = RunScanner({"scan", folder, "--db", database});
    EXPECT_EQ(0u, scan.exitCode) << scan.err;
    for (const char* part : {"Outcome", "TsGn", "Tessivane Gain", "  Tessivane Choir", "TessivanePad.dll",
                             "Scanned 6 requests", "Database: "})
        EXPECT_NE(std::string::npos, scan.out.find(part)) << part << "\n" << scan.out;

    const SScannerRun list = RunScanner({"list", "--db", database});
    EXPECT_EQ(0u, list.exitCode) << list.err;
    EXPECT_NE(std::string::npos, list.out.find("Tessivane Instrument Shell")) << list.out;

    struct SCase {
        CStrings arguments;
        uint32_t exitCode;
    };
    const SCase cases[] = {
        {{"--help"}, 0},
        {{"scan"}, 2},
        {{"scan", folder, "--jobs", "0"}, 2},
        {{"scan", folder, "--db", database, "--server", folder + "\\NoServer.exe"}, 3},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(c.exitCode, RunScanner(c.arguments).exitCode) << c.arguments.front() << " " << c.arguments.size();

    // A database that is not one is left alone.
    const std::string broken = folder + "\\broken.json";
    WriteBytes(broken, "{ not json");
    const SScannerRun refused = RunScanner({"scan", folder, "--db", broken});
    EXPECT_EQ(3u, refused.exitCode);
    EXPECT_NE(std::string::npos, refused.err.find("cannot be used")) << refused.err;
    EXPECT_EQ("{ not json", ReadTextFile(broken)) << "the file is left as it was";
}

} // namespace
