// The host side end to end: the scan client library and PluginScanner.exe
// against the real server and the fixture plug-ins.

#include "client/ScanClient.h"
#include "e2e/Harness.h"
#include "wire/Protocol.h"

#include <map>
#include <optional>
#include <set>
#include <thread>

namespace {

using CStrings = std::vector<std::string>;
using CJson = nlohmann::json;

std::string ServerPath() { return BinaryFolder() + "ScanServer-x64.exe"; }

bool Contains(const CStrings& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(ClientScan, EveryRequestEndsInOneOutcome)
{
    const std::string folder = MakeTemporaryFolder("client-files");
    // Folders as an earlier run with this process id would have left them, with a
    // dump newer than the test's: a server never dumps into one of them.
    const std::string stale = "ScanServer-x64-2001-01-01-00-00-00.mdmp";
    for (int serial = 1; serial <= 100; ++serial) {
        const std::string dumps = folder + "\\" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(serial);
        ASSERT_TRUE(fs::create_directory(fs::u8path(dumps)));
        WriteBytes(dumps + "\\" + stale, "old");
        TouchLater(dumps + "\\" + stale);
    }
    WriteBytes(folder + "\\Readme.dll", "This is a text file named .dll\r\n");
    WriteBytes(folder + "\\Noise.dll", std::string(4096, '\x5A'));
    std::string image = ReadTextFile(FixturePath("PlainEffect.dll")); // a real library, its machine made x86
    image.replace(static_cast<uint8_t>(image[0x3C]) + 256u * static_cast<uint8_t>(image[0x3D]) + 4, 2, "\x4C\x01");
    WriteBytes(folder + "\\X86.dll", image);
    const std::string plain = FixturePath("PlainEffect.dll");
    const std::string shell = FixturePath("ShellDuplicates.dll");
    struct SStep {
        std::string path;
        uint32_t silenceMs; ///< not 0: a new client with this silence time-out
        EOutcome kind;
        const char* error;
        unsigned servers;   ///< started by the client so far
        uint32_t id;        ///< of the scanned record
        std::size_t subs;   ///< of the scanned record
        bool interrupt;     ///< the scan is interrupted after two seconds
    };
    const SStep steps[] = {
        // One server serves an effect, a shell and its sub-plug-ins until a crash names its dump.
        {plain, 30000, EOutcome::Scanned, "", 1, 0x4678506C, 0, false},
        {shell, 0, EOutcome::Scanned, "", 1, 0x46785368, 2, false},
        {shell + ">00000005", 0, EOutcome::Scanned, "", 1, 5, 0, false},
        {shell + ">00000007", 0, EOutcome::Scanned, "", 1, 7, 0, false},
        {FixturePath("CrashInEntry.dll"), 0, EOutcome::Crashed, "the scan server crashed (exit code 9)", 1, 0, 0, false},
        {plain, 0, EOutcome::Scanned, "", 2, 0x4678506C, 0, false},
        // Answered without a server.
        {folder + "\\Readme.dll", 1000, EOutcome::NotPlugin, "too short for a PE image", 0, 0, 0, false},
        {folder + "\\Noise.dll", 0, EOutcome::NotPlugin, "no MZ header", 0, 0, 0, false},
        {folder + "\\Missing.dll", 0, EOutcome::Failed, "cannot open the file", 0, 0, 0, false},
        {folder + "\\X86.dll", 0, EOutcome::NotPlugin, "built for x86", 0, 0, 0, false},
        {ServerPath(), 0, EOutcome::NotPlugin, "a program (x64), not a DLL", 0, 0, 0, false},
        {FixturePath("HangInEntry.dll"), 0, EOutcome::TimedOut, "no answer for 1 s; the scan server was stopped", 1, 0, 0, false},
        {plain, 0, EOutcome::Scanned, "", 2, 0x4678506C, 0, false},
        // 2,000 sub-plug-ins, each on its own line: every line extends the silence.
        {FixturePath("ShellBig.dll"), 0, EOutcome::Scanned, "", 2, 0x46785342, 2000, false},
        // An interrupt ends the hang long before the silence does, and sticks.
        {FixturePath("HangInEntry.dll"), 60000, EOutcome::Failed, "the scan was interrupted", 1, 0, 0, true},
        {plain, 0, EOutcome::Failed, "the scan was interrupted", 1, 0, 0, false},
    };
    std::optional<CScanClient> client;
    std::set<std::string> dumpFolders;
    for (const SStep& step : steps) {
        SCOPED_TRACE(step.path);
        if (step.silenceMs != 0) {
            SScanClientOptions options;
            options.serverPath = ServerPath();
            options.dumpRoot = folder;
            options.silenceTimeoutMs = step.silenceMs;
            client.emplace(options);
        }
        const std::string dumpFolder = client->GetDumpFolder();
        const unsigned serversBefore = step.silenceMs != 0 ? 0 : client->GetServersStarted();
        std::thread interrupter([&] {
            if (step.interrupt) {
                std::this_thread::sleep_for(std::chrono::seconds(2));
                client->Interrupt();
            }
        });
        CStrings lines;
        SScanObserver observer;
        observer.onLine = [&lines](const std::string& line) { lines.push_back(line); };
        const auto started = std::chrono::steady_clock::now();
        const SScanOutcome outcome = client->Scan(step.path, observer);
        interrupter.join();
        EXPECT_TRUE(!step.interrupt || std::chrono::steady_clock::now() - started < std::chrono::seconds(10))
            << "not the 60 s silence";
        EXPECT_EQ(step.kind, outcome.kind);
        EXPECT_NE(std::string::npos, outcome.error.find(step.error)) << outcome.error;
        EXPECT_EQ(step.kind == EOutcome::Scanned, outcome.hasRecord);
        EXPECT_EQ(step.servers, client->GetServersStarted());
        if (client->GetServersStarted() > serversBefore && client->GetServerProcessId() != 0) {
            EXPECT_TRUE(dumpFolders.insert(client->GetDumpFolder()).second) << "every server dumps into a fresh folder";
        }
        if (step.kind == EOutcome::Scanned) {
            EXPECT_EQ(step.id, outcome.record.id);
            EXPECT_EQ("x64", outcome.record.platform);
            EXPECT_EQ(step.subs, outcome.record.shells.size());
            EXPECT_TRUE(Contains(lines, "ready:")) << "the observer sees every line";
            EXPECT_EQ(step.path.find('>') != std::string::npos, Contains(lines, "info:Re-using previous library instance..."));
        } else if (step.servers > 0) {
            EXPECT_TRUE(step.kind == EOutcome::Failed || Contains(outcome.lastLines, "info:Calling entry point..."));
            EXPECT_EQ(0u, client->GetServerProcessId());
        }
        if (step.kind == EOutcome::Crashed) {
            EXPECT_EQ(9u, outcome.exitCode);
            ASSERT_EQ(1u, outcome.dumpFiles.size());
            const std::string& dump = outcome.dumpFiles[0];
            EXPECT_EQ(dumpFolder + "\\ScanServer-x64-", dump.substr(0, dumpFolder.size() + 16)) << dump;
            EXPECT_EQ(".mdmp", dump.substr(dump.size() - 5));
            EXPECT_TRUE(fs::exists(fs::u8path(dump))) << dump;
            EXPECT_NE(stale, dump.substr(dump.size() - stale.size()));
        }
    }
}

/// The --json output of a run.
CJson Document(const SScannerRun& run)
{
    const CJson document = CJson::parse(run.out, nullptr, false);
    EXPECT_FALSE(document.is_discarded()) << run.out << run.err;
    return document;
}

/// The results of a --json run by request ("path" or "path>XXXXXXXX").
std::map<std::string, CJson> ResultsByRequest(const SScannerRun& run)
{
    const CJson document = Document(run);
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
std::set<std::string> ScannedThisRun(const SScannerRun& run)
{
    std::set<std::string> scanned;
    for (const auto& item : ResultsByRequest(run))
        if (item.second["thisRun"].get<bool>())
            scanned.insert(item.first);
    return scanned;
}

/// A folder holding the files (name, then the fixture or sample copied under it).
std::string FolderOf(const std::string& prefix, const std::vector<std::pair<std::string, std::string>>& files)
{
    const std::string folder = MakeTemporaryFolder(prefix);
    for (const auto& file : files) {
        std::error_code error;
        EXPECT_TRUE(fs::copy_file(fs::u8path(FixturePath(file.second, file.second.rfind("Tessivane", 0) == 0)),
                                  fs::u8path(folder + "\\" + file.first), error)) << file.second << ": " << error.message();
    }
    return folder;
}

// Needs the virtual display: the licence box is a real window of the server.
TEST(ScannerCommand, AMixedFolderGivesOneOutcomePerPathWithOneServerOrTwo)
{
    std::vector<std::pair<std::string, std::string>> files;
    for (const char* file : {"TessivaneGain.dll", "TessivanePad.dll", "TessivaneInstrumentShell.dll", "CrashInEntry.dll",
                             "HangInEntry.dll", "MessageBoxInEntry.dll", "ShellDuplicates.dll", "ShellUnnamedEntry.dll",
                             "NameSpecialChars.dll", "NameLatin1.dll"})
        files.push_back({file, file});
    const std::string folder = FolderOf("scanner-mixed", files);
    // The 32-bit build of the Gain sample: the x86 server's, or "no server" where 32-bit programs do not run.
    const std::string gain32 = folder + "\\Gain32.dll";
    files.push_back({"Gain32.dll", "x86\\TessivaneGain.dll"});
    EXPECT_TRUE(fs::copy_file(fs::u8path(FixturePath("x86\\TessivaneGain.dll", true)), fs::u8path(gain32)));
    WriteBytes(folder + "\\Noise.dll", std::string(3000, '\x17'));
    WriteBytes(folder + "\\Readme.dll", "Not a library, just text.\n");
    WriteBytes(folder + "\\Notes.txt", "not a library name: not scanned");
    const std::string missing = folder + "\\Missing.dll";
    const SScannerRun two =
        RunScanner({"scan", folder, missing, "--db", folder + "\\two.json", "--timeout", "3", "--jobs", "2", "--json"});
    EXPECT_EQ(1u, two.exitCode) << two.err;
    // One server gives the same database, here without the slow crash and licence box.
    CStrings arguments = {"scan", folder + "\\Noise.dll", folder + "\\Readme.dll", "--db", folder + "\\one.json",
                          "--timeout", "3", "--jobs", "1"};
    for (const auto& file : files)
        if (file.first != "CrashInEntry.dll" && file.first != "MessageBoxInEntry.dll")
            arguments.push_back(folder + "\\" + file.first);
    const SScannerRun one = RunScanner(arguments);
    EXPECT_EQ(1u, one.exitCode) << one.err;
    EXPECT_NE(std::string::npos, one.out.find("with 1 server")) << one.out;

    std::map<std::string, CJson> results = ResultsByRequest(two);
    const CJson notFound = Document(two)["notFound"];
    std::map<std::string, std::string> expected = {
        {folder + "\\CrashInEntry.dll", "crashed"}, {folder + "\\HangInEntry.dll", "timedOut"},
        {folder + "\\MessageBoxInEntry.dll", "timedOut"}, {folder + "\\Noise.dll", "notPlugin"},
        {folder + "\\Readme.dll", "notPlugin"},
        {gain32, StartsOnThisMachine(kServerProgramX86) ? "scanned" : "noServer"}};
    for (const char* scanned : {"TessivaneGain.dll", "TessivanePad.dll", "TessivaneInstrumentShell.dll>54734931",
                                "TessivaneInstrumentShell.dll>54734932", "TessivaneInstrumentShell.dll>54734933",
                                "TessivaneInstrumentShell.dll", "ShellDuplicates.dll", "ShellDuplicates.dll>00000005",
                                "ShellDuplicates.dll>00000007", "ShellUnnamedEntry.dll", "ShellUnnamedEntry.dll>00000021",
                                "ShellUnnamedEntry.dll>00000022", "ShellUnnamedEntry.dll>00000023",
                                "NameSpecialChars.dll", "NameLatin1.dll"})
        expected[folder + "\\" + scanned] = "scanned";
    std::map<std::string, std::string> outcomes;
    for (const auto& result : results)
        outcomes[result.first] = result.second["outcome"].get<std::string>();
    EXPECT_EQ(expected, outcomes);
    ASSERT_EQ(1u, notFound.size());
    EXPECT_EQ(missing, notFound[0]["path"]);
    EXPECT_EQ("Tessivane Strings", results[folder + "\\TessivaneInstrumentShell.dll>54734931"]["record"]["name"]);
    EXPECT_EQ("Vostrel Software", results[folder + "\\TessivanePad.dll"]["record"]["vendor"]);
    EXPECT_EQ("x86", results[gain32]["platform"]);
    EXPECT_EQ("x64", results[folder + "\\TessivaneGain.dll"]["platform"]);

    // The crash was tried twice, each time in a server of its own.
    const CJson& crash = results[folder + "\\CrashInEntry.dll"];
    EXPECT_EQ(9, crash["exitCode"]);
    ASSERT_EQ(2u, crash["dumps"].size()) << crash.dump(1);
    for (const CJson& listed : crash["dumps"]) {
        const std::string dump = listed.get<std::string>();
        EXPECT_EQ(folder + "\\dumps\\", dump.substr(0, folder.size() + 7)) << dump;
        EXPECT_NE(std::string::npos, dump.find("\\ScanServer-x64-")) << dump;
        EXPECT_TRUE(fs::exists(fs::u8path(dump))) << dump;
    }
    EXPECT_NE(crash["dumps"][0], crash["dumps"][1]);
    // The licence box is reported by its title while it blocks, in the results and in the database.
    const std::string box = folder + "\\MessageBoxInEntry.dll";
    EXPECT_NE(std::string::npos, two.err.find("(second attempt after a crash)")) << two.err;
    EXPECT_NE(std::string::npos, two.err.find("window        " + box + ": 'Fixture Licence Check'")) << two.err;
    EXPECT_NE(std::string::npos, results[box]["error"].get<std::string>().find("(it showed 'Fixture Licence Check')"));

    // The database holds everything reported; one server's agrees with two's but for what differs from scan to scan.
    CJson entries[2] = {ReadJsonFile(folder + "\\one.json")["plugins"], CJson::array()};
    std::set<CJson> scannedByOne;
    for (const CJson& entry : entries[0])
        scannedByOne.insert(entry["path"]);
    const CJson all = ReadJsonFile(folder + "\\two.json")["plugins"];
    EXPECT_EQ(expected.size(), all.size());
    for (const CJson& entry : all) {
        EXPECT_TRUE(entry["path"] != box || entry["dialogs"] == CJson::array({"Fixture Licence Check"})) << entry;
        if (scannedByOne.count(entry["path"]) != 0)
            entries[1].push_back(entry);
    }
    EXPECT_EQ(expected.size() - 2, entries[0].size()) << "all but the crash and the licence box";
    for (CJson& database : entries)
        for (CJson& entry : database)
            for (const char* varying : {"scannedAt", "lastLines", "dumps"})
                entry.erase(varying);
    EXPECT_EQ(entries[0], entries[1]) << entries[0].dump(1) << "\n---\n" << entries[1].dump(1);
}

TEST(ScannerCommand, ASecondRunScansOnlyTheTouchedAndTheDamaged)
{
    const std::string folder = FolderOf("scanner-incremental",
        {{"TessivaneGain.dll", "TessivaneGain.dll"}, {"TessivanePad.dll", "TessivanePad.dll"},
         {"TessivaneInstrumentShell.dll", "TessivaneInstrumentShell.dll"}});
    const std::string database = folder + "\\db.json";
    const std::string pad = folder + "\\TessivanePad.dll";
    const std::string gain = folder + "\\TessivaneGain.dll";
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
    EXPECT_EQ(std::set<std::string>{}, ScannedThisRun(second));
    EXPECT_EQ(6, Document(second)["summary"]["skipped"]);

    // A hand-edited entry is left out with a warning and scanned again; the others stand.
    CJson edited = ReadJsonFile(database);
    for (CJson& entry : edited["plugins"])
        if (entry["path"] == gain)
            entry["record"]["numOutputs"] = true;
    WriteBytes(database, edited.dump());
    TouchLater(pad);
    const SScannerRun third = RunScanner(arguments);
    EXPECT_EQ((std::set<std::string>{gain, pad}), ScannedThisRun(third));
    EXPECT_NE(std::string::npos, third.err.find("warning: the database " + database + " has a damaged entry " + gain +
                                                ": in \"record\", \"numOutputs\" is not an integer"))
        << third.err;

    ASSERT_TRUE(fs::remove(fs::u8path(pad)));
    const SScannerRun fourth = RunScanner(arguments);
    EXPECT_EQ(5u, ResultsByRequest(fourth).size()) << "the entry of the deleted file is dropped";
    EXPECT_EQ(5u, ReadJsonFile(database)["plugins"].size());
    for (const SScannerRun* run : {&second, &third, &fourth})
        EXPECT_EQ(0u, run->exitCode) << run->err;

    // Exit codes; a database that is not one is left alone.
    const std::string broken = folder + "\\broken.json";
    WriteBytes(broken, "{ not json");
    const std::pair<CStrings, uint32_t> cases[] = {
        {{"--help"}, 0},
        {{"scan"}, 2},
        {{"scan", folder, "--jobs", "0"}, 2},
        {{"scan", folder, "--db", database, "--server", folder + "\\NoServer.exe"}, 3},
        {{"scan", folder, "--db", broken}, 3},
    };
    for (const auto& c : cases) {
        const SScannerRun run = RunScanner(c.first);
        EXPECT_EQ(c.second, run.exitCode) << c.first.back();
        EXPECT_TRUE(c.first.back() != broken || run.err.find("cannot be used") != std::string::npos) << run.err;
    }
    EXPECT_EQ("{ not json", ReadTextFile(broken)) << "the file is left as it was";
}

/// The ids of the processes that show a scan server's splash window.
std::set<DWORD> ProcessesWithSplash()
{
    std::set<DWORD> processes;
    for (HWND window = FindWindowExW(nullptr, nullptr, L"TessivaneScanServer", nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, L"TessivaneScanServer", nullptr)) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        processes.insert(process);
    }
    return processes;
}

TEST(ScannerCommand, AKilledScanResumesWithoutScanningFinishedFilesAgain)
{
    const std::string folder = FolderOf("scanner-resume", {{"A-Gain.dll", "TessivaneGain.dll"}, {"B-Pad.dll", "TessivanePad.dll"},
                                                           {"C-Hang.dll", "HangInEntry.dll"},
                                                           {"D-Shell.dll", "TessivaneInstrumentShell.dll"}});
    const std::string database = folder + "\\db.json";
    const std::set<DWORD> before = ProcessesWithSplash();
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
    std::set<DWORD> servers;
    for (const DWORD process : ProcessesWithSplash())
        if (before.count(process) == 0)
            servers.insert(process);
    ASSERT_FALSE(servers.empty()) << "the hanging server shows its splash";
    scanner.reset(); // the user's kill
    for (const DWORD server : servers) {
        const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, server);
        EXPECT_TRUE(process == nullptr || WaitForSingleObject(process, 10000) == WAIT_OBJECT_0)
            << "a server outlived its killed scanner: " << server;
        if (process != nullptr)
            CloseHandle(process);
    }
    const SScannerRun resumed = RunScanner({"scan", folder, "--db", database, "--jobs", "1", "--timeout", "2", "--json"});
    EXPECT_EQ(1u, resumed.exitCode) << resumed.err;
    const std::string shell = folder + "\\D-Shell.dll";
    EXPECT_EQ((std::set<std::string>{folder + "\\C-Hang.dll", shell, shell + ">54734931", shell + ">54734932",
                                     shell + ">54734933"}),
              ScannedThisRun(resumed));
}

} // namespace
