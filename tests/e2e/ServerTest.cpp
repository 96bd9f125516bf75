// The real server (under Wine, or the Linux server natively), one table run by
// every server program: what the host writes, and the exact transcript (module
// address normalised) and record it gets back, or how the server ends (a crash:
// exit code 9 and its dump or crash report; a hang: the host's silence time-out;
// no input: its banner only on Windows, standard input on Linux; a crash that
// leaves a plug-in's helper program running: the host's pipes close all the same).

#include "client/ServerConnection.h"
#include "e2e/Harness.h"
#include "fixtures/FixtureTable.h"
#include "support/RecordLines.h"
#include "wire/Protocol.h"

#ifdef _WIN32
#include <dbghelp.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <regex>
#include <thread>

namespace {

/// A server program for one platform: a new platform adds a line here.
struct SServer {
    const char* program;
    const char* system;   ///< the banner's system name; null: none
    const char* platform;
    const char* library;  ///< how the fixture libraries' names end
    /// A Windows server: rows of what only Windows has (DllMain, resources, the
    /// splash, minidumps) and an idle server without input.
    bool windows;
    const char* fixtures;      ///< the folder of its fixture plug-ins, from bin/
    const char* otherFixtures; ///< fixtures of another pointer size, which it cannot load; null: none
    std::size_t addressDigits; ///< a module address's hex digits in its log
};
#ifdef _WIN32
const SServer kServers[] = {
    {"ScanServer-x64.exe", nullptr, "x64", ".dll", true, "fixtures", "..\\x86\\bin\\fixtures", 16},
    {"ScanServer-x86.exe", nullptr, "x86", ".dll", true, "..\\x86\\bin\\fixtures", "fixtures", 8},
};
#else
const SServer kServers[] = {{"scan-server", "Linux", "x64", ".so", false, "fixtures", nullptr, 16}};
#endif

using CLines = std::vector<std::string>;

CLines operator+(CLines head, const CLines& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

struct SRow {
    std::string write; ///< the bytes the host writes
    CLines log;        ///< the exact lines before the record
    SPluginRecord record;
};

std::string Library(const SServer& server, const std::string& fixture, const char* folder = nullptr)
{
    return BinaryFolder() + (folder != nullptr ? folder : server.fixtures) + kPathSeparator + fixture + server.library;
}
std::string Scanning(const std::string& request) { return "info:Scanning plugin: '" + request + "'"; }
const char* const kLoading = "info:Loading library...";
const char* const kLooking = "info:Looking for entry point in module <address>";
const std::string kCall = "info:Audio master callback: ";
const std::string kVersionCall = kCall + "1 - audioMasterVersion";
const std::string kIdCall = kCall + "2 - audioMasterCurrentId";
const CLines kFreed = {"info:Freeing library...", "info:Finished"};
const CLines kClosed = CLines{"info:Dispatching effClose..."} + kFreed;
const CLines kKept = {"info:Dispatching effClose...", "info:Keeping shell library loaded for now...", "info:Finished"};
const CLines kFreeShell = {"info:Freeing cached library...", "info:Freed"};

/// Loading the request's library (after freeing the cached shell) and calling its entry point.
CLines Called(const std::string& request, const CLines& freeing = {}, const char* found = "info:Found VSTPluginMain()")
{
    return CLines{Scanning(request)} + freeing + CLines{kLoading, kLooking, found, "info:Calling entry point...", kVersionCall};
}

/// The text on one line, as the server logs it: carriage returns become '?'.
std::string OneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\r', '?');
    return text;
}

SRow Failed(const std::string& write, const CLines& log, const std::string& error)
{
    SPluginRecord record;
    record.error = error;
    return {write, log + CLines{"error:" + OneLine(error)}, record};
}

/// Windows's error codes for a library that is not there, and one built for another processor.
constexpr uint32_t kModuleNotFound = 126;
constexpr uint32_t kBadExeFormat = 193;
/// The longest file name Linux takes.
constexpr std::size_t kLinuxNameMax = 255;

/// The record's error for path (no '/' in it) that does not load: Windows's code,
/// or the Linux loader's words for a file in the current folder.
std::string LoadError(const SServer& server, const std::string& path, uint32_t windowsCode)
{
    if (server.windows)
        return "Failed to load library, err=" + std::to_string(windowsCode);
    const std::string reason = path.empty()                ? "cannot read file data: Is a directory"
                               : path.size() > kLinuxNameMax ? "cannot open shared object file: File name too long"
                                                           : "cannot open shared object file: No such file or directory";
    return "Failed to load library: ./" + path + ": " + reason;
}

/// A fixture's record: a stereo effect of the fixtures' vendor unless adjust says otherwise.
template <typename FAdjust = void (*)(SPluginRecord&)>
SPluginRecord Fx(const char* code, const char* name, FAdjust adjust = [](SPluginRecord&) {})
{
    SPluginRecord r;
    r.id = static_cast<uint32_t>(code[0]) << 24 | static_cast<uint32_t>(code[1]) << 16 |
           static_cast<uint32_t>(code[2]) << 8 | static_cast<uint32_t>(code[3]);
    r.name = name;
    r.vendor = "Tessivane Fixtures";
    r.product = "Fixture Plug-ins";
    r.version = "1.0.0.0";
    r.numInputs = r.numOutputs = 2;
    r.category = kPlugCategoryEffect;
    adjust(r);
    return r;
}

/// A request whose entry point makes the calls (after audioMasterVersion) and whose effect is closed.
SRow Effect(const std::string& request, const SPluginRecord& record, const CLines& calls = {},
            const CLines& closing = kClosed, const CLines& freeing = {})
{
    return {request + "\n", Called(request, freeing) + calls + closing, record};
}

/// A path of exactly length bytes.
std::string PathOfLength(std::size_t length) { return "C:\\" + std::string(length - 7, 'p') + ".dll"; }

/// The server reads a request in pieces of this many bytes.
constexpr std::size_t kServerReadSize = 1024;

std::vector<SRow> Rows(const SServer& server)
{
    const auto Dll = [&server](const std::string& fixture) { return Library(server, fixture); };
    // A request for a file that does not exist: served (as served, its line breaks
    // on one line), but the library (loaded) does not load.
    const auto Missing = [&server](const std::string& write, const std::string& served, std::string loaded = "",
                                   uint32_t windowsCode = kModuleNotFound) {
        return Failed(write, {Scanning(served), kLoading}, LoadError(server, loaded.empty() ? served : loaded, windowsCode));
    };
    const std::string shell = Dll("ShellDuplicates");
    const std::string utf8 = "C:\\Plug-ins\\Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB9.dll";
    const auto midi = [](SPluginRecord& r) { r.wantsMidi = r.sendsMidi = true; };
    const auto synth = [](SPluginRecord& r) -> SPluginRecord& {
        r.numInputs = 0;
        r.category = kPlugCategorySynth;
        return r;
    };
    const auto plain = [](SPluginRecord& r) { r.version = "1.1.0.0"; };
    const auto shellCategory = [](SPluginRecord& r) { r.category = kPlugCategoryShell; };
    std::vector<SRow> rows;
    if (server.otherFixtures != nullptr) {
        const std::string other = Library(server, "PlainEffect", server.otherFixtures);
        rows.push_back(Missing(other + "\n", other, "", kBadExeFormat));
    }
    // With its newline, 1023 bytes fill one read; 1024 leave only the newline waiting. A write
    // without a newline is taken whole.
    for (std::size_t length : {kServerReadSize - 1, kServerReadSize, kServerReadSize + 1, std::size_t{5000}})
        rows.push_back(Missing(PathOfLength(length) + "\n", PathOfLength(length)));
    for (std::size_t length : {kServerReadSize, 2 * kServerReadSize})
        rows.push_back(Missing(PathOfLength(length), PathOfLength(length)));
    rows.insert(rows.end(), {
        Missing(PathOfLength(40000) + "\n", PathOfLength(40000), "", 123), // no Windows path
        Missing("C:\\VST\\Gain.dll\n", "C:\\VST\\Gain.dll"),
        Missing("C:\\VST\\Bare.dll", "C:\\VST\\Bare.dll"),
        Missing("C:\\VST\\Crlf.dll\r\n", "C:\\VST\\Crlf.dll?", "C:\\VST\\Crlf.dll\r"), // the carriage return echoed as '?'
        Missing("\n", ""),
        Failed(">00000005\n", {Scanning(">00000005"), kLoading}, LoadError(server, "", kModuleNotFound)), // no path before '>'
        Missing(std::string("C:\\A.dll\0junk\n", 14), "C:\\A.dll"),
        Missing(utf8 + "\n", utf8),
        Missing("C:\\\xC3(.dll\n", "C:\\\xEF\xBF\xBD(.dll"), // ill-formed UTF-8 becomes U+FFFD
        Missing("first\nsecond\n", "first"),                // the second request of a write is dropped
        Missing("third\n", "third"),
        Failed(std::string(200 * 1024, 'x') + "\n", {}, "Request too long, ignoring"),
        Missing("next\n", "next"),
        Effect(Dll("PlainEffect"), Fx("FxPl", "Fixture Plain Effect", plain)),
        Failed(Dll("JBridgeStub") + "\n", CLines{Scanning(Dll("JBridgeStub")), kLoading, kLooking} + kFreed,
               "Module is a jBridge bootstrap, ignoring"),
        Failed(Dll("NoEntryPoint") + "\n", CLines{Scanning(Dll("NoEntryPoint")), kLoading, kLooking} + kFreed,
               "Entry point not found, not a VST plugin"),
        Failed(Dll("EntryReturnsNull") + "\n", Called(Dll("EntryReturnsNull")) + kFreed, "Entry point returned NULL"),
        Failed(Dll("BadMagic") + "\n", Called(Dll("BadMagic")) + kFreed, "Bad magic"),
        Effect(Dll("SynthFlagCategoryEffect"), Fx("FxSy", "Fixture Synth Flag", [&](SPluginRecord& r) {
                   midi(synth(r));
                   r.audio64 = true;
               })),
        Effect(Dll("CategoryZeroWithInputs"), Fx("FxZ2", "Fixture Category Zero In")),
        Effect(Dll("CategoryZeroNoInputs"), Fx("FxZ0", "Fixture Category Zero", synth)),
        Effect(Dll("CanDoZero"), Fx("FxC0", "Fixture CanDo Zero", midi)),
        Effect(Dll("CanDoEventsOnly"), Fx("FxCE", "Fixture CanDo Events", midi)),
        Effect(Dll("CanDoNoButWantMidi"), Fx("FxWM", "Fixture Want Midi", [](SPluginRecord& r) { r.wantsMidi = true; }),
               {kCall + "6 - audioMasterWantMidi"}),
        // What it prints (a "ready:" line) goes to standard output and error, never into the channel.
        Effect(Dll("PrintsWhileLoading"), Fx("FxPr", "Fixture Printer")),
    });
    if (server.windows) { // resources
        rows.insert(rows.end(), {
            Effect(Dll("SynthEditResource"), Fx("FxSe", "Fixture SynthEdit", [](SPluginRecord& r) { r.synthEdit = true; })),
            Effect(Dll("VersionFromFile"), Fx("FxVF", "Fixture File Version", [](SPluginRecord& r) { r.version = "1.2.3.4"; })),
            Effect(Dll("VersionFromProduct"), Fx("FxVP", "Fixture Product Version", [](SPluginRecord& r) { r.version = "2.5.1.0"; })),
        });
    }
    rows.insert(rows.end(), {
        Effect(Dll("NameLatin1"), Fx("FxL1", "Caf\xC3\xA9 Chorus")),
        Effect(Dll("NameSpecialChars"), Fx("FxQS", "Quote \" Slash / Backslash \\ End", [](SPluginRecord& r) {
                   r.vendor = "Vendor \"Q\" A/B\\C";
                   r.product = "Product \\ / \"";
               })),
        {Dll("MainOnly") + "\n", Called(Dll("MainOnly"), {}, "info:Found main()") + kClosed, Fx("FxMO", "Fixture Main Only")},
        Effect(Dll("NameOverrun"), Fx("FxOv", "", [](SPluginRecord& r) { // cut after 512 bytes
                   for (int i = 0; i < 512; ++i)
                       r.name.push_back(static_cast<char>('A' + i % 26));
               })),
        Effect(Dll("Reporter") + ">0000BEEF",
               Fx("FxRp", "v=2400;id=48879;sr=44100;bs=512;pl=4;hv=3;ni=1;vendor=Vostrel Software(1);"
                          "product=Tessivane(1);canShellCategory=1;canOpenFileSelector=0;op0=0;op5=0;nullVendor=0;"
                          "nullProduct=0;nullCanDo=0"),
               {kIdCall, kCall + "16 - audioMasterGetSampleRate", kCall + "17 - audioMasterGetBlockSize",
                kCall + "23 - audioMasterGetCurrentProcessLevel", kCall + "34 - audioMasterGetVendorVersion",
                kCall + "14 - audioMasterNeedIdle", kCall + "32 - audioMasterGetVendorString",
                kCall + "33 - audioMasterGetProductString", "info:Query host can do: 'ShellCategory'",
                "info:Query host can do: 'openFileSelector'", kCall + "0 - audioMasterAutomate", kCall + "5 - <unknown>",
                "warn:Unhandled audioMaster opCode - 5", kCall + "32 - audioMasterGetVendorString",
                kCall + "33 - audioMasterGetProductString", "info:Query host can do: '(null)'"}),
        Effect(Dll("ShellEmpty"), Fx("FxSE", "Fixture Empty Shell", shellCategory), {kIdCall}),
        Effect(Dll("ShellSynthFlag"), Fx("FxSS", "Fixture Synth Shell", [](SPluginRecord& r) { r.category = kPlugCategorySynth; }),
               {kIdCall}),
        Effect(shell, Fx("FxSh", "Fixture Shell", [](SPluginRecord& r) {
                   r.category = kPlugCategoryShell;
                   r.shells = {{5, "Fixture Sub Five"}, {7, "Fixture Sub Seven"}};
               }),
               {kIdCall, "info:Found shell: 00000005 - Fixture Sub Five", "info:Found shell: 00000007 - Fixture Sub Seven",
                "info:Found shell: 00000005 - Fixture Sub Five Again", "info:   - duplicate, ignoring"},
               kKept),
        // The sub-plug-in comes from the cached library, which saw id 7 through audioMasterCurrentId.
        {shell + ">00000007\n",
         CLines{Scanning(shell + ">00000007"), "info:Re-using previous library instance...", kLooking,
                "info:Found VSTPluginMain()", "info:Calling entry point...", kVersionCall, kIdCall} + kKept,
         Fx("FxSh", "Fixture Sub Seven", [](SPluginRecord& r) { r.id = 7; })},
        Effect(Dll("PlainEffect"), Fx("FxPl", "Fixture Plain Effect", plain), {}, kClosed, kFreeShell),
        Effect(Dll("ShellUnnamedEntry"), Fx("FxSU", "Fixture Unnamed Shell", [](SPluginRecord& r) {
                   r.category = kPlugCategoryShell;
                   r.shells = {{0x21, "Fixture Named Sub"}, {0x22, ""}, {0x23, "Fixture Last Sub"}};
               }),
               {kIdCall, "info:Found shell: 00000021 - Fixture Named Sub", "info:Found shell: 00000022 - ",
                "info:Found shell: 00000023 - Fixture Last Sub"},
               kKept),
    });
    // An endless shell is stopped after 10,000 sub-plug-ins (the cached shell is freed first).
    SRow endless = Effect(Dll("ShellEndless"), Fx("FxSL", "Fixture Endless Shell", shellCategory), {kIdCall}, kKept, kFreeShell);
    for (uint32_t i = 0; i < 10000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Endless Sub %04u", static_cast<unsigned>(i + 1));
        endless.record.shells.push_back({0x45000001 + i, name});
        endless.log.insert(endless.log.end() - 3, "info:Found shell: " + HexId(0x45000001 + i) + " - " + name);
    }
    endless.log.insert(endless.log.end() - 3, "warn:Shell enumeration stopped after 10000 calls");
    rows.push_back(endless);
    return rows;
}

/// A row whose server ends: started with its own options, sent the fixture (if any).
struct SEnding {
    const char* fixture; ///< empty: no request
    CLines log;          ///< the exact lines up to the end
    EWaitResult wait;    ///< Closed: the server ends by itself (exit code 9 unless there is no fixture)
    bool dumps = true;   ///< started with a dump folder: one dump of an access violation
    bool input = true, output = true; ///< the handles it gets (without output: standard output)
    bool ownThread = false;           ///< the dump's crashing thread is not the first
    /// The plug-in leaves its helper program running, which inherited what it could:
    /// the host's pipes close with the server all the same, within the same patience.
    bool helper = false;
    SServerOptions options = {};
};

std::vector<SEnding> Endings(const SServer& server)
{
    const auto crash = [&server](const char* fixture) { return Called(Library(server, fixture)); };
    // Without an input handle a Windows server never writes "ready:"; the Linux server serves standard input.
    const EWaitResult withoutInput = server.windows ? EWaitResult::TimedOut : EWaitResult::Closed;
    std::vector<SEnding> endings;
    endings.push_back({"CrashInEntry", crash("CrashInEntry"), EWaitResult::Closed});
    endings.push_back({"CrashInEntry", crash("CrashInEntry"), EWaitResult::Closed, false});
    endings.push_back({"OwnFilterThenCrash", crash("OwnFilterThenCrash"), EWaitResult::Closed}); // not its own 77
    endings.push_back({"OwnFilterInCallThenCrash", crash("OwnFilterInCallThenCrash"), EWaitResult::Closed});
    endings.push_back({"CrashOnOwnThread", crash("CrashOnOwnThread"), EWaitResult::Closed, true, true, true, true});
    SEnding helper = {"HelperThenCrash", crash("HelperThenCrash"), EWaitResult::Closed};
    helper.helper = true;
    endings.push_back(helper);
    if (server.windows)
        endings.push_back({"CrashInDllMain", {}, EWaitResult::Closed}); // or a failed load, never a hang
    endings.push_back({"HangInEntry", crash("HangInEntry"), EWaitResult::TimedOut, false});
    endings.push_back({"", {}, EWaitResult::Closed, false});                      // closing the idle input ends it with 0
    endings.push_back({"", {}, withoutInput, false, false});                      // no input
    endings.push_back({"", {}, withoutInput, false, false, false});               // standard input and output
    return endings;
}

/// The lines with the module address (upper-case hex digits) replaced: it differs from run to run.
CLines Normalised(CLines lines, const SServer& server)
{
    const std::regex address("^(info:Looking for entry point in module )[0-9A-F]{" +
                             std::to_string(server.addressDigits) + "}$");
    for (std::string& line : lines)
        line = std::regex_replace(line, address, "$1<address>");
    return lines;
}

/// The name of the folder's one file (a failed check when there are others or none).
std::string OnlyFile(const std::string& folder)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::u8path(folder)))
        names.push_back(entry.path().filename().u8string());
    EXPECT_EQ(1u, names.size());
    return names.size() == 1 ? names[0] : std::string();
}

