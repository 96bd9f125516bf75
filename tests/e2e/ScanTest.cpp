// Scanning our own fixture plug-ins with the real server under Wine: exact
// transcripts, the library cache, every failure of the probe, crashes and dumps.

#include "e2e/ServerHarness.h"

#include "foundation/Win32.h"

#include <dbghelp.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>

namespace {

std::string Fixture(const std::string& name) { return BinaryFolder() + "fixtures\\" + name + ".dll"; }

/// The lines of an exchange with the module address replaced, since it differs
/// from run to run (it is checked to be sixteen upper-case hex digits).
std::vector<std::string> Normalised(std::vector<std::string> lines)
{
    static const std::regex address("^(info:Looking for entry point in module )[0-9A-F]{16}$");
    for (std::string& line : lines)
        line = std::regex_replace(line, address, "$1<address>");
    return lines;
}

std::vector<std::string> Scan(CServerConnection& server, const std::string& request)
{
    return Normalised(Exchange(server, request));
}

/// The record's member lines for the usual values, to be adjusted per case.
struct SRecord {
    std::string id = "00000000", name, vendor, product, version, error;
    int numInputs = 0, numOutputs = 0;
    bool wantsMidi = false, sendsMidi = false, audio64 = false;
    int category = -1;
    bool synthEdit = false;
    std::vector<std::pair<std::string, std::string>> shells;

    std::vector<std::string> Lines() const
    {
        const auto flag = [](bool value) { return value ? std::string("true") : std::string("false"); };
        std::vector<std::string> lines = {
            ">:{",
            ">:  \"id\":        \"" + id + "\",",
            ">:  \"name\":      \"" + name + "\",",
            ">:  \"vendor\":    \"" + vendor + "\",",
            ">:  \"product\":   \"" + product + "\",",
            ">:  \"version\":   \"" + version + "\",",
            ">:  \"error\":     \"" + error + "\",",
            ">:  \"numInputs\": " + std::to_string(numInputs) + ",",
            ">:  \"numOutputs\":" + std::to_string(numOutputs) + ",",
            ">:  \"wantsMidi\":  " + flag(wantsMidi) + ",",
            ">:  \"sendsMidi\": " + flag(sendsMidi) + ",",
            ">:  \"platform\":  \"x64\",",
            ">:  \"audio64\":   " + flag(audio64) + ",",
            ">:  \"category\":  " + std::to_string(category) + ",",
            ">:  \"synthEdit\": " + flag(synthEdit) + ",",
        };
        if (category == 10) {
            lines.push_back(">:  \"shells\": {");
            for (const auto& shell : shells)
                lines.push_back(">:        \"" + shell.first + "\": \"" + shell.second + "\",");
            lines.push_back(">:  },");
        }
        lines.push_back(">:}");
        return lines;
    }
};

/// A fixture effect's record as the fixture table describes its defaults.
SRecord FixtureRecord(const std::string& id, const std::string& name)
{
    SRecord record;
    record.id = id;
    record.name = name;
    record.vendor = "Tessivane Fixtures";
    record.product = "Fixture Plug-ins";
    record.version = "1.0.0.0";
    record.numInputs = 2;
    record.numOutputs = 2;
    record.category = 1;
    return record;
}

std::vector<std::string> Concat(std::vector<std::string> head, const std::vector<std::string>& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

/// The lines of a request that loads a library and gets to the probe.
std::vector<std::string> ProbeStart(const std::string& request)
{
    return {
        "info:Scanning plugin: '" + request + "'",
        "info:Loading library...",
        "info:Looking for entry point in module <address>",
        "info:Found VSTPluginMain()",
        "info:Calling entry point...",
    };
}

std::vector<std::string> RecordPart(const std::vector<std::string>& lines)
{
    const auto start = std::find(lines.begin(), lines.end(), ">:{");
    return std::vector<std::string>(start, lines.end());
}

class ServerScan : public testing::Test {
protected:
    void SetUp() override { StartServer(server); }
    void TearDown() override
    {
        if (server.IsRunning())
            EXPECT_EQ(0u, CloseAndWait(server));
    }
    CServerConnection server;
};

TEST_F(ServerScan, PlainEffectExchange)
{
    const std::string path = Fixture("PlainEffect");
    SRecord record = FixtureRecord("4678506C", "Fixture Plain Effect");
    record.version = "1.1.0.0";
    const std::vector<std::string> expected = Concat(Concat(ProbeStart(path),
                                                            {
                                                                "info:Audio master callback: 1 - audioMasterVersion",
                                                                "info:Dispatching effClose...",
                                                                "info:Freeing library...",
                                                                "info:Finished",
                                                            }),
                                                     record.Lines());
    EXPECT_EQ(expected, Scan(server, path));
}

TEST_F(ServerScan, ShellIsKeptForItsSubPluginsThenFreed)
{
    const std::string shell = Fixture("ShellDuplicates");
    SRecord record = FixtureRecord("46785368", "Fixture Shell");
    record.category = 10;
    record.shells = {{"00000005", "Fixture Sub Five"}, {"00000007", "Fixture Sub Seven"}};
    std::vector<std::string> expected = Concat(Concat(ProbeStart(shell),
                                                      {
                                                          "info:Audio master callback: 1 - audioMasterVersion",
                                                          "info:Audio master callback: 2 - audioMasterCurrentId",
                                                          "info:Found shell: 00000005 - Fixture Sub Five",
                                                          "info:Found shell: 00000007 - Fixture Sub Seven",
                                                          "info:Found shell: 00000005 - Fixture Sub Five Again",
                                                          "info:   - duplicate, ignoring",
                                                          "info:Dispatching effClose...",
                                                          "info:Keeping shell library loaded for now...",
                                                          "info:Finished",
                                                      }),
                                               record.Lines());
    EXPECT_EQ(expected, Scan(server, shell));

    // The sub-plug-in is built from the cached library: its own name shows that
    // the shell saw id 7 through audioMasterCurrentId.
    std::vector<std::string> lines = Scan(server, shell + ">00000007");
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ("info:Scanning plugin: '" + shell + ">00000007'", lines[0]);
    EXPECT_EQ("info:Re-using previous library instance...", lines[1]);
    EXPECT_EQ(lines.end(), std::find(lines.begin(), lines.end(), "info:Loading library..."));
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "info:Keeping shell library loaded for now..."));
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), ">:  \"name\":      \"Fixture Sub Seven\","));
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), ">:  \"id\":        \"00000007\","));

    lines = Scan(server, Fixture("PlainEffect"));
    ASSERT_GE(lines.size(), 4u);
    const std::vector<std::string> head(lines.begin(), lines.begin() + 4);
    EXPECT_EQ((std::vector<std::string>{"info:Scanning plugin: '" + Fixture("PlainEffect") + "'",
                                        "info:Freeing cached library...", "info:Freed", "info:Loading library..."}),
              head);
}

