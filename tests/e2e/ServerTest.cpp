// The real server under Wine, one table run by every server program: what the
// host writes, and the exact transcript (module address normalised) and record
// it gets back, or how the server ends (a crash: exit code 9 and its dump; a
// hang: the host's silence time-out; no input: its banner only).

#include "client/ServerConnection.h"
#include "e2e/Harness.h"
#include "foundation/Win32.h"
#include "support/RecordLines.h"

#include <dbghelp.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <regex>

namespace {

/// A server program for one platform.
struct SServer {
    const char* program;
    const char* platform;
};
const SServer kServers[] = {{"ScanServer-x64.exe", "x64"}};

enum class EEnd {
    Record,        ///< served by the one server that serves every such row in turn
    Idle,          ///< no request: closing the input ends the server with 0, silently
    Crash,         ///< exit code 9, one dump whose exception thread is listed
    CrashOnThread, ///< a Crash on a thread other than the first
    CrashNoDumps,  ///< a Crash of a server started without a dump folder: no dump
    CrashOrFail,   ///< either the failed load's record or a Crash: never a hang
    Hang,          ///< the host stops the silent server
    NoInput,       ///< started without an input handle: its banner to the handle argument, never "ready:"
    NoArguments,   ///< started without arguments: its banner to standard output, never "ready:"
};

using CLines = std::vector<std::string>;

struct SRow {
    std::string write; ///< the bytes the host writes (the fixture, for a row that ends its server)
    CLines log;        ///< the exact lines before the record (or up to the end)
    SPluginRecord record;
    EEnd end = EEnd::Record;
};

CLines operator+(CLines head, const CLines& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

std::string Dll(const std::string& fixture) { return FixturePath(fixture + ".dll"); }
std::string Scanning(const std::string& request) { return "info:Scanning plugin: '" + request + "'"; }
const char* const kLoading = "info:Loading library...";
const char* const kLooking = "info:Looking for entry point in module <address>";
const char* const kVersionCall = "info:Audio master callback: 1 - audioMasterVersion";
const char* const kIdCall = "info:Audio master callback: 2 - audioMasterCurrentId";
const CLines kFreed = {"info:Freeing library...", "info:Finished"};
const CLines kClosed = CLines{"info:Dispatching effClose..."} + kFreed;
const CLines kKept = {"info:Dispatching effClose...", "info:Keeping shell library loaded for now...", "info:Finished"};
const CLines kFreeShell = {"info:Freeing cached library...", "info:Freed"};

/// Loading the request's library (after freeing the cached shell) and calling its entry point.
CLines Called(const std::string& request, const CLines& freeing = {}, const char* found = "info:Found VSTPluginMain()")
{
    return CLines{Scanning(request)} + freeing + CLines{kLoading, kLooking, found, "info:Calling entry point..."};
}

SPluginRecord Failed(const char* error)
{
    SPluginRecord record;
    record.error = error;
    return record;
}

/// A request for a file that does not exist: served, but the library does not load.
SRow Missing(const std::string& write, const std::string& served, const char* error = "Failed to load library, err=126")
{
    return {write, {Scanning(served), kLoading, std::string("error:") + error}, Failed(error)};
}

/// A fixture the probe turns down after the probe lines.
SRow Refused(const char* fixture, const CLines& probe, const char* error)
{
    return {Dll(fixture) + "\n", probe + kFreed + CLines{std::string("error:") + error}, Failed(error)};
}

/// A fixture's record: a stereo effect of the fixtures' vendor unless adjust says otherwise.
SPluginRecord Fx(const char* code, const char* name, void (*adjust)(SPluginRecord&) = nullptr)
{
    SPluginRecord record;
    record.id = static_cast<uint32_t>(code[0]) << 24 | static_cast<uint32_t>(code[1]) << 16 |
                static_cast<uint32_t>(code[2]) << 8 | static_cast<uint32_t>(code[3]);
    record.name = name;
    record.vendor = "Tessivane Fixtures";
    record.product = "Fixture Plug-ins";
    record.version = "1.0.0.0";
    record.numInputs = record.numOutputs = 2;
    record.category = kPlugCategoryEffect;
    if (adjust != nullptr)
        adjust(record);
    return record;
}

/// A request whose entry point makes the calls and whose effect is closed.
SRow Effect(const std::string& request, const SPluginRecord& record, const CLines& calls = {kVersionCall},
            const CLines& closing = kClosed, const CLines& freeing = {})
{
    return {request + "\n", Called(request, freeing) + calls + closing, record};
}

/// A path of exactly length bytes.
std::string PathOfLength(std::size_t length) { return "C:\\" + std::string(length - 7, 'p') + ".dll"; }

/// The server reads a request in pieces of this many bytes.
constexpr std::size_t kServerReadSize = 1024;

std::vector<SRow> Rows()
{
    const std::string shell = Dll("ShellDuplicates");
    const std::string utf8 = "C:\\Plug-ins\\Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB9.dll";
    const auto plain = [](SPluginRecord& r) { r.version = "1.1.0.0"; };
    const auto shellCategory = [](SPluginRecord& r) { r.category = kPlugCategoryShell; };
    std::vector<SRow> rows;
    // With its newline, 1023 bytes fill one read; 1024 leave only the newline waiting.
    for (std::size_t length : {1023, 1024, 1025, 5000})
        rows.push_back(Missing(PathOfLength(length) + "\n", PathOfLength(length)));
    // Longer than any Windows path: an invalid name.
    rows.push_back(Missing(PathOfLength(40000) + "\n", PathOfLength(40000), "Failed to load library, err=123"));
    rows.insert(rows.end(), {
        Missing("C:\\VST\\Gain.dll\n", "C:\\VST\\Gain.dll"),
        Missing("C:\\VST\\Bare.dll", "C:\\VST\\Bare.dll"), // a write without a newline is taken whole
        Missing(PathOfLength(kServerReadSize), PathOfLength(kServerReadSize)),
        Missing(PathOfLength(2 * kServerReadSize), PathOfLength(2 * kServerReadSize)),
        Missing("C:\\VST\\Crlf.dll\r\n", "C:\\VST\\Crlf.dll?"), // the carriage return echoed as '?'
        Missing("\n", ""),
        Missing(std::string("C:\\A.dll\0junk\n", 14), "C:\\A.dll"),
        Missing(utf8 + "\n", utf8),
        Missing("C:\\\xC3(.dll\n", "C:\\\xEF\xBF\xBD(.dll"), // ill-formed UTF-8 becomes U+FFFD
        Missing("first\nsecond\n", "first"),                // the second request of a write is dropped
        Missing("third\n", "third"),
        {std::string(200 * 1024, 'x') + "\n", {"error:Request too long, ignoring"}, Failed("Request too long, ignoring")},
        Missing("next\n", "next"),
        Effect(Dll("PlainEffect"), Fx("FxPl", "Fixture Plain Effect", plain)),
        Refused("JBridgeStub", {Scanning(Dll("JBridgeStub")), kLoading, kLooking},
                "Module is a jBridge bootstrap, ignoring"),
        Refused("NoEntryPoint", {Scanning(Dll("NoEntryPoint")), kLoading, kLooking},
                "Entry point not found, not a VST plugin"),
        Refused("EntryReturnsNull", Called(Dll("EntryReturnsNull")) + CLines{kVersionCall}, "Entry point returned NULL"),
        Refused("BadMagic", Called(Dll("BadMagic")) + CLines{kVersionCall}, "Bad magic"),
        Effect(Dll("SynthFlagCategoryEffect"), Fx("FxSy", "Fixture Synth Flag", [](SPluginRecord& r) {
                   r.numInputs = 0;
                   r.category = kPlugCategorySynth;
                   r.audio64 = r.wantsMidi = r.sendsMidi = true;
               })),
        Effect(Dll("CategoryZeroWithInputs"), Fx("FxZ2", "Fixture Category Zero In")),
        Effect(Dll("CategoryZeroNoInputs"), Fx("FxZ0", "Fixture Category Zero", [](SPluginRecord& r) {
                   r.numInputs = 0;
                   r.category = kPlugCategorySynth;
               })),
        Effect(Dll("CanDoZero"), Fx("FxC0", "Fixture CanDo Zero", [](SPluginRecord& r) { r.wantsMidi = r.sendsMidi = true; })),
        Effect(Dll("CanDoEventsOnly"),
               Fx("FxCE", "Fixture CanDo Events", [](SPluginRecord& r) { r.wantsMidi = r.sendsMidi = true; })),
        Effect(Dll("CanDoNoButWantMidi"), Fx("FxWM", "Fixture Want Midi", [](SPluginRecord& r) { r.wantsMidi = true; }),
               {kVersionCall, "info:Audio master callback: 6 - audioMasterWantMidi"}),
        Effect(Dll("SynthEditResource"), Fx("FxSe", "Fixture SynthEdit", [](SPluginRecord& r) { r.synthEdit = true; })),
        Effect(Dll("VersionFromFile"), Fx("FxVF", "Fixture File Version", [](SPluginRecord& r) { r.version = "1.2.3.4"; })),
        Effect(Dll("VersionFromProduct"),
               Fx("FxVP", "Fixture Product Version", [](SPluginRecord& r) { r.version = "2.5.1.0"; })),
        Effect(Dll("NameLatin1"), Fx("FxL1", "Caf\xC3\xA9 Chorus")),
        Effect(Dll("NameSpecialChars"), Fx("FxQS", "Quote \" Slash / Backslash \\ End", [](SPluginRecord& r) {
                   r.vendor = "Vendor \"Q\" A/B\\C";
                   r.product = "Product \\ / \"";
               })),
        {Dll("MainOnly") + "\n", Called(Dll("MainOnly"), {}, "info:Found main()") + CLines{kVersionCall} + kClosed,
         Fx("FxMO", "Fixture Main Only")},
        Effect(Dll("NameOverrun"), Fx("FxOv", "", [](SPluginRecord& r) { // cut after 512 bytes
                   for (int i = 0; i < 512; ++i)
                       r.name.push_back(static_cast<char>('A' + i % 26));
               })),
        Effect(Dll("Reporter") + ">0000BEEF",
               Fx("FxRp", "v=2400;id=48879;sr=44100;bs=512;pl=4;hv=3;ni=1;vendor=Vostrel Software(1);"
                          "product=Tessivane(1);canShellCategory=1;canOpenFileSelector=0;op0=0;op5=0;nullVendor=0;"
                          "nullProduct=0;nullCanDo=0"),
               {kVersionCall, kIdCall, "info:Audio master callback: 16 - audioMasterGetSampleRate",
                "info:Audio master callback: 17 - audioMasterGetBlockSize",
                "info:Audio master callback: 23 - audioMasterGetCurrentProcessLevel",
                "info:Audio master callback: 34 - audioMasterGetVendorVersion",
                "info:Audio master callback: 14 - audioMasterNeedIdle",
                "info:Audio master callback: 32 - audioMasterGetVendorString",
                "info:Audio master callback: 33 - audioMasterGetProductString", "info:Query host can do: 'ShellCategory'",
                "info:Query host can do: 'openFileSelector'", "info:Audio master callback: 0 - audioMasterAutomate",
                "info:Audio master callback: 5 - <unknown>", "warn:Unhandled audioMaster opCode - 5",
                "info:Audio master callback: 32 - audioMasterGetVendorString",
                "info:Audio master callback: 33 - audioMasterGetProductString", "info:Query host can do: '(null)'"}),
        Effect(Dll("ShellEmpty"), Fx("FxSE", "Fixture Empty Shell", shellCategory), {kVersionCall, kIdCall}),
        Effect(Dll("ShellSynthFlag"), Fx("FxSS", "Fixture Synth Shell", [](SPluginRecord& r) { r.category = 2; }),
               {kVersionCall, kIdCall}),
        Effect(shell, Fx("FxSh", "Fixture Shell", [](SPluginRecord& r) {
                   r.category = kPlugCategoryShell;
                   r.shells = {{5, "Fixture Sub Five"}, {7, "Fixture Sub Seven"}};
               }),
               {kVersionCall, kIdCall, "info:Found shell: 00000005 - Fixture Sub Five",
                "info:Found shell: 00000007 - Fixture Sub Seven", "info:Found shell: 00000005 - Fixture Sub Five Again",
                "info:   - duplicate, ignoring"},
               kKept),
        // The sub-plug-in comes from the cached library, which saw id 7 through audioMasterCurrentId.
        {shell + ">00000007\n",
         CLines{Scanning(shell + ">00000007"), "info:Re-using previous library instance...", kLooking,
                "info:Found VSTPluginMain()", "info:Calling entry point...", kVersionCall, kIdCall} + kKept,
         Fx("FxSh", "Fixture Sub Seven", [](SPluginRecord& r) { r.id = 7; })},
        Effect(Dll("PlainEffect"), Fx("FxPl", "Fixture Plain Effect", plain), {kVersionCall}, kClosed, kFreeShell),
        Effect(Dll("ShellUnnamedEntry"), Fx("FxSU", "Fixture Unnamed Shell", [](SPluginRecord& r) {
                   r.category = kPlugCategoryShell;
                   r.shells = {{0x21, "Fixture Named Sub"}, {0x22, ""}, {0x23, "Fixture Last Sub"}};
               }),
               {kVersionCall, kIdCall, "info:Found shell: 00000021 - Fixture Named Sub", "info:Found shell: 00000022 - ",
                "info:Found shell: 00000023 - Fixture Last Sub"},
               kKept),
    });
    // An endless shell is stopped after 10,000 sub-plug-ins (the cached shell is freed first).
    SRow endless = Effect(Dll("ShellEndless"), Fx("FxSL", "Fixture Endless Shell", shellCategory),
                          {kVersionCall, kIdCall}, kKept, kFreeShell);
    for (uint32_t i = 0; i < 10000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Endless Sub %04u", static_cast<unsigned>(i + 1));
        endless.record.shells.push_back({0x45000001 + i, name});
        endless.log.insert(endless.log.end() - 3, "info:Found shell: " + HexId(0x45000001 + i) + " - " + name);
    }
    endless.log.insert(endless.log.end() - 3, "warn:Shell enumeration stopped after 10000 calls");
    rows.push_back(endless);
    rows.push_back({"CrashInEntry", Called(Dll("CrashInEntry")) + CLines{kVersionCall}, {}, EEnd::Crash});
    rows.push_back({"CrashInEntry", Called(Dll("CrashInEntry")) + CLines{kVersionCall}, {}, EEnd::CrashNoDumps});
    rows.push_back({"OwnFilterThenCrash", Called(Dll("OwnFilterThenCrash")) + CLines{kVersionCall}, {}, EEnd::Crash});
    rows.push_back({"CrashOnOwnThread", Called(Dll("CrashOnOwnThread")) + CLines{kVersionCall}, {},
                    EEnd::CrashOnThread});
    rows.push_back({"CrashInDllMain", {}, {}, EEnd::CrashOrFail});
    rows.push_back({"HangInEntry", Called(Dll("HangInEntry")) + CLines{kVersionCall}, {}, EEnd::Hang});
    rows.push_back({"", {}, {}, EEnd::Idle});
    rows.push_back({"", {}, {}, EEnd::NoInput});
    rows.push_back({"", {}, {}, EEnd::NoArguments});
    return rows;
}

/// The lines with the module address (sixteen upper-case hex digits) replaced: it differs from run to run.
CLines Normalised(CLines lines)
{
    static const std::regex address("^(info:Looking for entry point in module )[0-9A-F]{16}$");
    for (std::string& line : lines)
        line = std::regex_replace(line, address, "$1<address>");
    return lines;
}

/// Checks a crash's dump with DbgHelp's own reader: an access violation on a
/// listed thread, not the first one when onOwnThread.
void CheckDump(const std::string& path, bool onOwnThread)
{
    std::string bytes = ReadTextFile(path);
    void* exception = nullptr;
    void* threads = nullptr;
    ULONG size = 0;
    ASSERT_TRUE(bytes.size() > sizeof(MINIDUMP_HEADER) &&
                MiniDumpReadDumpStream(&bytes[0], ExceptionStream, nullptr, &exception, &size) &&
                MiniDumpReadDumpStream(&bytes[0], ThreadListStream, nullptr, &threads, &size))
        << path;
    const auto& stream = *static_cast<const MINIDUMP_EXCEPTION_STREAM*>(exception);
    const auto& list = *static_cast<const MINIDUMP_THREAD_LIST*>(threads);
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), stream.ExceptionRecord.ExceptionCode);
    const auto end = list.Threads + list.NumberOfThreads;
    const auto crashed =
        std::find_if(list.Threads, end, [&](const MINIDUMP_THREAD& t) { return t.ThreadId == stream.ThreadId; });
    EXPECT_NE(end, crashed) << "the dump lists the crashing thread";
    EXPECT_TRUE(!onOwnThread || crashed != list.Threads) << "the plug-in's own thread crashed";
}