#ifdef _WIN32
/// Checks the folder's one dump with DbgHelp's own reader: an access violation on a
/// listed thread, not the first one when onOwnThread.
void CheckDump(const std::string& folder, const SServer& server, const char*, bool onOwnThread)
{
    const std::string name = OnlyFile(folder);
    ASSERT_FALSE(name.empty());
    EXPECT_TRUE(std::regex_match(name, std::regex(std::string("ScanServer-") + server.platform + "-\\d{4}(-\\d\\d){5}\\.mdmp"))) << name;
    std::string bytes = ReadTextFile(folder + "\\" + name);
    void* exception = nullptr;
    void* threads = nullptr;
    ULONG size = 0;
    ASSERT_TRUE(bytes.size() > sizeof(MINIDUMP_HEADER) &&
                MiniDumpReadDumpStream(&bytes[0], ExceptionStream, nullptr, &exception, &size) &&
                MiniDumpReadDumpStream(&bytes[0], ThreadListStream, nullptr, &threads, &size));
    const auto& stream = *static_cast<const MINIDUMP_EXCEPTION_STREAM*>(exception);
    const auto& list = *static_cast<const MINIDUMP_THREAD_LIST*>(threads);
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), stream.ExceptionRecord.ExceptionCode);
    const auto end = list.Threads + list.NumberOfThreads;
    const auto crashed = std::find_if(list.Threads, end, [&](const MINIDUMP_THREAD& t) { return t.ThreadId == stream.ThreadId; });
    EXPECT_NE(end, crashed) << "the dump lists the crashing thread";
    EXPECT_TRUE(!onOwnThread || crashed != list.Threads) << "the plug-in's own thread crashed";
}

