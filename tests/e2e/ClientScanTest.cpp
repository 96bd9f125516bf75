// The scan client library against the real server and the fixture plug-ins:
// one outcome per request, shells from the cached library, crashes with their
// dumps, hangs, dialogs, and files answered without a server.

#include "client/ScanClient.h"
#include "client/WideTextWin.h"
#include "e2e/ScannerHarness.h"
#include "e2e/ServerHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using CStrings = std::vector<std::string>;

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

TEST(ClientScan, FilesThatAreNotLibrariesAreAnsweredWithoutAServer)
{
    const std::string folder = MakeTemporaryFolder("client-files");
    WriteBytes(folder + "\\Readme.dll", "This is a text file named .dll\r\n");
    WriteBytes(folder + "\\Noise.dll", std::string(4096, '\x5A'));
    // A real library with its machine field changed to x86.
    CopyFileTo(FixturePath("PlainEffect.dll"), folder, "X86.dll");
    PatchMachine(folder + "\\X86.dll", 0x014C);
    struct SCase {
        std::string path;
        EOutcome kind;
        const char* errorPart;
    };
    const SCase cases[] = {
        {folder + "\\Readme.dll", EOutcome::NotPlugin, "too short for a PE image"},
        {folder + "\\Noise.dll", EOutcome::NotPlugin, "no MZ header"},
        {folder + "\\Missing.dll", EOutcome::Failed, "cannot open the file"},
        {folder + "\\X86.dll", EOutcome::NotPlugin, "built for x86"},
        {ServerPath(), EOutcome::NotPlugin, "a program (x64), not a DLL"},
    };
    CScanClient client(ClientOptions(30000));
    for (const SCase& c : cases) {
        const SScanOutcome outcome = client.Scan(c.path);
        EXPECT_EQ(c.kind, outcome.kind) << c.path;
        EXPECT_NE(std::string::npos, outcome.error.find(c.errorPart)) << c.path << ": " << outcome.error;
        EXPECT_FALSE(outcome.hasRecord) << c.path;
    }
    EXPECT_EQ(0u, client.GetServersStarted());
}

TEST(ClientScan, EffectAndShellWithItsSubPluginsOnOneServer)
{
    CScanClient client(ClientOptions(30000));
    const SScanOutcome effect = client.Scan(FixturePath("PlainEffect.dll"));
    ASSERT_EQ(EOutcome::Scanned, effect.kind) << effect.error;
    EXPECT_EQ("Fixture Plain Effect", effect.record.name);
    EXPECT_EQ("FxPl", DisplayId(effect.record.id));
    EXPECT_EQ("Tessivane Fixtures", effect.record.vendor);
    EXPECT_EQ("x64", effect.record.platform);
    EXPECT_EQ(2, effect.record.numInputs);

    const std::string shellPath = FixturePath("ShellDuplicates.dll");
    const SScanOutcome shell = client.Scan(shellPath);
    ASSERT_EQ(EOutcome::Scanned, shell.kind) << shell.error;
    ASSERT_TRUE(shell.record.IsShell());
    const std::vector<SSubPlugin> expected = {{5, "Fixture Sub Five"}, {7, "Fixture Sub Seven"}};
    EXPECT_EQ(expected, shell.record.shells);
    const uint32_t server = client.GetServerProcessId();

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
    EXPECT_EQ(server, client.GetServerProcessId());
    EXPECT_EQ(1u, client.GetServersStarted());
}

TEST(ClientScan, ACrashNamesItsDumpAndTheNextRequestGetsAFreshServer)
{
    const std::string dumps = MakeTemporaryFolder("client-dumps");
    // Folders as an earlier run with this process id would have left them: a
    // server never dumps into one of them, so an old dump is never taken for
    // the new crash's.
    const std::string stale = "ScanServer-x64-2001-01-01-00-00-00.mdmp";
    for (int serial = 1; serial <= 100; ++serial) {
        const std::string folder = dumps + "\\" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(serial);
        ASSERT_TRUE(CreateDirectoryW(WideFromUtf8(folder).c_str(), nullptr));
        WriteBytes(folder + "\\" + stale, "old");
        TouchLater(folder + "\\" + stale); // newer than any dump the test's crash writes
    }
    CScanClient client(ClientOptions(30000, dumps));
    const SScanOutcome warmUp = client.Scan(FixturePath("PlainEffect.dll"));
    ASSERT_EQ(EOutcome::Scanned, warmUp.kind) << warmUp.error;
    const uint32_t firstServer = client.GetServerProcessId();
    const std::string firstFolder = client.GetDumpFolder();

    const SScanOutcome crash = client.Scan(FixturePath("CrashInEntry.dll"));
    ASSERT_EQ(EOutcome::Crashed, crash.kind) << crash.error;
    EXPECT_EQ(9u, crash.exitCode);
    EXPECT_EQ("the scan server crashed (exit code 9)", crash.error);
    EXPECT_FALSE(crash.hasRecord);
    EXPECT_EQ(0u, client.GetServerProcessId());
    ASSERT_EQ(1u, crash.dumpFiles.size());
    const std::string& dump = crash.dumpFiles[0];
    ASSERT_EQ(firstFolder + "\\", dump.substr(0, firstFolder.size() + 1)) << dump;
    EXPECT_EQ("ScanServer-x64-", dump.substr(firstFolder.size() + 1, 15)) << dump;
    EXPECT_EQ(".mdmp", dump.substr(dump.size() - 5));
    EXPECT_TRUE(FileExists(dump)) << dump;
    EXPECT_EQ(std::string::npos, dump.find(stale)) << dump;
    ASSERT_FALSE(crash.lastLines.empty());
    EXPECT_TRUE(Contains(crash.lastLines, "info:Calling entry point...")) << crash.lastLines.back();

    const SScanOutcome after = client.Scan(FixturePath("PlainEffect.dll"));
    ASSERT_EQ(EOutcome::Scanned, after.kind) << after.error;
    EXPECT_NE(firstServer, client.GetServerProcessId());
    EXPECT_NE(firstFolder, client.GetDumpFolder());
    EXPECT_EQ(2u, client.GetServersStarted());
}

