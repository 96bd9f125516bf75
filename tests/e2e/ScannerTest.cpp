// The host side end to end: the scan client library and PluginScanner.exe
// against the real server and the fixture plug-ins.

#include "client/ScanClient.h"
#include "client/WideTextWin.h"
#include "e2e/Harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using CStrings = std::vector<std::string>;
using CJson = nlohmann::json;

std::string ServerPath() { return BinaryFolder() + "ScanServer-x64.exe"; }

SScanClientOptions ClientOptions(uint32_t silenceTimeoutMs, const std::string& dumpRoot = std::string())
{
    SScanClientOptions options;
    options.serverPath = ServerPath();
    options.dumpRoot = dumpRoot;
    options.silenceTimeoutMs = silenceTimeoutMs;
    return options;
}

bool Contains(const CStrings& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(ClientScan, OneServerServesEffectShellAndSubPluginsUntilACrashNamesItsDump)
{
    const std::string dumps = MakeTemporaryFolder("client-dumps");
    // Folders as an earlier run with this process id would have left them, with a
    // dump newer than the test's: a server never dumps into one of them.
    const std::string stale = "ScanServer-x64-2001-01-01-00-00-00.mdmp";
    for (int serial = 1; serial <= 100; ++serial) {
        const std::string folder = dumps + "\\" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(serial);
        ASSERT_TRUE(CreateDirectoryW(WideFromUtf8(folder).c_str(), nullptr));
        WriteBytes(folder + "\\" + stale, "old");
        TouchLater(folder + "\\" + stale);
    }
    CScanClient client(ClientOptions(30000, dumps));
    const SScanOutcome effect = client.Scan(FixturePath("PlainEffect.dll"));
    ASSERT_EQ(EOutcome::Scanned, effect.kind) << effect.error;
    EXPECT_EQ("FxPl", DisplayId(effect.record.id));
    EXPECT_EQ("Fixture Plain Effect", effect.record.name);
    EXPECT_EQ("Tessivane Fixtures", effect.record.vendor);
    EXPECT_EQ("x64", effect.record.platform);
    EXPECT_EQ(2, effect.record.numInputs);
    const std::string shellPath = FixturePath("ShellDuplicates.dll");
    const SScanOutcome shell = client.Scan(shellPath);
    ASSERT_EQ(EOutcome::Scanned, shell.kind) << shell.error;
    EXPECT_EQ((std::vector<SSubPlugin>{{5, "Fixture Sub Five"}, {7, "Fixture Sub Seven"}}), shell.record.shells);
    const uint32_t firstServer = client.GetServerProcessId();
    const std::string firstFolder = client.GetDumpFolder();
    for (const SSubPlugin& sub : shell.record.shells) {
        CStrings lines;
        SScanObserver observer;
        observer.onLine = [&lines](const std::string& line) { lines.push_back(line); };
        const SScanOutcome outcome = client.Scan(shellPath + ">" + HexId(sub.id), observer);
        ASSERT_EQ(EOutcome::Scanned, outcome.kind) << outcome.error;
        EXPECT_EQ(sub.id, outcome.record.id);
        EXPECT_TRUE(Contains(lines, "info:Re-using previous library instance...")) << sub.name;
        EXPECT_TRUE(Contains(lines, "ready:")) << "the observer sees every line";
    }
    EXPECT_EQ(firstServer, client.GetServerProcessId());

    const SScanOutcome crash = client.Scan(FixturePath("CrashInEntry.dll"));
    ASSERT_EQ(EOutcome::Crashed, crash.kind) << crash.error;
    EXPECT_EQ(9u, crash.exitCode);
    EXPECT_EQ("the scan server crashed (exit code 9)", crash.error);
    EXPECT_FALSE(crash.hasRecord);
    EXPECT_EQ(0u, client.GetServerProcessId());
    ASSERT_EQ(1u, crash.dumpFiles.size());
    const std::string& dump = crash.dumpFiles[0];
    EXPECT_EQ(firstFolder + "\\ScanServer-x64-", dump.substr(0, firstFolder.size() + 16)) << dump;
    EXPECT_EQ(".mdmp", dump.substr(dump.size() - 5));
    EXPECT_TRUE(FileExists(dump)) << dump;
    EXPECT_TRUE(Contains(crash.lastLines, "info:Calling entry point..."));

    const SScanOutcome after = client.Scan(FixturePath("PlainEffect.dll"));
    ASSERT_EQ(EOutcome::Scanned, after.kind) << after.error;
    EXPECT_NE(firstServer, client.GetServerProcessId());
    EXPECT_NE(firstFolder, client.GetDumpFolder());
    EXPECT_EQ(2u, client.GetServersStarted());
}

TEST(ClientScan, EveryRequestEndsInOneOutcome)
{
    const std::string folder = MakeTemporaryFolder("client-files");
    WriteBytes(folder + "\\Readme.dll", "This is a text file named .dll\r\n");
    WriteBytes(folder + "\\Noise.dll", std::string(4096, '\x5A'));
    std::string image = ReadTextFile(FixturePath("PlainEffect.dll")); // a real library, its machine made x86
    image.replace(static_cast<uint8_t>(image[0x3C]) + 256u * static_cast<uint8_t>(image[0x3D]) + 4, 2, "\x4C\x01");
    WriteBytes(folder + "\\X86.dll", image);
    struct SCase {
        std::string path;
        uint32_t silenceMs;
        bool interrupt; ///< after two seconds
        EOutcome kind;
        const char* error;
        unsigned servers;     ///< started for the request (none: answered without a server)
        unsigned serversNext; ///< started once a plain effect has run after it
    };
    const SCase cases[] = {
        {folder + "\\Readme.dll", 1000, false, EOutcome::NotPlugin, "too short for a PE image", 0, 0},
        {folder + "\\Noise.dll", 1000, false, EOutcome::NotPlugin, "no MZ header", 0, 0},
        {folder + "\\Missing.dll", 1000, false, EOutcome::Failed, "cannot open the file", 0, 0},
        {folder + "\\X86.dll", 1000, false, EOutcome::NotPlugin, "built for x86", 0, 0},
        {ServerPath(), 1000, false, EOutcome::NotPlugin, "a program (x64), not a DLL", 0, 0},
        {FixturePath("HangInEntry.dll"), 1000, false, EOutcome::TimedOut,
         "no answer for 1 s; the scan server was stopped", 1, 2},
        {FixturePath("HangInEntry.dll"), 60000, true, EOutcome::Failed, "the scan was interrupted", 1, 1},
        // 2,000 sub-plug-ins, each on its own line: every line extends the silence.
        {FixturePath("ShellBig.dll"), 1000, false, EOutcome::Scanned, "", 1, 1},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.path);
        CScanClient client(ClientOptions(c.silenceMs));
        const auto started = std::chrono::steady_clock::now();
        std::thread interrupter([&client, &c] {
            if (!c.interrupt)
                return;
            std::this_thread::sleep_for(std::chrono::seconds(2));
            client.Interrupt();
        });
        const SScanOutcome outcome = client.Scan(c.path);
        interrupter.join();
        EXPECT_TRUE(!c.interrupt || std::chrono::steady_clock::now() - started < std::chrono::seconds(10))
            << "not the 60 s silence";
        EXPECT_EQ(c.kind, outcome.kind);
        EXPECT_NE(std::string::npos, outcome.error.find(c.error)) << outcome.error;
        EXPECT_EQ(c.kind == EOutcome::Scanned, outcome.hasRecord);
        EXPECT_EQ(c.servers, client.GetServersStarted());
        if (c.kind == EOutcome::Scanned) {
            ASSERT_EQ(2000u, outcome.record.shells.size());
            EXPECT_EQ((SSubPlugin{0x42470001, "Big Shell Voice 0001"}), outcome.record.shells.front());
            EXPECT_EQ((SSubPlugin{0x424707D0, "Big Shell Voice 2000"}), outcome.record.shells.back());
        } else if (c.servers > 0) {
            EXPECT_TRUE(c.interrupt || Contains(outcome.lastLines, "info:Calling entry point..."));
            EXPECT_EQ(0u, client.GetServerProcessId());
        }
        if (c.servers == 0)
            continue;
        const SScanOutcome next = client.Scan(FixturePath("PlainEffect.dll"));
        EXPECT_EQ(c.interrupt ? EOutcome::Failed : EOutcome::Scanned, next.kind);
        EXPECT_EQ(c.interrupt ? "the scan was interrupted" : "", next.error);
        EXPECT_EQ(c.serversNext, client.GetServersStarted());
    }
}

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