BOOL CALLBACK FindSplash(HWND window, LPARAM parameter)
{
    auto& [processId, splash] = *reinterpret_cast<std::pair<DWORD, HWND>*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t name[64] = {};
    GetClassNameW(window, name, sizeof name / sizeof name[0]);
    if (owner == processId && WideFromUtf8(kSplashWindowClass) == name)
        splash = window;
    return splash == nullptr;
}

/// The splash window of the process; null when it shows none.
HWND SplashWindowOf(uint32_t processId)
{
    std::pair<DWORD, HWND> search{processId, nullptr};
    EnumWindows(FindSplash, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

/// Sets the environment variable for the servers started from now on; an empty value removes it.
void SetVariable(const char* name, const std::string& value)
{
    SetEnvironmentVariableW(WideFromUtf8(name).c_str(), value.empty() ? nullptr : WideFromUtf8(value).c_str());
}

bool IsHelperRunning(unsigned long processId)
{
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    const bool running = process != nullptr && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    if (process != nullptr)
        CloseHandle(process);
    return running;
}

void EndHelper(unsigned long processId)
{
    const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
    if (process == nullptr)
        return;
    TerminateProcess(process, 1);
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
}
#else
std::string RegexQuoted(const std::string& text) { return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)"); }

/// Checks the folder's one crash report: a write to a page without access in the
/// fixture's library, while it was the request, on the plug-in's own thread when
/// onOwnThread (else on the main thread, whose frames reach the server's).
void CheckDump(const std::string& folder, const SServer& server, const char* fixture, bool onOwnThread)
{
    const std::string name = OnlyFile(folder);
    ASSERT_FALSE(name.empty());
    EXPECT_TRUE(std::regex_match(name, std::regex(std::string("ScanServer-linux-") + server.platform + "-\\d{4}(-\\d\\d){5}\\.txt"))) << name;
    const std::string report = ReadTextFile(folder + "/" + name);
    const std::string library = RegexQuoted(Library(server, fixture));
    const std::regex shape(std::string("Tessivane Plugin Scan Server \\(") + server.system + " " + server.platform + "\\) crashed\n"
                           "signal: 11 SIGSEGV, code 2 SEGV_ACCERR\naddress: 0x[0-9A-F]{16}\n"
                           "thread: (\\d+) of process (\\d+)\n"
                           "instruction: (0x[0-9A-F]{16} " + library + "\\+0x[0-9A-F]+( \\(\\w+\\+0x[0-9A-F]+\\))?)\n"
                           "request: " + library + "\nbacktrace:\n#0 \\3\n(#\\d+ 0x[0-9A-F]{16} .+\n)+");
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(report, parts, shape)) << report;
    EXPECT_EQ(onOwnThread, parts[1] != parts[2]) << report;
    EXPECT_EQ(!onOwnThread, report.find(" " + BinaryFolder() + server.program + "+0x") != std::string::npos) << report;
    EXPECT_TRUE(std::regex_search(report, std::regex(R"(\n#\d+ .+ \(\w+\+0x[0-9A-F]+\)\n)"))) << "an exported symbol names a frame";
}

void SetVariable(const char* name, const std::string& value)
{
    if (value.empty())
        unsetenv(name);
    else
        setenv(name, value.c_str(), 1);
}

/// Whether the process runs: it is there and has not ended (an ended one that is
/// not yet reaped is in state Z, or X, after its command in parentheses).
bool IsHelperRunning(unsigned long processId)
{
    const std::string status = ReadTextFile("/proc/" + std::to_string(processId) + "/stat");
    const std::size_t command = status.rfind(')');
    return command != std::string::npos && command + 2 < status.size() && status[command + 2] != 'Z' &&
           status[command + 2] != 'X';
}

void EndHelper(unsigned long processId)
{
    if (IsHelperRunning(processId))
        kill(static_cast<pid_t>(processId), SIGKILL);
}
#endif

/// The helper program that HelperThenCrash starts, found by the process id the
/// fixture writes to the file that the environment names while this lives; ended
/// when this ends, whatever the checks found.
class CFixtureHelper {
public:
    CFixtureHelper() : m_file(MakeTemporaryFolder("scan-helper") + kPathSeparator + "helper.pid")
    {
        SetVariable(kFixtureHelperFileVariable, m_file);
    }
    ~CFixtureHelper()
    {
        SetVariable(kFixtureHelperFileVariable, "");
        if (ProcessId() != 0)
            EndHelper(ProcessId());
    }
    CFixtureHelper(const CFixtureHelper&) = delete;
    CFixtureHelper& operator=(const CFixtureHelper&) = delete;

    /// Whether the fixture started the helper and it still runs.
    bool IsRunning() const { return ProcessId() != 0 && IsHelperRunning(ProcessId()); }

private:
    /// 0 until the fixture has written it.
    unsigned long ProcessId() const
    {
        return std::strtoul(ReadTextFile(m_file).c_str(), nullptr, 10);
    }

    std::string m_file;
};

/// How long an ending server may take to end once its output has closed.
constexpr uint32_t kExitWaitMs = 30000;

/// Whether the host's writes start failing within waitMs, as they do once no
/// process holds the input pipe's read end (the server's end closes as it ends).
bool WritesFailWithin(CServerConnection& server, uint32_t waitMs)
{
    // A few bytes each time: a pipe whose reader lives on must not fill up and block the write.
    constexpr auto kRetry = std::chrono::milliseconds(50);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (server.Write("\n")) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(kRetry);
    }
    return true;
}