/// A server of its own for a row that ends it.
struct SEnding {
    explicit SEnding(const SRow& ended) : row(ended) {}
    const SRow& row;
    SServerOptions options;
    CServerConnection server;
};

void CheckEnding(SEnding& ending, const std::string& dumpName)
{
    const EEnd end = ending.row.end;
    if (end == EEnd::Idle)
        ending.server.CloseInput();
    CLines lines;
    const EWaitResult result = ending.server.ReadUntilReady(&lines);
    if (end == EEnd::Idle) {
        EXPECT_EQ(EWaitResult::Closed, result);
        EXPECT_EQ(CLines(), lines);
    }
    if (end >= EEnd::Hang) {
        EXPECT_EQ(EWaitResult::TimedOut, result);
        EXPECT_EQ(ending.row.log, Normalised(lines));
        EXPECT_FALSE(ending.server.IsRunning());
        return;
    }
    ASSERT_NE(EWaitResult::TimedOut, result);
    ending.server.CloseInput();
    uint32_t exitCode = 0;
    ASSERT_TRUE(ending.server.WaitForExit(30000, exitCode));
    if (end == EEnd::CrashOrFail && result == EWaitResult::Ready) { // the loader made it a failed load
        EXPECT_EQ(0u, exitCode);
        EXPECT_EQ(1, std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
                      return line.rfind(">:  \"error\":     \"Failed to load library, err=", 0) == 0;
                  }));
        return;
    }
    EXPECT_EQ(end == EEnd::Idle ? 0u : 9u, exitCode);
    if (end == EEnd::Idle)
        return;
    // The entry point waits 60 s for its crashing thread, which can run out while Wine writes the dump.
    if (end == EEnd::CrashOnThread && lines.size() > ending.row.log.size())
        lines.resize(ending.row.log.size());
    if (end != EEnd::CrashOrFail) {
        EXPECT_EQ(ending.row.log, Normalised(lines)) << "no record after a crash";
    }
    const CLines dumps = end == EEnd::CrashNoDumps ? CLines() : ListFiles(ending.options.dumpFolder);
    ASSERT_EQ(end == EEnd::CrashNoDumps ? 0u : 1u, dumps.size());
    if (end != EEnd::CrashNoDumps) {
        EXPECT_TRUE(std::regex_match(dumps[0], std::regex(dumpName))) << dumps[0];
        CheckDump(ending.options.dumpFolder + "\\" + dumps[0], end == EEnd::CrashOnThread);
    }
}