CJson ParseOutput(const SScannerRun& run)
{
    const CJson document = CJson::parse(run.out, nullptr, false);
    EXPECT_FALSE(document.is_discarded()) << run.out << run.err;
    return document;
}

/// The requests the run scanned (not taken from an earlier run).
std::set<std::string> ScannedThisRun(const SScannerRun& run)
{
    std::set<std::string> scanned;
    for (const auto& item : ResultsByRequest(ParseOutput(run)))
        if (item.second["thisRun"].get<bool>())
            scanned.insert(item.first);
    return scanned;
}

/// A folder holding the three samples (Gain, Pad, the instrument shell).
std::string SampleFolder(const std::string& prefix)
{
    const std::string folder = MakeTemporaryFolder(prefix);
    for (const char* sample : {"TessivaneGain.dll", "TessivanePad.dll", "TessivaneInstrumentShell.dll"})
        CopyFileTo(FixturePath(sample, true), folder, sample);
    return folder;
}

// Needs the virtual display: the licence box is a real window of the server.
TEST(ScannerCommand, AMixedFolderGivesExactlyOneOutcomePerPath)
{
    const std::string folder = SampleFolder("scanner-mixed");
    for (const char* fixture : {"CrashInEntry.dll", "HangInEntry.dll", "MessageBoxInEntry.dll"})
        CopyFileTo(FixturePath(fixture), folder, fixture);
    WriteBytes(folder + "\\Noise.dll", std::string(3000, '\x17'));
    WriteBytes(folder + "\\Readme.dll", "Not a library, just text.\n");
    WriteBytes(folder + "\\Notes.txt", "not a library name: not scanned");
    const std::string missing = folder + "\\Missing.dll";
    const std::string database = folder + "\\db.json";

    const SScannerRun run = RunScanner({"scan", folder, missing, "--db", database, "--timeout", "3", "--json"});
    EXPECT_EQ(1u, run.exitCode) << run.err;
    const CJson document = ParseOutput(run);
    std::map<std::string, CJson> results = ResultsByRequest(document);
    const std::string shell = folder + "\\TessivaneInstrumentShell.dll";
    const std::string box = folder + "\\MessageBoxInEntry.dll";
    const std::map<std::string, std::string> expected = {
        {folder + "\\CrashInEntry.dll", "crashed"}, {folder + "\\HangInEntry.dll", "timedOut"},
        {box, "timedOut"},                          {folder + "\\Noise.dll", "notPlugin"},
        {folder + "\\Readme.dll", "notPlugin"},     {folder + "\\TessivaneGain.dll", "scanned"},
        {shell, "scanned"},                         {shell + ">54734931", "scanned"},
        {shell + ">54734932", "scanned"},           {shell + ">54734933", "scanned"},
        {folder + "\\TessivanePad.dll", "scanned"},
    };
    std::map<std::string, std::string> outcomes;
    for (const auto& result : results)
        outcomes[result.first] = result.second["outcome"].get<std::string>();
    EXPECT_EQ(expected, outcomes);
    ASSERT_EQ(1u, document["notFound"].size());
    EXPECT_EQ(missing, document["notFound"][0]["path"]);
    EXPECT_EQ("Tessivane Strings", results[shell + ">54734931"]["record"]["name"]);
    EXPECT_EQ("Vostrel Software", results[folder + "\\TessivanePad.dll"]["record"]["vendor"]);

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
    EXPECT_NE(std::string::npos, run.err.find("(second attempt after a crash)")) << run.err;

    // The licence box is reported by its title while it blocks, in the results and in the database.
    EXPECT_NE(std::string::npos, run.err.find("window        " + box + ": 'Fixture Licence Check'")) << run.err;
    EXPECT_NE(std::string::npos, results[box]["error"].get<std::string>().find("(it showed 'Fixture Licence Check')"))
        << results[box].dump(1);
    const CJson saved = ReadJsonFile(database);
    ASSERT_TRUE(saved.is_object());
    EXPECT_EQ(expected.size(), saved["plugins"].size()) << "everything reported is in the database too";
    for (const CJson& entry : saved["plugins"])
        EXPECT_TRUE(entry["path"] != box || entry["dialogs"] == CJson::array({"Fixture Licence Check"})) << entry;
}