TEST_F(ServerScan, ClosingTheInputFreesACachedShell)
{
    Scan(server, Fixture("ShellDuplicates"));
    server.CloseInput();
    std::vector<std::string> lines;
    EXPECT_EQ(EWaitResult::Closed, server.ReadUntilReady(&lines));
    EXPECT_EQ((std::vector<std::string>{"info:Freeing cached library...", "info:Freed"}), lines);
    uint32_t exitCode = 1;
    ASSERT_TRUE(server.WaitForExit(30000, exitCode));
    EXPECT_EQ(0u, exitCode);
}

TEST_F(ServerScan, MissingLibraryGivesTheLoadFailureRecord)
{
    const std::string path = BinaryFolder() + "fixtures\\DoesNotExist.dll";
    SRecord record;
    record.error = "Failed to load library, err=126";
    const std::vector<std::string> expected = Concat(
        {"info:Scanning plugin: '" + path + "'", "info:Loading library...", "error:Failed to load library, err=126"},
        record.Lines());
    EXPECT_EQ(expected, Scan(server, path));
}

TEST_F(ServerScan, EveryProbeFailureIsReported)
{
    struct SCase {
        const char* fixture;
        const char* error;
        const char* lastProbeLine;
    };
    const SCase cases[] = {
        {"JBridgeStub", "Module is a jBridge bootstrap, ignoring", "info:Looking for entry point in module <address>"},
        {"NoEntryPoint", "Entry point not found, not a VST plugin", "info:Looking for entry point in module <address>"},
        {"EntryReturnsNull", "Entry point returned NULL", "info:Audio master callback: 1 - audioMasterVersion"},
        {"BadMagic", "Bad magic", "info:Audio master callback: 1 - audioMasterVersion"},
    };
    for (const SCase& c : cases) {
        const std::vector<std::string> lines = Scan(server, Fixture(c.fixture));
        SRecord record;
        record.error = c.error;
        const std::vector<std::string> expected = Concat(
            {c.lastProbeLine, "info:Freeing library...", "info:Finished", std::string("error:") + c.error},
            record.Lines());
        ASSERT_GE(lines.size(), expected.size()) << c.fixture;
        EXPECT_EQ(expected, std::vector<std::string>(lines.end() - static_cast<long>(expected.size()), lines.end()))
            << c.fixture;
    }
}