TEST(Server, AnswersEveryRow)
{
    const std::vector<SRow> rows = Rows();
    for (const SServer& program : kServers) {
        const std::string banner = std::string("info:Tessivane Plugin Scan Server (") + program.platform + ")";
        // The banner first, then "ready:" unless the server has no input; waited for without the silence
        // time-out, since several servers start at once.
        const auto start = [&](CServerConnection& server, const SServerOptions& options) {
            ASSERT_TRUE(server.Start(options)) << server.GetError();
            std::string first, second;
            EXPECT_EQ(ELineWait::Line, server.WaitForLine(first, 60000));
            EXPECT_EQ(banner, first);
            EXPECT_EQ(options.passInputHandle ? ELineWait::Line : ELineWait::Nothing,
                      server.WaitForLine(second, options.passInputHandle ? 60000 : 1000));
            EXPECT_EQ(options.passInputHandle ? "ready:" : "", second);
        };
        // Each row that ends its server gets one of its own, all started at once: a dump takes Wine seconds.
        std::deque<SEnding> endings;
        for (const SRow& row : rows) {
            if (row.end == EEnd::Record)
                continue;
            endings.emplace_back(row);
            SServerOptions& options = endings.back().options;
            options.serverPath = BinaryFolder() + program.program;
            options.silenceTimeoutMs = row.end >= EEnd::Hang ? 1500 : 120000;
            options.passInputHandle = row.end < EEnd::NoInput;
            options.passOutputHandle = row.end != EEnd::NoArguments;
            if (row.end < EEnd::Hang && row.end != EEnd::CrashNoDumps && row.end != EEnd::Idle)
                options.dumpFolder = MakeTemporaryFolder("scan-dumps");
            start(endings.back().server, options);
            if (row.end < EEnd::NoInput && row.end != EEnd::Idle) {
                ASSERT_TRUE(endings.back().server.SendRequest(Dll(row.write)));
            }
        }
        SServerOptions options;
        options.serverPath = BinaryFolder() + program.program;
        CServerConnection server;
        start(server, options);
        for (const SRow& row : rows) {
            if (row.end != EEnd::Record)
                continue;
            SPluginRecord record = row.record;
            record.platform = program.platform;
            CLines expected = row.log;
            for (const std::string& line : record_lines::Lines(record))
                expected.push_back(">:" + line);
            CLines lines;
            EXPECT_TRUE(server.Write(row.write));
            EXPECT_EQ(EWaitResult::Ready, server.ReadUntilReady(&lines));
            EXPECT_EQ(expected, Normalised(lines)) << program.program << ": " << row.write.substr(0, 100);
        }
        // Closing the input frees the cached shell and ends the server with 0.
        server.CloseInput();
        CLines lines;
        EXPECT_EQ(EWaitResult::Closed, server.ReadUntilReady(&lines));
        EXPECT_EQ(kFreeShell, lines);
        uint32_t exitCode = 1;
        EXPECT_TRUE(server.WaitForExit(30000, exitCode));
        EXPECT_EQ(0u, exitCode);
        for (SEnding& ending : endings) {
            SCOPED_TRACE(std::string(program.program) + ": " + ending.row.write);
            CheckEnding(ending, std::string("ScanServer-") + program.platform +
                                            "-\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d-\\d\\d\\.mdmp");
        }
    }
}

} // namespace