TEST(ScannerCommand, ASecondRunScansOnlyTheTouchedAndTheDamaged)
{
    const std::string folder = SampleFolder("scanner-incremental");
    const std::string database = folder + "\\db.json";
    const std::string pad = folder + "\\TessivanePad.dll";
    const CStrings arguments = {"scan", folder, "--db", database, "--json"};

    const SScannerRun first = RunScanner({"scan", folder, "--db", database});
    EXPECT_EQ(0u, first.exitCode) << first.err;
    for (const char* part : {"Outcome", "TsGn", "Tessivane Gain", "  Tessivane Choir", "TessivanePad.dll",
                             "Scanned 6 requests", "Database: "})
        EXPECT_NE(std::string::npos, first.out.find(part)) << part << "\n" << first.out;
    const SScannerRun list = RunScanner({"list", "--db", database});
    EXPECT_EQ(0u, list.exitCode) << list.err;
    EXPECT_NE(std::string::npos, list.out.find("Tessivane Instrument Shell")) << list.out;

    const SScannerRun second = RunScanner(arguments);
    ASSERT_EQ(0u, second.exitCode) << second.err;
    EXPECT_EQ(std::set<std::string>{}, ScannedThisRun(second));
    EXPECT_EQ(6u, ParseOutput(second)["results"].size());
    EXPECT_EQ(6, ParseOutput(second)["summary"]["skipped"]);

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
    EXPECT_EQ((std::set<std::string>{gain, pad}), ScannedThisRun(third));
    EXPECT_NE(std::string::npos, third.err.find("warning: the database " + database + " has a damaged entry " + gain +
                                                ": in \"record\", \"numOutputs\" is not an integer"))
        << third.err;

    ASSERT_TRUE(DeleteFileW(WideFromUtf8(pad).c_str()));
    const SScannerRun fourth = RunScanner(arguments);
    ASSERT_EQ(0u, fourth.exitCode) << fourth.err;
    EXPECT_EQ(5u, ParseOutput(fourth)["results"].size());
    EXPECT_EQ(5u, ReadJsonFile(database)["plugins"].size()) << "the entry of the deleted file is dropped";

    // A database that is not one is left alone.
    const std::string broken = folder + "\\broken.json";
    WriteBytes(broken, "{ not json");
    struct SCase {
        CStrings arguments;
        uint32_t exitCode;
    };
    const SCase cases[] = {
        {{"--help"}, 0},
        {{"scan"}, 2},
        {{"scan", folder, "--jobs", "0"}, 2},
        {{"scan", folder, "--db", database, "--server", folder + "\\NoServer.exe"}, 3},
        {{"scan", folder, "--db", broken}, 3},
    };
    for (const SCase& c : cases) {
        const SScannerRun run = RunScanner(c.arguments);
        EXPECT_EQ(c.exitCode, run.exitCode) << c.arguments.back();
        EXPECT_TRUE(c.arguments.back() != broken || run.err.find("cannot be used") != std::string::npos) << run.err;
    }
    EXPECT_EQ("{ not json", ReadTextFile(broken)) << "the file is left as it was";
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
        std::optional<CScannerProcess> scanner;
        scanner.emplace(CStrings{"scan", folder, "--db", database, "--jobs", "1", "--timeout", "600"});
        // The scanner works through A and B and then waits on C, which hangs.
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
        scanner.reset(); // the user's kill
        for (const uint32_t server : servers)
            EXPECT_TRUE(ProcessEnds(server, 10000)) << "a server outlived its killed scanner: " << server;
    }
    const SScannerRun resumed =
        RunScanner({"scan", folder, "--db", database, "--jobs", "1", "--timeout", "2", "--json"});
    EXPECT_EQ(1u, resumed.exitCode) << resumed.err;
    const std::string shell = folder + "\\D-Shell.dll";
    EXPECT_EQ((std::set<std::string>{folder + "\\C-Hang.dll", shell, shell + ">54734931", shell + ">54734932",
                                     shell + ">54734933"}),
              ScannedThisRun(resumed));
}