TEST_F(ServerScan, RecordsOfTheFixtures)
{
    struct SCase {
        const char* fixture;
        const char* member; // the record line that shows the behaviour
    };
    const SCase cases[] = {
        {"SynthFlagCategoryEffect", ">:  \"category\":  2,"},
        {"CategoryZeroWithInputs", ">:  \"category\":  1,"},
        {"CategoryZeroNoInputs", ">:  \"category\":  2,"},
        {"CanDoZero", ">:  \"wantsMidi\":  true,"},
        {"CanDoZero", ">:  \"sendsMidi\": true,"},
        {"CanDoNoButWantMidi", ">:  \"wantsMidi\":  true,"},
        {"CanDoNoButWantMidi", ">:  \"sendsMidi\": false,"},
        {"CanDoEventsOnly", ">:  \"sendsMidi\": true,"},
        {"SynthFlagCategoryEffect", ">:  \"audio64\":   true,"},
        {"SynthEditResource", ">:  \"synthEdit\": true,"},
        {"VersionFromFile", ">:  \"version\":   \"1.2.3.4\","},
        {"VersionFromProduct", ">:  \"version\":   \"2.5.1.0\","},
        {"NameLatin1", ">:  \"name\":      \"Caf\\u00e9 Chorus\","},
        {"NameSpecialChars", ">:  \"name\":      \"Quote \\\" Slash \\/ Backslash \\\\ End\","},
        {"NameSpecialChars", ">:  \"vendor\":    \"Vendor \\\"Q\\\" A\\/B\\\\C\","},
        {"MainOnly", ">:  \"name\":      \"Fixture Main Only\","},
        {"ShellSynthFlag", ">:  \"category\":  2,"},
    };
    for (const SCase& c : cases) {
        const std::vector<std::string> lines = Scan(server, Fixture(c.fixture));
        EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), c.member)) << c.fixture << " lacks " << c.member;
        EXPECT_EQ(lines.end(), std::find_if(lines.begin(), lines.end(),
                                            [](const std::string& line) { return line.rfind("error:", 0) == 0; }))
            << c.fixture;
    }
}

TEST_F(ServerScan, ShellsWithoutSubPluginsAreFreed)
{
    for (const char* fixture : {"ShellEmpty", "ShellSynthFlag"}) {
        const std::vector<std::string> lines = Scan(server, Fixture(fixture));
        EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "info:Freeing library...")) << fixture;
        EXPECT_EQ(lines.end(), std::find(lines.begin(), lines.end(), "info:Keeping shell library loaded for now..."))
            << fixture;
    }
    const std::vector<std::string> empty = Scan(server, Fixture("ShellEmpty"));
    const std::vector<std::string> tail(empty.end() - 4, empty.end());
    EXPECT_EQ((std::vector<std::string>{">:  \"synthEdit\": false,", ">:  \"shells\": {", ">:  },", ">:}"}), tail);
}

TEST_F(ServerScan, ShellEntryWithoutANameGetsAnEmptyName)
{
    const std::vector<std::string> lines = Scan(server, Fixture("ShellUnnamedEntry"));
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "info:Found shell: 00000022 - "));
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), ">:        \"00000022\": \"\","));
}