void CheckEnding(const SEnding& ending, CServerConnection& server, const SServer& program, const CFixtureHelper& helper)
{
    const bool idle = *ending.fixture == 0 && ending.wait == EWaitResult::Closed;
    if (idle)
        server.CloseInput();
    CLines lines;
    const EWaitResult result = server.ReadUntilReady(&lines);
    if (ending.wait == EWaitResult::TimedOut) {
        EXPECT_EQ(EWaitResult::TimedOut, result);
        EXPECT_EQ(ending.log, Normalised(lines, program));
        EXPECT_FALSE(server.IsRunning());
        return;
    }
    ASSERT_NE(EWaitResult::TimedOut, result);
    if (ending.helper) {
        // Before the host reaps the server, which on Linux ends what is left of its process group.
        EXPECT_TRUE(helper.IsRunning()) << "the helper outlives the server";
        EXPECT_TRUE(WritesFailWithin(server, kExitWaitMs)) << "the input pipe keeps no reader";
    }
    server.CloseInput();
    uint32_t exitCode = 0;
    ASSERT_TRUE(server.WaitForExit(kExitWaitMs, exitCode));
    if (result == EWaitResult::Ready && std::string(ending.fixture) == "CrashInDllMain") { // the loader failed the load
        EXPECT_EQ(0u, exitCode);
        EXPECT_EQ(1, std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
                      return line.rfind(">:  \"error\":     \"Failed to load library, err=", 0) == 0;
                  }));
        return;
    }
    EXPECT_EQ(idle ? 0u : 9u, exitCode);
    // The entry point waits 60 s for its crashing thread, which can run out while Wine writes the dump.
    if (ending.ownThread && lines.size() > ending.log.size())
        lines.resize(ending.log.size());
    if (std::string(ending.fixture) != "CrashInDllMain") {
        EXPECT_EQ(ending.log, Normalised(lines, program)) << "no record after a crash";
    }
    if (ending.dumps)
        CheckDump(ending.options.dumpFolder, program, ending.fixture, ending.ownThread);
}