TEST(ScannerCommand, TwoServersGiveTheSameDatabaseAsOne)
{
    const std::string folder = SampleFolder("scanner-jobs");
    for (const char* fixture : {"ShellDuplicates.dll", "ShellUnnamedEntry.dll", "HangInEntry.dll",
                                "NameSpecialChars.dll", "NameLatin1.dll"})
        CopyFileTo(FixturePath(fixture), folder, fixture);
    WriteBytes(folder + "\\Readme.dll", "text\n");
    const std::string one = folder + "\\one.json";
    const std::string two = folder + "\\two.json";
    const SScannerRun single = RunScanner({"scan", folder, "--db", one, "--jobs", "1", "--timeout", "2"});
    const SScannerRun parallel = RunScanner({"scan", folder, "--db", two, "--jobs", "2", "--timeout", "2"});
    EXPECT_EQ(1u, single.exitCode) << single.err;
    EXPECT_EQ(1u, parallel.exitCode) << parallel.err;
    EXPECT_NE(std::string::npos, parallel.out.find("with 2 servers")) << parallel.out;
    // The entries without what differs from one scan to the next.
    CJson entries[2] = {ReadJsonFile(one)["plugins"], ReadJsonFile(two)["plugins"]};
    for (CJson& database : entries)
        for (CJson& entry : database)
            for (const char* varying : {"scannedAt", "lastLines", "dumps"})
                entry.erase(varying);
    EXPECT_EQ(17u, entries[0].size()) << single.out;
    EXPECT_EQ(entries[0], entries[1]) << entries[0].dump(1) << "\n---\n" << entries[1].dump(1);
}

} // namespace