TEST_F(ServerScan, TextWithoutTerminatorIsCut)
{
    const std::vector<std::string> lines = Scan(server, Fixture("NameOverrun"));
    std::string name;
    for (int i = 0; i < 512; ++i)
        name.push_back(static_cast<char>('A' + i % 26));
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), ">:  \"name\":      \"" + name + "\","));
}

TEST_F(ServerScan, EndlessShellIsStopped)
{
    const std::vector<std::string> lines = Scan(server, Fixture("ShellEndless"));
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "warn:Shell enumeration stopped after 10000 calls"));
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "info:Dispatching effClose..."));
    const auto shells = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.rfind(">:        \"", 0) == 0;
    });
    EXPECT_EQ(10000, shells);
}

TEST_F(ServerScan, HostCallbackAnswersAsTheReporterSawThem)
{
    const std::vector<std::string> lines = Scan(server, Fixture("Reporter") + ">0000BEEF");
    const std::string expected =
        ">:  \"name\":      \"v=2400;id=48879;sr=44100;bs=512;pl=4;hv=3;ni=1;vendor=Vostrel Software(1);"
        "product=Tessivane(1);canShellCategory=1;canOpenFileSelector=0;op0=0;op5=0;nullVendor=0;nullProduct=0;"
        "nullCanDo=0\",";
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), expected));
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "info:Audio master callback: 5 - <unknown>"));
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "warn:Unhandled audioMaster opCode - 5"));
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "info:Query host can do: 'ShellCategory'"));
}

/// What a minidump says about its exception.
struct SDumpFacts {
    bool valid = false;
    uint32_t exceptionThread = 0;
    uint32_t exceptionCode = 0;
    std::vector<uint32_t> threads;
};

SDumpFacts ReadDump(const std::string& path)
{
    SDumpFacts facts;
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < sizeof(MINIDUMP_HEADER))
        return facts;
    MINIDUMP_HEADER header;
    std::memcpy(&header, bytes.data(), sizeof header);
    if (header.Signature != MINIDUMP_SIGNATURE)
        return facts;
    for (ULONG32 i = 0; i < header.NumberOfStreams; ++i) {
        MINIDUMP_DIRECTORY entry;
        const std::size_t at = header.StreamDirectoryRva + i * sizeof entry;
        if (at + sizeof entry > bytes.size())
            return facts;
        std::memcpy(&entry, bytes.data() + at, sizeof entry);
        if (entry.Location.Rva + entry.Location.DataSize > bytes.size())
            return facts;
        const char* data = bytes.data() + entry.Location.Rva;
        if (entry.StreamType == ExceptionStream && entry.Location.DataSize >= sizeof(MINIDUMP_EXCEPTION_STREAM)) {
            MINIDUMP_EXCEPTION_STREAM exception;
            std::memcpy(&exception, data, sizeof exception);
            facts.exceptionThread = exception.ThreadId;
            facts.exceptionCode = exception.ExceptionRecord.ExceptionCode;
        } else if (entry.StreamType == ThreadListStream && entry.Location.DataSize >= sizeof(ULONG32)) {
            ULONG32 count = 0;
            std::memcpy(&count, data, sizeof count);
            for (ULONG32 t = 0; t < count; ++t) {
                MINIDUMP_THREAD thread;
                const std::size_t offset = sizeof count + t * sizeof thread;
                if (offset + sizeof thread > entry.Location.DataSize)
                    break;
                std::memcpy(&thread, data + offset, sizeof thread);
                facts.threads.push_back(thread.ThreadId);
            }
        }
    }
    facts.valid = true;
    return facts;
}

struct SCrashResult {
    uint32_t exitCode = 0;
    std::vector<std::string> lines;
    std::vector<std::string> dumps;
    std::string dumpFolder;
};

SCrashResult ScanUntilDeath(const std::string& fixture, bool withDumpFolder)
{
    SCrashResult result;
    result.dumpFolder = MakeTemporaryFolder("scan-dumps");
    SServerOptions options;
    options.serverPath = ServerPath();
    // Writing a dump takes Wine many seconds, during which the server is silent.
    options.silenceTimeoutMs = 120000;
    if (withDumpFolder)
        options.dumpFolder = result.dumpFolder;
    CServerConnection server;
    StartServer(server, options);
    EXPECT_TRUE(server.SendRequest(Fixture(fixture)));
    EXPECT_EQ(EWaitResult::Closed, server.ReadUntilReady(&result.lines)) << fixture;
    EXPECT_TRUE(server.WaitForExit(30000, result.exitCode)) << fixture;
    result.dumps = ListFiles(result.dumpFolder);
    return result;
}