TEST(Server, AnswersEveryRow)
{
    for (const SServer& program : kServers) {
        SCOPED_TRACE(program.program);
#ifdef _WIN32
        // The version Windows shows in the file's properties.
        EXPECT_EQ("1.0.0.0 1.0.0 " + std::string(program.program), VersionResource(program.program));
#endif
        // A machine that cannot run 32-bit programs leaves that column out.
        if (!StartsOnThisMachine(program.program)) {
            EXPECT_NE(kPlatformX64, std::string(program.platform));
            continue;
        }
        const std::vector<SRow> rows = Rows(program);
        const std::string banner = std::string("info:Tessivane Plugin Scan Server (") +
                                   (program.system != nullptr ? program.system + std::string(" ") : "") + program.platform + ")";
        // The banner first, then "ready:" unless the server has no input; waited for without the silence
        // time-out, since several servers start at once.
        const auto start = [&](CServerConnection& server, SServerOptions& options) {
            options.serverPath = BinaryFolder() + program.program;
            ASSERT_TRUE(server.Start(options)) << server.GetError();
            const bool serves = options.passInputHandle || !program.windows;
            std::string first, second;
            EXPECT_EQ(ELineWait::Line, server.WaitForLine(first, 60000));
            EXPECT_EQ(banner, first);
            EXPECT_EQ(serves ? ELineWait::Line : ELineWait::Nothing, server.WaitForLine(second, serves ? 60000 : 1000));
            EXPECT_EQ(serves ? "ready:" : "", second);
        };
        // Each row that ends its server gets one of its own, all started at once: a dump takes Wine seconds.
        std::vector<SEnding> endings = Endings(program);
        std::deque<CServerConnection> servers(endings.size());
        const CFixtureHelper helper; // ended before the servers' connections end
        for (std::size_t i = 0; i < endings.size(); ++i) {
            SEnding& ending = endings[i];
            ending.options.silenceTimeoutMs = ending.wait == EWaitResult::TimedOut ? 1500 : 120000;
            ending.options.passInputHandle = ending.input;
            ending.options.passOutputHandle = ending.output;
            if (ending.dumps)
                ending.options.dumpFolder = MakeTemporaryFolder("scan-dumps");
            start(servers[i], ending.options);
            if (*ending.fixture != 0) {
                ASSERT_TRUE(servers[i].SendRequest(Library(program, ending.fixture)));
            }
        }
        // The Linux server runs as a filter (standard input and output), where a plug-in's printing is most at risk.
        SServerOptions options;
        options.passInputHandle = options.passOutputHandle = program.windows;
        CServerConnection server;
        start(server, options);
#ifdef _WIN32
        // A user may close the splash: the server goes on answering every row and still ends with 0.
        const HWND splash = SplashWindowOf(server.GetProcessId());
        ASSERT_NE(nullptr, splash);
        PostMessageW(splash, WM_CLOSE, 0, 0);
#endif
        for (const SRow& row : rows) {
            SPluginRecord record = row.record;
            record.platform = program.platform;
            CLines expected = row.log;
            for (const std::string& line : record_lines::Lines(record))
                expected.push_back(">:" + line);
            CLines lines;
            EXPECT_TRUE(server.Write(row.write));
            EXPECT_EQ(EWaitResult::Ready, server.ReadUntilReady(&lines));
            EXPECT_EQ(expected, Normalised(lines, program)) << row.write.substr(0, 100);
        }
#ifdef _WIN32
        EXPECT_FALSE(IsWindow(splash)) << "the closed splash is gone";
#endif
        // Closing the input frees the cached shell and ends the server with 0.
        server.CloseInput();
        CLines lines;
        EXPECT_EQ(EWaitResult::Closed, server.ReadUntilReady(&lines));
        EXPECT_EQ(kFreeShell, lines);
        uint32_t exitCode = 1;
        EXPECT_TRUE(server.WaitForExit(30000, exitCode));
        EXPECT_EQ(0u, exitCode);
        for (std::size_t i = 0; i < endings.size(); ++i) {
            SCOPED_TRACE(std::string(endings[i].fixture) + (endings[i].input ? "" : " without input"));
            CheckEnding(endings[i], servers[i], program, helper);
        }
    }
}

} // namespace