TEST(ClientScan, AHangIsStoppedAfterTheSilenceAndTheNextRequestGoesOn)
{
    CScanClient client(ClientOptions(2000));
    const SScanOutcome hang = client.Scan(FixturePath("HangInEntry.dll"));
    ASSERT_EQ(EOutcome::TimedOut, hang.kind) << hang.error;
    EXPECT_EQ("no answer for 2 s; the scan server was stopped", hang.error);
    EXPECT_TRUE(Contains(hang.lastLines, "info:Calling entry point..."));
    EXPECT_EQ(0u, client.GetServerProcessId());

    const SScanOutcome after = client.Scan(FixturePath("PlainEffect.dll"));
    EXPECT_EQ(EOutcome::Scanned, after.kind) << after.error;
    EXPECT_EQ(2u, client.GetServersStarted());
}

TEST(ClientScan, AnInterruptKillsTheServerOfAHangAtOnceAndEndsLaterRequests)
{
    CScanClient client(ClientOptions(60000));
    const auto started = std::chrono::steady_clock::now();
    std::thread interrupter([&client] {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        client.Interrupt();
    });
    const SScanOutcome hang = client.Scan(FixturePath("HangInEntry.dll"));
    interrupter.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10)) << "not the 60 s silence";
    EXPECT_EQ(EOutcome::Failed, hang.kind);
    EXPECT_EQ("the scan was interrupted", hang.error);
    EXPECT_EQ(0u, client.GetServerProcessId());
    EXPECT_EQ("the scan was interrupted", client.Scan(FixturePath("PlainEffect.dll")).error);
    EXPECT_EQ(1u, client.GetServersStarted());
}

// Needs the virtual display: the box is a real window of the server.
TEST(ClientScan, ADialogThatBlocksTheScanIsReportedWithItsTitle)
{
    SScanClientOptions options = ClientOptions(3000);
    options.windowCheckAfterMs = 1000;
    CScanClient client(options);
    std::vector<CStrings> reported;
    SScanObserver observer;
    observer.onDialogs = [&reported](const CStrings& titles) { reported.push_back(titles); };
    const SScanOutcome box = client.Scan(FixturePath("MessageBoxInEntry.dll"), observer);
    ASSERT_EQ(EOutcome::TimedOut, box.kind) << box.error;
    EXPECT_EQ(CStrings{"Fixture Licence Check"}, box.dialogs);
    EXPECT_NE(std::string::npos, box.error.find("(it showed 'Fixture Licence Check')")) << box.error;
    ASSERT_FALSE(reported.empty()) << "the observer hears of the window while the request runs";
    EXPECT_EQ(CStrings{"Fixture Licence Check"}, reported.back());
}

TEST(ClientScan, EveryLineExtendsTheSilenceTimeout)
{
    // 2,000 sub-plug-ins, each announced on its own line: the scan may take
    // longer than the timeout as long as the server keeps talking.
    CScanClient client(ClientOptions(1000));
    const SScanOutcome big = client.Scan(FixturePath("ShellBig.dll"));
    ASSERT_EQ(EOutcome::Scanned, big.kind) << big.error;
    ASSERT_EQ(2000u, big.record.shells.size());
    EXPECT_EQ((SSubPlugin{0x42470001, "Big Shell Voice 0001"}), big.record.shells.front());
    EXPECT_EQ((SSubPlugin{0x424707D0, "Big Shell Voice 2000"}), big.record.shells.back());
}

} // namespace