TEST(ServerCrash, EveryCrashLeavesOneDumpAndExitCodeNine)
{
    const char* fixtures[] = {"CrashInEntry", "OwnFilterThenCrash", "CrashOnOwnThread"};
    static const std::regex dumpName("ScanServer-x64-\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d-\\d\\d\\.mdmp");
    for (const char* fixture : fixtures) {
        const SCrashResult crash = ScanUntilDeath(fixture, true);
        EXPECT_EQ(9u, crash.exitCode) << fixture;
        EXPECT_TRUE(std::find(crash.lines.begin(), crash.lines.end(), ">:{") == crash.lines.end())
            << fixture << ": no record after a crash";
        ASSERT_EQ(1u, crash.dumps.size()) << fixture;
        EXPECT_TRUE(std::regex_match(crash.dumps[0], dumpName)) << crash.dumps[0];
        const SDumpFacts facts = ReadDump(crash.dumpFolder + "\\" + crash.dumps[0]);
        EXPECT_TRUE(facts.valid) << fixture;
        EXPECT_EQ(static_cast<uint32_t>(EXCEPTION_ACCESS_VIOLATION), facts.exceptionCode) << fixture;
        EXPECT_NE(facts.threads.end(), std::find(facts.threads.begin(), facts.threads.end(), facts.exceptionThread))
            << fixture << ": the dump names the crashing thread";
        if (std::string(fixture) == "CrashOnOwnThread") {
            ASSERT_FALSE(facts.threads.empty());
            EXPECT_NE(facts.threads.front(), facts.exceptionThread) << "the plug-in's own thread crashed";
        }
    }
}

TEST(ServerCrash, WithoutADumpFolderNoDumpButStillExitCodeNine)
{
    const SCrashResult crash = ScanUntilDeath("CrashInEntry", false);
    EXPECT_EQ(9u, crash.exitCode);
    EXPECT_TRUE(crash.dumps.empty());
}

TEST(ServerCrash, CrashInsideDllMainEndsCleanly)
{
    // Either the loader turns it into a failed load, or the filter ends the
    // server: never a hang.
    SServerOptions options;
    options.serverPath = ServerPath();
    options.dumpFolder = MakeTemporaryFolder("scan-dumps");
    options.silenceTimeoutMs = 120000;
    CServerConnection server;
    StartServer(server, options);
    ASSERT_TRUE(server.SendRequest(Fixture("CrashInDllMain")));
    std::vector<std::string> lines;
    const EWaitResult result = server.ReadUntilReady(&lines);
    ASSERT_NE(EWaitResult::TimedOut, result);
    if (result == EWaitResult::Ready) {
        EXPECT_NE(lines.end(), std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
                      return line.rfind(">:  \"error\":     \"Failed to load library, err=", 0) == 0;
                  }));
        EXPECT_EQ(0u, CloseAndWait(server));
    } else {
        uint32_t exitCode = 0;
        ASSERT_TRUE(server.WaitForExit(30000, exitCode));
        EXPECT_EQ(9u, exitCode);
        EXPECT_EQ(1u, ListFiles(options.dumpFolder).size());
    }
}

TEST(ServerHang, SilentPluginIsStoppedByTheHost)
{
    SServerOptions options;
    options.serverPath = ServerPath();
    options.silenceTimeoutMs = 1500;
    CServerConnection server;
    StartServer(server, options);
    ASSERT_TRUE(server.SendRequest(Fixture("HangInEntry")));
    std::vector<std::string> lines;
    EXPECT_EQ(EWaitResult::TimedOut, server.ReadUntilReady(&lines));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("info:Audio master callback: 1 - audioMasterVersion", lines.back()) << "the last thing it did";
    EXPECT_FALSE(server.IsRunning());
}

} // namespace
