// The host side end to end: the scan client library and PluginScanner against
// the real server and the fixture plug-ins, under Wine or natively on Linux.

#include "client/ScanClient.h"
#include "e2e/Harness.h"
#include "wire/Protocol.h"

#include <tessivane/scan.h>

#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <thread>

namespace {

using CStrings = std::vector<std::string>;
using CJson = nlohmann::json;

/// What differs between the Windows scanner and the Linux one.
struct SSystem {
    const char* server;     ///< the server program in bin/
    const char* library;    ///< how library names end
    const char* dumpPrefix; ///< a server dump's name up to its time
    const char* dumpExtension;
    bool windows;           ///< PE libraries, and the server shows windows (the licence box)
};
#ifdef _WIN32
constexpr SSystem kSystem = {"ScanServer-x64.exe", ".dll", "ScanServer-x64-", ".mdmp", true};
#else
constexpr SSystem kSystem = {"scan-server", ".so", "ScanServer-linux-x64-", ".txt", false};
#endif

/// A name spelt the Windows way ("\\Gain.dll") in the system's spelling ("/Gain.so").
std::string N(std::string name)
{
    const std::size_t extension = name.find(".dll");
    if (extension != std::string::npos)
        name.replace(extension, 4, kSystem.library);
    std::replace(name.begin(), name.end(), '\\', kPathSeparator);
    return name;
}

std::string ServerPath() { return BinaryFolder() + kSystem.server; }

using CPatches = std::vector<std::pair<std::size_t, std::string>>;

/// A copy of the library with bytes replaced at offsets.
void WritePatched(const std::string& path, std::string image, const CPatches& patches)
{
    for (const auto& patch : patches)
        image.replace(patch.first, patch.second.size(), patch.second);
    WriteBytes(path, image);
}

bool Contains(const CStrings& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

/// One request's end as a column of the table sees it.
struct SSeen {
    std::string outcome; ///< its name in the database ("interrupted": the C library's own)
    std::string error;
    bool hasRecord = false;
    SPluginRecord record;
    CStrings dumps;
    CStrings lastLines;
    CStrings lines; ///< the server's output lines, where the column sees them
};

/// A way for a host to scan: through the C++ client, or through the C library.
class CColumn {
public:
    virtual ~CColumn() = default;
    /// A fresh scanner whose servers dump below dumpRoot and may stay silent silenceMs.
    virtual void Start(const std::string& dumpRoot, uint32_t silenceMs) = 0;
    virtual SSeen Scan(const std::string& request) = 0;
    /// From another thread, while Scan runs.
    virtual void Interrupt() = 0;
    /// The C++ client, where the column has one (its servers can be counted).
    virtual CScanClient* Client() { return nullptr; }
};

class CClientColumn : public CColumn {
public:
    void Start(const std::string& dumpRoot, uint32_t silenceMs) override
    {
        SScanClientOptions options;
        options.serverPath = ServerPath();
        options.dumpRoot = dumpRoot;
        options.silenceTimeoutMs = silenceMs;
        m_client.emplace(options);
    }

    SSeen Scan(const std::string& request) override
    {
        SSeen seen;
        SScanObserver observer;
        observer.onLine = [&seen](const std::string& line) { seen.lines.push_back(line); };
        const SScanOutcome outcome = m_client->Scan(request, observer);
        seen.outcome = OutcomeName(outcome.kind);
        seen.error = outcome.error;
        seen.hasRecord = outcome.hasRecord;
        seen.record = outcome.record;
        seen.dumps = outcome.dumpFiles;
        seen.lastLines = outcome.lastLines;
        return seen;
    }

    void Interrupt() override { m_client->Interrupt(); }
    CScanClient* Client() override { return &*m_client; }

private:
    std::optional<CScanClient> m_client;
};

/// A tvs_result that frees itself.
using CResult = std::unique_ptr<tvs_result, decltype(&tvs_result_free)>;

/// What the C library's result says, each typed accessor checked against the
/// member of the result's JSON that says the same.
SSeen SeenThroughTheLibrary(const tvs_result* result, const std::string& request)
{
    SSeen seen;
    EXPECT_NE(nullptr, result) << "NULL only when memory runs out";
    if (result == nullptr)
        return seen;
    const CJson json = CJson::parse(tvs_result_json(result), nullptr, false);
    EXPECT_TRUE(json.is_object()) << tvs_result_json(result);
    if (!json.is_object())
        return seen;
    seen.outcome = tvs_outcome_name(tvs_result_outcome(result));
    seen.error = tvs_result_error(result);
    EXPECT_EQ(seen.outcome, json.value("outcome", ""));
    EXPECT_EQ(seen.error, json.value("error", ""));
    EXPECT_EQ(tvs_result_platform(result), json.value("platform", ""));
    EXPECT_EQ(request.substr(0, request.find('>')), json.value("path", ""));
    EXPECT_EQ(request.find('>') == std::string::npos ? "" : request.substr(request.find('>') + 1), json.value("subId", ""));
    EXPECT_EQ(json.contains("exitCode"), seen.outcome == "crashed");
    seen.dumps = json.value("dumps", CStrings());
    seen.lastLines = json.value("lastLines", CStrings());
    EXPECT_EQ(seen.dumps.size(), tvs_result_dump_count(result));
    for (std::size_t index = 0; index < seen.dumps.size(); ++index)
        EXPECT_EQ(seen.dumps[index], tvs_result_dump(result, index));
    EXPECT_STREQ("", tvs_result_dump(result, seen.dumps.size())) << "an index out of range";
    seen.hasRecord = json.contains("record");
    SPluginRecord& record = seen.record;
    record.id = tvs_result_unique_id(result);
    record.name = tvs_result_name(result);
    record.category = tvs_result_category(result);
    for (std::size_t index = 0; index < tvs_result_shell_count(result); ++index)
        record.shells.push_back({tvs_result_shell_id(result, index), tvs_result_shell_name(result, index)});
    EXPECT_EQ(0u, tvs_result_shell_id(result, record.shells.size())) << "an index out of range";
    const CJson members = seen.hasRecord ? json["record"] : CJson::object();
    record.platform = members.value("platform", "");
    EXPECT_EQ(members.value("id", "00000000"), HexId(record.id));
    EXPECT_EQ(members.value("name", ""), record.name);
    EXPECT_EQ(members.value("vendor", ""), tvs_result_vendor(result));
    EXPECT_EQ(members.value("product", ""), tvs_result_product(result));
    EXPECT_EQ(members.value("version", ""), tvs_result_version(result));
    EXPECT_EQ(members.value("category", -1), record.category);
    EXPECT_EQ(members.value("numInputs", 0), tvs_result_num_inputs(result));
    EXPECT_EQ(members.value("numOutputs", 0), tvs_result_num_outputs(result));
    const CJson shells = members.value("shells", CJson::array());
    EXPECT_EQ(shells.size(), record.shells.size());
    for (std::size_t index = 0; index < std::min(shells.size(), record.shells.size()); ++index) {
        EXPECT_EQ(shells[index].value("id", ""), HexId(record.shells[index].id));
        EXPECT_EQ(shells[index].value("name", ""), record.shells[index].name);
    }
    return seen;
}

/// The C library, through its public header and the shared library only.
class CLibraryColumn : public CColumn {
public:
    ~CLibraryColumn() override { tvs_scanner_free(m_scanner); }

    void Start(const std::string& dumpRoot, uint32_t silenceMs) override
    {
        tvs_scanner_free(m_scanner);
        tvs_options options;
        tvs_options_init(&options); // the servers installed with the library: in bin/ beside it
        options.dump_folder = dumpRoot.c_str();
        options.timeout_ms = silenceMs;
        m_scanner = tvs_scanner_new(&options);
        ASSERT_NE(nullptr, m_scanner);
    }

    SSeen Scan(const std::string& request) override
    {
        const CResult result(tvs_scan(m_scanner, request.c_str()), tvs_result_free);
        return SeenThroughTheLibrary(result.get(), request);
    }

    void Interrupt() override { tvs_interrupt(m_scanner); }

private:
    tvs_scanner* m_scanner = nullptr;
};

TEST(ClientScan, EveryRequestEndsInOneOutcome)
{
    const std::string folder = MakeTemporaryFolder("client-files");
    // Folders as an earlier run with this process id would have left them, with a
    // dump newer than the test's: a server never dumps into one of them.
    const std::string stale = kSystem.dumpPrefix + std::string("2001-01-01-00-00-00") + kSystem.dumpExtension;
    for (int serial = 1; serial <= 100; ++serial) {
        const std::string dumps = folder + kPathSeparator + std::to_string(ProcessId()) + "-" + std::to_string(serial);
        ASSERT_TRUE(fs::create_directory(fs::u8path(dumps)));
        WriteBytes(dumps + kPathSeparator + stale, "old");
        TouchLater(dumps + kPathSeparator + stale);
    }
    WriteBytes(folder + N("\\Readme.dll"), kSystem.windows ? "This is a text file named .dll\r\n" : "Text\n");
    WriteBytes(folder + N("\\Noise.dll"), std::string(4096, '\x5A'));
    ASSERT_TRUE(fs::create_directory(fs::u8path(folder + N("\\Folder.dll"))));
    // Real libraries made x86 (a 32-bit ELF on Linux: its class and machine) and made a program.
    const std::string plain = FixturePath(N("PlainEffect.dll"));
    const std::string image = ReadTextFile(plain);
    const std::size_t machine = static_cast<uint8_t>(image[0x3C]) + 256u * static_cast<uint8_t>(image[0x3D]) + 4;
    WritePatched(folder + N("\\X86.dll"), image,
                 kSystem.windows ? CPatches{{machine, "\x4C\x01"}} : CPatches{{4, "\x01"}, {18, std::string("\x03\0", 2)}});
    WritePatched(folder + N("\\Program.dll"), image, {{kSystem.windows ? machine + 18 : 16, std::string("\x02\0", 2)}});
    const std::string shell = FixturePath(N("ShellDuplicates.dll"));
    // The C library routes an x86 DLL to the x86 server, which cannot load an
    // x64 image marked x86 and says so in its record; the client of x64
    // libraries answers it without a server.
    const bool x86Server = kSystem.windows && StartsOnThisMachine(kServerProgramX86);
    const char* const x86Outcome = !kSystem.windows ? nullptr : x86Server ? "failed" : "noServer";
    const char* const x86Error = !kSystem.windows ? nullptr : x86Server ? "Failed to load library, err=193" : kServerProgramX86;
    enum class EInterrupt { None, During, Before };
    struct SStep {
        std::string path;
        uint32_t silenceMs;   ///< not 0: a new client (a new scanner) with this silence time-out
        const char* outcome;  ///< in the C++ client's column
        const char* error;
        unsigned servers;     ///< started by the C++ client so far
        uint32_t id;          ///< of the scanned record
        std::size_t subs;     ///< of the scanned record
        EInterrupt interrupt; ///< During: two seconds after the request started
        const char* libraryOutcome = nullptr; ///< in the C library's column, where it differs
        const char* libraryError = nullptr;
        bool libraryRecord = false; ///< the C library's column gets a record that names its error
    };
    const SStep steps[] = {
        // One server serves an effect, a shell and its sub-plug-ins until a crash names its dump.
        {plain, 30000, "scanned", "", 1, 0x4678506C, 0, EInterrupt::None},
        {shell, 0, "scanned", "", 1, 0x46785368, 2, EInterrupt::None},
        {shell + ">00000005", 0, "scanned", "", 1, 5, 0, EInterrupt::None},
        {shell + ">00000007", 0, "scanned", "", 1, 7, 0, EInterrupt::None},
        // The C library tries a crash once more, in a fresh server: two dumps.
        {FixturePath(N("CrashInEntry.dll")), 0, "crashed", "the scan server crashed (exit code 9)", 1, 0, 0, EInterrupt::None},
        {plain, 0, "scanned", "", 2, 0x4678506C, 0, EInterrupt::None},
        // Answered without a server.
        {folder + N("\\Readme.dll"), 1000, "notPlugin", kSystem.windows ? "too short for a PE image" : "too short for an ELF image", 0, 0, 0, EInterrupt::None},
        {folder + N("\\Noise.dll"), 0, "notPlugin", kSystem.windows ? "no MZ header" : "no ELF header", 0, 0, 0, EInterrupt::None},
        {folder + N("\\Missing.dll"), 0, "failed", "cannot open the file", 0, 0, 0, EInterrupt::None},
        {folder + N("\\Folder.dll"), 0, "failed", kSystem.windows ? "cannot open the file" : "cannot read the file: Is a directory", 0, 0, 0, EInterrupt::None},
        {folder + N("\\X86.dll"), 0, "notPlugin", kSystem.windows ? "built for x86" : "a 32-bit ELF (x86)", 0, 0, 0, EInterrupt::None, x86Outcome, x86Error, x86Server},
        {folder + N("\\Program.dll"), 0, "notPlugin", kSystem.windows ? "a program (x64), not a DLL" : "a 64-bit ELF (x64) program", 0, 0, 0, EInterrupt::None},
        {FixturePath(N("HangInEntry.dll")), 0, "timedOut", "no answer for 1 s; the scan server was stopped", 1, 0, 0, EInterrupt::None},
        {plain, 0, "scanned", "", 2, 0x4678506C, 0, EInterrupt::None},
        // 2,000 sub-plug-ins, each on its own line: every line extends the silence.
        {FixturePath(N("ShellBig.dll")), 0, "scanned", "", 2, 0x46785342, 2000, EInterrupt::None},
        // An interrupt ends the hang long before the silence does. The client's
        // sticks; the C library's ends that request only.
        {FixturePath(N("HangInEntry.dll")), 60000, "failed", "the scan was interrupted", 1, 0, 0, EInterrupt::During, "interrupted"},
        {plain, 0, "failed", "the scan was interrupted", 1, 0x4678506C, 0, EInterrupt::None, "scanned", ""},
        // An interrupt between requests ends the next one at once, and only that one.
        {plain, 0, "failed", "the scan was interrupted", 1, 0, 0, EInterrupt::Before, "interrupted"},
        {plain, 0, "failed", "the scan was interrupted", 1, 0x4678506C, 0, EInterrupt::None, "scanned", ""},
    };
    CClientColumn client;
    CLibraryColumn library;
    for (CColumn* const column : std::initializer_list<CColumn*>{&client, &library}) {
        const bool isLibrary = column == &library;
        std::set<std::string> dumpFolders;
        for (const SStep& step : steps) {
            SCOPED_TRACE((isLibrary ? "the C library: " : "the C++ client: ") + step.path);
            const std::string outcome = isLibrary && step.libraryOutcome != nullptr ? step.libraryOutcome : step.outcome;
            const std::string error = isLibrary && step.libraryError != nullptr ? step.libraryError : step.error;
            if (step.silenceMs != 0)
                column->Start(folder, step.silenceMs);
            CScanClient* const scanClient = column->Client();
            const std::string dumpFolder = scanClient != nullptr ? scanClient->GetDumpFolder() : "";
            const unsigned serversBefore = step.silenceMs != 0 || scanClient == nullptr ? 0 : scanClient->GetServersStarted();
            if (step.interrupt == EInterrupt::Before)
                column->Interrupt();
            std::thread interrupter([&] {
                if (step.interrupt == EInterrupt::During) {
                    std::this_thread::sleep_for(std::chrono::seconds(2));
                    column->Interrupt();
                }
            });
            const auto started = std::chrono::steady_clock::now();
            const SSeen seen = column->Scan(step.path);
            interrupter.join();
            EXPECT_TRUE(step.interrupt != EInterrupt::During ||
                        std::chrono::steady_clock::now() - started < std::chrono::seconds(10))
                << "not the 60 s silence";
            EXPECT_EQ(outcome, seen.outcome);
            EXPECT_NE(std::string::npos, seen.error.find(error)) << seen.error;
            EXPECT_EQ(outcome == "scanned" || (isLibrary && step.libraryRecord), seen.hasRecord);
            if (scanClient != nullptr) {
                EXPECT_EQ(step.servers, scanClient->GetServersStarted());
                if (scanClient->GetServersStarted() > serversBefore && scanClient->GetServerProcessId() != 0) {
                    EXPECT_TRUE(dumpFolders.insert(scanClient->GetDumpFolder()).second)
                        << "every server dumps into a fresh folder";
                }
            }
            if (isLibrary && step.libraryRecord) {
                EXPECT_EQ("x86", seen.record.platform) << "the x86 server's record";
            }
            if (outcome == "scanned") {
                EXPECT_EQ(step.id, seen.record.id);
                EXPECT_EQ("x64", seen.record.platform);
                EXPECT_EQ(step.subs, seen.record.shells.size());
                if (scanClient != nullptr) {
                    EXPECT_TRUE(Contains(seen.lines, "ready:")) << "the observer sees every line";
                    EXPECT_EQ(step.path.find('>') != std::string::npos,
                              Contains(seen.lines, "info:Re-using previous library instance..."));
                }
            } else if (outcome == "crashed" || outcome == "timedOut") {
                EXPECT_TRUE(Contains(seen.lastLines, "info:Calling entry point...")) << "the server's last lines";
                if (scanClient != nullptr) {
                    EXPECT_EQ(0u, scanClient->GetServerProcessId());
                }
            } else if (outcome == "interrupted" || (outcome == "failed" && step.servers > 0 && scanClient != nullptr)) {
                EXPECT_TRUE(seen.lastLines.empty());
                if (scanClient != nullptr) {
                    EXPECT_EQ(0u, scanClient->GetServerProcessId()) << "the interrupted server was stopped";
                }
            }
            if (outcome == "crashed") {
                // Each attempt's dump, each from a fresh server's folder.
                ASSERT_EQ(isLibrary ? 2u : 1u, seen.dumps.size());
                for (const std::string& dump : seen.dumps) {
                    const std::string folderOfDump = dump.substr(0, dump.find_last_of(kPathSeparator));
                    EXPECT_TRUE(dumpFolders.insert(folderOfDump).second || !isLibrary) << dump;
                    EXPECT_TRUE(scanClient == nullptr || folderOfDump == dumpFolder) << dump;
                    const std::string prefix = folderOfDump + kPathSeparator + kSystem.dumpPrefix;
                    const std::string extension = kSystem.dumpExtension;
                    EXPECT_EQ(prefix, dump.substr(0, prefix.size())) << dump;
                    EXPECT_EQ(folder, dump.substr(0, folder.size())) << dump;
                    EXPECT_EQ(extension, dump.substr(dump.size() - extension.size()));
                    EXPECT_TRUE(fs::exists(fs::u8path(dump))) << dump;
                    EXPECT_NE(stale, dump.substr(dump.size() - stale.size()));
                }
            } else {
                EXPECT_TRUE(seen.dumps.empty());
            }
        }
    }
    // A server that cannot be started, or a dump folder that cannot be made
    // (below a file), starts no server, and says why.
    const struct {
        std::string server;
        std::string dumpRoot;
        std::string error;
    } unusable[] = {
        {ServerPath(), folder + N("\\Readme.dll\\dumps"), "cannot create the folder " + folder + N("\\Readme.dll\\dumps")},
        {folder + N("\\NoServer.exe"), "", "cannot start " + folder + N("\\NoServer.exe")},
    };
    for (const auto& row : unusable) {
        SScanClientOptions options;
        options.serverPath = row.server;
        options.dumpRoot = row.dumpRoot;
        const SScanOutcome outcome = CScanClient(options).Scan(plain, SScanObserver());
        EXPECT_EQ(EOutcome::NoServer, outcome.kind);
        EXPECT_NE(std::string::npos, outcome.error.find(row.error)) << outcome.error;
        tvs_options libraryOptions;
        tvs_options_init(&libraryOptions);
        libraryOptions.server = row.server.c_str();
        libraryOptions.dump_folder = row.dumpRoot.c_str();
        tvs_scanner* const scanner = tvs_scanner_new(&libraryOptions);
        const CResult result(tvs_scan(scanner, plain.c_str()), tvs_result_free);
        const SSeen seen = SeenThroughTheLibrary(result.get(), plain);
        EXPECT_EQ("noServer", seen.outcome);
        EXPECT_NE(std::string::npos, seen.error.find(row.error)) << seen.error;
        EXPECT_FALSE(seen.hasRecord);
        tvs_scanner_free(scanner);
    }
}

/// A host built against an older header sets a smaller size, one built against
/// a newer header a larger one: the library reads the members the size covers
/// whole, keeps its defaults for the others and ignores what it does not know.
TEST(ClientScan, TheCLibraryReadsTheOptionsItsSizeCovers)
{
    const std::string folder = MakeTemporaryFolder("library-options");
    const std::string crash = FixturePath(N("CrashInEntry.dll"));
    const std::string hang = FixturePath(N("HangInEntry.dll"));
    const std::string missing = folder + N("\\NoServer.exe");
    /// The options as a newer host lays them out: today's members, then more.
    struct SNewerOptions {
        tvs_options options;
        unsigned char later[64];
    };
    const auto covering = [](std::size_t offset, std::size_t size) { return offset + size; };
    const struct {
        std::size_t size;
        const char* server; ///< the options' server; the rest is set as below
        std::string request;
        const char* outcome;
        const char* error;
        std::size_t dumps;
    } rows[] = {
        // Too small to hold even its size: no scanner.
        {0, nullptr, "", nullptr, nullptr, 0},
        {sizeof(size_t) - 1, nullptr, "", nullptr, nullptr, 0},
        // The size alone: every member its default (the server in bin/, no dumps, a crash tried twice).
        {sizeof(size_t), missing.c_str(), crash, "crashed", "exit code 9", 0},
        // The server covered, the dump folder not: the missing server is used.
        {covering(offsetof(tvs_options, server), sizeof(const char*)), missing.c_str(), crash, "noServer", "cannot start", 0},
        // Up to the dump folder: two dumps (retry_crash, not covered, is on).
        {covering(offsetof(tvs_options, dump_folder), sizeof(const char*)), nullptr, crash, "crashed", "exit code 9", 2},
        // A size that covers the time-out only in part leaves it at 30 s, so the
        // hang is cut by the interrupt after 2 s, not by the 1 s set.
        {offsetof(tvs_options, timeout_ms) + 1, nullptr, hang, "interrupted", "the scan was interrupted", 0},
        {covering(offsetof(tvs_options, timeout_ms), sizeof(unsigned)), nullptr, hang, "timedOut", "no answer for 1 s", 0},
        // Today's size: no second attempt.
        {sizeof(tvs_options), nullptr, crash, "crashed", "exit code 9", 1},
        // A newer host's size, its later members set: ignored.
        {sizeof(SNewerOptions), nullptr, crash, "crashed", "exit code 9", 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("size " + std::to_string(row.size) + ": " + row.request);
        SNewerOptions newer;
        std::memset(&newer, 0xA5, sizeof newer);
        tvs_options& options = newer.options;
        tvs_options_init(&options);
        options.size = row.size;
        options.server = row.server;
        options.dump_folder = folder.c_str();
        options.timeout_ms = 1000;
        options.retry_crash = 0;
        tvs_scanner* const scanner = tvs_scanner_new(&options);
        if (row.outcome == nullptr) {
            EXPECT_EQ(nullptr, scanner);
            continue;
        }
        ASSERT_NE(nullptr, scanner);
        // The hang is interrupted after two seconds (unless its time-out came first).
        std::thread interrupter([scanner, hanging = row.request == hang] {
            if (hanging) {
                std::this_thread::sleep_for(std::chrono::seconds(2));
                tvs_interrupt(scanner);
            }
        });
        const CResult result(tvs_scan(scanner, row.request.c_str()), tvs_result_free);
        interrupter.join();
        const SSeen seen = SeenThroughTheLibrary(result.get(), row.request);
        EXPECT_EQ(row.outcome, seen.outcome);
        EXPECT_NE(std::string::npos, seen.error.find(row.error)) << seen.error;
        EXPECT_EQ(row.dumps, seen.dumps.size());
        tvs_scanner_free(scanner);
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

/// A folder holding the files (name, then the fixture or sample copied under it; Windows spelling).
std::string FolderOf(const std::string& prefix, const std::vector<std::pair<std::string, std::string>>& files)
{
    const std::string folder = MakeTemporaryFolder(prefix);
    for (const auto& file : files) {
        std::error_code error;
        fs::create_directories(fs::u8path(folder + N("\\" + file.first)).parent_path());
        EXPECT_TRUE(fs::copy_file(fs::u8path(FixturePath(N(file.second), file.second.rfind("Tessivane", 0) == 0)),
                                  fs::u8path(folder + N("\\" + file.first)), error)) << file.second << ": " << error.message();
    }
    return folder;
}

/// A whole run through the C library: how it ended and the results it reported.
struct SLibraryRun {
    tvs_run_status status = TVS_RUN_OUT_OF_MEMORY;
    std::string error;                     ///< tvs_scanner_error after the run
    std::map<std::string, CJson> reported; ///< each result's JSON by its request
};

/// Keeps a result the run reports, checking that its request names its entry.
void Reported(void* context, const tvs_result* result)
{
    SLibraryRun& run = *static_cast<SLibraryRun*>(context);
    const CJson entry = CJson::parse(tvs_result_json(result), nullptr, false);
    ASSERT_TRUE(entry.is_object()) << tvs_result_json(result);
    const std::string request =
        entry.value("path", "") + (entry.contains("subId") ? ">" + entry["subId"].get<std::string>() : "");
    EXPECT_EQ(request, tvs_result_request(result));
    EXPECT_EQ(0u, run.reported.count(request)) << "each request once: " << request;
    run.reported[request] = entry;
}

/// The requests of a run's reported results.
std::set<std::string> KeysOf(const std::map<std::string, CJson>& reported)
{
    std::set<std::string> requests;
    for (const auto& result : reported)
        requests.insert(result.first);
    return requests;
}

/// Runs tvs_run over the paths into the database with jobs servers.
SLibraryRun RunThroughLibrary(tvs_scanner* scanner, const CStrings& paths, const std::string& database, unsigned jobs)
{
    std::vector<const char*> texts;
    for (const std::string& path : paths)
        texts.push_back(path.c_str());
    tvs_run_options options;
    tvs_run_options_init(&options);
    options.database = database.c_str();
    options.jobs = jobs;
    SLibraryRun run;
    run.status = tvs_run(scanner, texts.data(), texts.size(), &options, Reported, &run);
    run.error = tvs_scanner_error(scanner);
    return run;
}

/// A scanner of the C library with the servers installed beside it, its dumps below dumpRoot.
std::unique_ptr<tvs_scanner, decltype(&tvs_scanner_free)> LibraryScanner(const std::string& dumpRoot, unsigned timeoutMs,
                                                                         bool retryCrash = true)
{
    tvs_options options;
    tvs_options_init(&options);
    options.dump_folder = dumpRoot.c_str();
    options.timeout_ms = timeoutMs;
    options.retry_crash = retryCrash ? 1 : 0;
    return {tvs_scanner_new(&options), tvs_scanner_free};
}

// Needs the virtual display: the licence box is a real window of the server.
TEST(ScannerCommand, AMixedFolderGivesOneOutcomePerPathWithOneServerOrTwo)
{
    std::vector<std::pair<std::string, std::string>> files;
    for (const char* file : {"TessivaneGain.dll", "TessivanePad.dll", "TessivaneInstrumentShell.dll", "CrashInEntry.dll",
                             "HangInEntry.dll", "MessageBoxInEntry.dll", "ShellDuplicates.dll", "ShellUnnamedEntry.dll",
                             "NameSpecialChars.dll", "NameLatin1.dll"})
        if (kSystem.windows || std::string(file) != "MessageBoxInEntry.dll")
            files.push_back({file, file});
    if (!kSystem.windows)
        files.push_back({"Suite\\PlainEffect.dll", "PlainEffect.dll"});
    const std::string folder = FolderOf("scanner-mixed", files);
    std::map<std::string, std::string> expected;
    if (!kSystem.windows) {
        // Linked names of a folder and a file, each walked or scanned once under its first name; a 32-bit ELF.
        fs::create_directory_symlink("Suite", fs::u8path(folder + "/Suite-link"));
        fs::create_symlink("TessivaneGain.so", fs::u8path(folder + "/ZGain-link.so"));
        const std::string image = ReadTextFile(FixturePath("PlainEffect.so"));
        WritePatched(folder + "/X86.so", image, {{4, "\x01"}, {18, std::string("\x03\0", 2)}});
        files.push_back({"X86.dll", ""});
        expected = {{folder + "/Suite/PlainEffect.so", "scanned"}, {folder + "/X86.so", "notPlugin"}};
    }
    // The 32-bit build of the Gain sample: the x86 server's, or "no server" where 32-bit programs do not run.
    const std::string gain32 = folder + "\\Gain32.dll";
    if (kSystem.windows) {
        files.push_back({"Gain32.dll", "x86\\TessivaneGain.dll"});
        EXPECT_TRUE(fs::copy_file(fs::u8path(FixturePath("x86\\TessivaneGain.dll", true)), fs::u8path(gain32)));
        expected[gain32] = StartsOnThisMachine(kServerProgramX86) ? "scanned" : "noServer";
    }
    WriteBytes(folder + N("\\Noise.dll"), std::string(3000, '\x17'));
    WriteBytes(folder + N("\\Readme.dll"), "Not a library, just text.\n");
    WriteBytes(folder + N("\\Notes.txt"), "not a library name: not scanned");
    const std::string missing = folder + N("\\Missing.dll");
    const SScannerRun two =
        RunScanner({"scan", folder, missing, "--db", folder + N("\\two.json"), "--timeout", "3", "--jobs", "2", "--json"});
    EXPECT_EQ(1u, two.exitCode) << two.err;
    // The C library's whole run over the same paths leaves the same database and reports each entry as it is
    // saved, and the missing path.
    const SLibraryRun library = RunThroughLibrary(LibraryScanner(folder + N("\\dumps"), 3000).get(), {folder, missing},
                                                  folder + N("\\library.json"), 2);
    EXPECT_EQ(TVS_RUN_DONE, library.status) << library.error;
    EXPECT_EQ("", library.error);
    // One server gives the same database, here without the slow crash and licence box.
    CStrings arguments = {"scan", folder + N("\\Noise.dll"), folder + N("\\Readme.dll"), "--db", folder + N("\\one.json"),
                          "--timeout", "3", "--jobs", "1"};
    for (const auto& file : files)
        if (file.first != "CrashInEntry.dll" && file.first != "MessageBoxInEntry.dll")
            arguments.push_back(folder + N("\\" + file.first));
    const SScannerRun one = RunScanner(arguments);
    EXPECT_EQ(1u, one.exitCode) << one.err;
    EXPECT_NE(std::string::npos, one.out.find("with 1 server")) << one.out;

    std::map<std::string, CJson> results = ResultsByRequest(two);
    const CJson notFound = Document(two)["notFound"];
    expected.insert({{folder + N("\\CrashInEntry.dll"), "crashed"}, {folder + N("\\HangInEntry.dll"), "timedOut"},
                     {folder + N("\\Noise.dll"), "notPlugin"}, {folder + N("\\Readme.dll"), "notPlugin"}});
    const std::string box = folder + N("\\MessageBoxInEntry.dll");
    if (kSystem.windows)
        expected[box] = "timedOut";
    for (const char* scanned : {"TessivaneGain.dll", "TessivanePad.dll", "TessivaneInstrumentShell.dll>54734931",
                                "TessivaneInstrumentShell.dll>54734932", "TessivaneInstrumentShell.dll>54734933",
                                "TessivaneInstrumentShell.dll", "ShellDuplicates.dll", "ShellDuplicates.dll>00000005",
                                "ShellDuplicates.dll>00000007", "ShellUnnamedEntry.dll", "ShellUnnamedEntry.dll>00000021",
                                "ShellUnnamedEntry.dll>00000022", "ShellUnnamedEntry.dll>00000023",
                                "NameSpecialChars.dll", "NameLatin1.dll"})
        expected[folder + N(std::string("\\") + scanned)] = "scanned";
    std::map<std::string, std::string> outcomes;
    for (const auto& result : results)
        outcomes[result.first] = result.second["outcome"].get<std::string>();
    EXPECT_EQ(expected, outcomes);
    ASSERT_EQ(1u, notFound.size());
    EXPECT_EQ(missing, notFound[0]["path"]);
    EXPECT_EQ("Tessivane Strings", results[folder + N("\\TessivaneInstrumentShell.dll>54734931")]["record"]["name"]);
    EXPECT_EQ("Vostrel Software", results[folder + N("\\TessivanePad.dll")]["record"]["vendor"]);
    if (kSystem.windows) {
        EXPECT_EQ("x86", results[gain32]["platform"]);
        EXPECT_EQ("x64", results[folder + "\\TessivaneGain.dll"]["platform"]);
    }

    // The crash was tried twice, each time in a server of its own.
    const CJson& crash = results[folder + N("\\CrashInEntry.dll")];
    EXPECT_EQ(9, crash["exitCode"]);
    ASSERT_EQ(2u, crash["dumps"].size()) << crash.dump(1);
    for (const CJson& listed : crash["dumps"]) {
        const std::string dump = listed.get<std::string>();
        EXPECT_EQ(folder + N("\\dumps\\"), dump.substr(0, folder.size() + 7)) << dump;
        EXPECT_NE(std::string::npos, dump.find(kPathSeparator + std::string(kSystem.dumpPrefix))) << dump;
        EXPECT_TRUE(fs::exists(fs::u8path(dump))) << dump;
    }
    EXPECT_NE(crash["dumps"][0], crash["dumps"][1]);
    EXPECT_NE(std::string::npos, two.err.find("(second attempt after a crash)")) << two.err;
    // The licence box is reported by its title while it blocks, in the results and in the database.
    if (kSystem.windows) {
        EXPECT_NE(std::string::npos, two.err.find("window        " + box + ": 'Fixture Licence Check'")) << two.err;
        EXPECT_NE(std::string::npos, results[box]["error"].get<std::string>().find("(it showed 'Fixture Licence Check')"));
    }

    // The database holds everything reported; one server's agrees with two's but for what differs from scan to scan.
    CJson entries[2] = {ReadJsonFile(folder + N("\\one.json"))["plugins"], CJson::array()};
    std::set<CJson> scannedByOne;
    for (const CJson& entry : entries[0])
        scannedByOne.insert(entry["path"]);
    const CJson all = ReadJsonFile(folder + N("\\two.json"))["plugins"];
    EXPECT_EQ(expected.size(), all.size());
    for (const CJson& entry : all) {
        EXPECT_TRUE(entry["path"] != box || entry["dialogs"] == CJson::array({"Fixture Licence Check"})) << entry;
        if (scannedByOne.count(entry["path"]) != 0)
            entries[1].push_back(entry);
    }
    EXPECT_EQ(expected.size() - (kSystem.windows ? 2 : 1), entries[0].size()) << "all but the crash and the licence box";
    for (CJson& database : entries)
        for (CJson& entry : database)
            for (const char* varying : {"scannedAt", "lastLines", "dumps"})
                entry.erase(varying);
    EXPECT_EQ(entries[0], entries[1]) << entries[0].dump(1) << "\n---\n" << entries[1].dump(1);
    std::map<std::string, CJson> saved;
    const CJson libraryDatabase = ReadJsonFile(folder + N("\\library.json"));
    for (const CJson& entry : libraryDatabase["plugins"])
        saved[entry["path"].get<std::string>() + (entry.contains("subId") ? ">" + entry["subId"].get<std::string>() : "")] = entry;
    std::map<std::string, CJson> reported = library.reported;
    EXPECT_EQ("failed", reported[missing]["outcome"]) << "a path that leads to no library file, without an entry";
    EXPECT_EQ(notFound[0]["error"], reported[missing]["error"]);
    reported.erase(missing);
    EXPECT_EQ(saved, reported);
    CJson byLibrary = CJson::array();
    CJson byScanner = all;
    for (const auto& entry : saved)
        byLibrary.push_back(entry.second);
    for (CJson* database : {&byLibrary, &byScanner}) {
        std::sort(database->begin(), database->end(), [](const CJson& a, const CJson& b) { return a.dump() < b.dump(); });
        for (CJson& entry : *database)
            for (const char* varying : {"scannedAt", "lastLines", "dumps"})
                entry.erase(varying);
    }
    EXPECT_EQ(byScanner, byLibrary) << byScanner.dump(1) << "\n---\n" << byLibrary.dump(1);

    // Without the retry a whole run tries a crash once.
    const std::string crashing = folder + N("\\CrashInEntry.dll");
    const SLibraryRun once =
        RunThroughLibrary(LibraryScanner(folder + N("\\dumps"), 3000, false).get(), {crashing}, folder + N("\\once.json"), 1);
    EXPECT_EQ(TVS_RUN_DONE, once.status) << once.error;
    const CJson onceCrash = once.reported.count(crashing) != 0 ? once.reported.at(crashing) : CJson();
    EXPECT_EQ("crashed", onceCrash.value("outcome", "")) << onceCrash.dump(1);
    EXPECT_EQ(1u, onceCrash.value("dumps", CJson::array()).size()) << onceCrash.dump(1);
}

#ifdef _WIN32
/// For its lifetime, the folders a run without paths finds: VSTPluginsPath of
/// HKLM\\SOFTWARE\\VST in the registry's 64-bit view (empty: none) and the Program
/// Files variables (their (x86) twins equal to them, as on a 32-bit system); then
/// the registry value is removed and the variables are as they were.
class CDefaultFolders {
public:
    CDefaultFolders(const std::string& registry, const std::string& programFiles)
    {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VST", 0, nullptr, 0,
                                                 KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr));
        const std::wstring value = WideFromUtf8(registry);
        if (!registry.empty())
            EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"VSTPluginsPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
        else
            RegDeleteValueW(key, L"VSTPluginsPath");
        RegCloseKey(key);
        for (const wchar_t* name : {L"ProgramFiles", L"ProgramFiles(x86)"})
            Set(name, WideFromUtf8(programFiles));
        for (const wchar_t* name : {L"CommonProgramFiles", L"CommonProgramFiles(x86)"})
            Set(name, WideFromUtf8(programFiles + "\\Common Files"));
    }
    ~CDefaultFolders()
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VST", 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, L"VSTPluginsPath");
            RegCloseKey(key);
        }
        for (const auto& saved : m_saved)
            SetEnvironmentVariableW(saved.first.c_str(), saved.second ? saved.second->c_str() : nullptr);
    }
    CDefaultFolders(const CDefaultFolders&) = delete;
    CDefaultFolders& operator=(const CDefaultFolders&) = delete;

private:
    void Set(const wchar_t* name, const std::wstring& value)
    {
        wchar_t old[MAX_PATH];
        const DWORD length = GetEnvironmentVariableW(name, old, MAX_PATH);
        m_saved.emplace_back(name, length > 0 && length < MAX_PATH ? std::optional<std::wstring>(std::wstring(old, length))
                                                                   : std::nullopt);
        SetEnvironmentVariableW(name, value.c_str());
    }
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> m_saved;
};
#endif

TEST(ScannerCommand, ASecondRunScansOnlyTheTouchedAndTheDamaged)
{
    const std::string folder = FolderOf("scanner-incremental",
        {{"TessivaneGain.dll", "TessivaneGain.dll"}, {"TessivanePad.dll", "TessivanePad.dll"},
         {"TessivaneInstrumentShell.dll", "TessivaneInstrumentShell.dll"}});
    const std::string database = folder + N("\\db.json");
    const std::string pad = folder + N("\\TessivanePad.dll");
    const std::string gain = folder + N("\\TessivaneGain.dll");
    const CStrings arguments = {"scan", folder, "--db", database, "--json"};

#ifdef _WIN32
    const SScannerRun first = RunScanner({"scan", folder, "--db", database});
#else
    // On a terminal the progress bar is redrawn in place, one column short of its width, and cleared at the end.
    constexpr unsigned short kColumns = 40;
    const SScannerRun first = CScannerProcess({"scan", folder, "--db", database}, kColumns).Wait();
    std::size_t fullBars = 0;
    std::size_t from = first.err.find('\r');
    for (std::size_t to = from; from != std::string::npos; from = to) {
        to = first.err.find_first_of("\r\n", from + 1);
        const std::string shown = first.err.substr(from + 1, to == std::string::npos ? to : to - from - 1);
        EXPECT_GT(kColumns, shown.size()) << shown;
        fullBars += shown.size() == kColumns - 1u && shown[0] == '[' ? 1 : 0;
    }
    EXPECT_NE(0u, fullBars) << first.err;
    const std::string cleared = "\r" + std::string(kColumns - 1u, ' ') + "\r";
    EXPECT_EQ(cleared, first.err.substr(first.err.size() - std::min(first.err.size(), cleared.size())));
#endif
    EXPECT_EQ(0u, first.exitCode) << first.err;
    for (const std::string& part : CStrings{"Outcome", "TsGn", "Tessivane Gain", "  Tessivane Choir",
                                            N("TessivanePad.dll"), "Scanned 6 requests", "Database: "})
        EXPECT_NE(std::string::npos, first.out.find(part)) << part << "\n" << first.out;
    const SScannerRun list = RunScanner({"list", "--db", database});
    EXPECT_EQ(0u, list.exitCode) << list.err;
    EXPECT_NE(std::string::npos, list.out.find("Tessivane Instrument Shell")) << list.out;

    // Without paths the scanner names and scans the folders the system's hosts use:
    // on Windows the registry's VSTPluginsPath and the Program Files folders (one
    // here, empty), on Linux those of $VST_PATH.
#ifdef _WIN32
    const std::string programFiles = MakeTemporaryFolder("program-files");
    ASSERT_TRUE(fs::create_directory(fs::u8path(programFiles + "\\VSTPlugins")));
    const std::string named = "  " + folder + "\n  " + programFiles + "\\VSTPlugins\n";
    std::optional<CDefaultFolders> defaults;
    defaults.emplace(folder, programFiles);
#else
    const std::string named = "  " + folder + "\n";
    setenv("VST_PATH", ("/no-such-folder:" + folder).c_str(), 1);
#endif
    const SScannerRun second = RunScanner({"scan", "--db", database, "--json"});
    const std::string heading = "Scanning the plug-in folders:\n" + named;
    EXPECT_EQ(heading, second.err.substr(0, heading.size())) << second.err;
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

    // Exit codes; a database that is not one is left alone; no plug-in folder found is a problem.
    const std::string broken = folder + N("\\broken.json");
    WriteBytes(broken, "{ not json");
#ifdef _WIN32
    defaults.emplace("", programFiles + "\\VSTPlugins");
#else
    setenv("VST_PATH", "/no-such-folder", 1);
#endif
    const std::pair<CStrings, uint32_t> cases[] = {
        {{"--help"}, 0},
        {{"--version"}, 0},
        {kSystem.windows ? CStrings{"scan", folder, "--jobs", "65"} : CStrings{"scan", folder, "--server-x86", "x"}, 2},
        {{"scan", "--db", database}, 1},
        {{"scan", folder, "--jobs", "0"}, 2},
        {{"scan", folder, "--db", database, "--server", folder + N("\\NoServer.exe")}, 3},
        {{"scan", folder, "--db", broken}, 3},
        {{"scan", folder, "--db", folder}, 3},
    };
    for (const auto& c : cases) {
        const SScannerRun run = RunScanner(c.first);
        EXPECT_EQ(c.second, run.exitCode) << c.first.back();
        EXPECT_TRUE(c.first.back() != broken || run.err.find("cannot be used") != std::string::npos) << run.err;
        // A folder opens on Linux and then cannot be read; Windows does not open it.
        EXPECT_TRUE(c.first.back() != folder ||
                    run.err.find(std::string(kSystem.windows ? "cannot open" : "cannot read") + " the database " +
                                 folder + ": ") != std::string::npos)
            << run.err;
        EXPECT_TRUE(c.first.back() != database || run.err.find("PluginScanner: none of the plug-in folders exists (") == 0) << run.err;
        EXPECT_TRUE(c.first.back() != "--version" || run.out == "PluginScanner 1.0.0\n") << run.out;
    }
#ifdef _WIN32
    // The version Windows shows in the files' properties.
    for (const char* file : {"PluginScanner.exe", "tessivane-scan.dll"})
        EXPECT_EQ("1.0.0.0 1.0.0 " + std::string(file), VersionResource(file));
#endif
    EXPECT_EQ("{ not json", ReadTextFile(broken)) << "the file is left as it was";
}

#ifdef _WIN32
/// The ids of the processes that show a scan server's splash window.
std::set<DWORD> ServerProcesses()
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

/// True when the process has ended within ten seconds (or was gone already).
bool EndsSoon(DWORD id)
{
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    const bool ended = process == nullptr || WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
    if (process != nullptr)
        CloseHandle(process);
    return ended;
}
#else
/// The ids of the processes running bin/scan-server.
std::set<unsigned long> ServerProcesses()
{
    std::set<unsigned long> processes;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
        std::error_code error;
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") == std::string::npos &&
            fs::read_symlink(entry.path() / "exe", error).string() == ServerPath())
            processes.insert(std::stoul(name));
    }
    return processes;
}

/// True when the process has ended (or is a zombie) within ten seconds.
bool EndsSoon(unsigned long id)
{
    for (int attempt = 0; attempt < 100; ++attempt, std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
        std::error_code error;
        if (fs::read_symlink("/proc/" + std::to_string(id) + "/exe", error).empty())
            return true;
    }
    return false;
}
#endif

TEST(ScannerCommand, AKilledScanResumesWithoutScanningFinishedFilesAgain)
{
    // PluginScanner killed by the user, and the C library's whole run interrupted from another thread.
    for (const bool throughLibrary : {false, true}) {
        SCOPED_TRACE(throughLibrary ? "tvs_run and tvs_interrupt" : "PluginScanner killed");
        const std::string folder =
            FolderOf("scanner-resume", {{"A-Gain.dll", "TessivaneGain.dll"}, {"B-Pad.dll", "TessivanePad.dll"},
                                        {"C-Hang.dll", "HangInEntry.dll"}, {"D-Shell.dll", "TessivaneInstrumentShell.dll"}});
        const std::string database = folder + N("\\db.json");
        const auto before = ServerProcesses();
        std::optional<CScannerProcess> scanner;
        const auto library = LibraryScanner("", 600000);
        SLibraryRun interrupted;
        std::thread running;
        if (throughLibrary)
            running = std::thread([&] { interrupted = RunThroughLibrary(library.get(), {folder}, database, 1); });
        else
            scanner.emplace(CStrings{"scan", folder, "--db", database, "--jobs", "1", "--timeout", "600"});
        // The scanner works through A and B and then waits on C, which hangs.
        std::size_t saved = 0;
        for (int attempt = 0; attempt < 600 && saved < 2; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const CJson document = ReadJsonFile(database);
            saved = document.is_object() ? document["plugins"].size() : 0;
        }
        EXPECT_EQ(2u, saved) << "A and B are saved while C hangs";
        auto servers = ServerProcesses();
        for (const auto process : before)
            servers.erase(process);
        EXPECT_FALSE(servers.empty()) << "the hanging server runs (and shows its splash on Windows)";
        if (throughLibrary) {
            tvs_interrupt(library.get());
            running.join();
            EXPECT_EQ(TVS_RUN_INTERRUPTED, interrupted.status);
            EXPECT_NE(std::string::npos, interrupted.error.find("interrupted")) << interrupted.error;
            EXPECT_EQ((std::set<std::string>{folder + N("\\A-Gain.dll"), folder + N("\\B-Pad.dll")}),
                      KeysOf(interrupted.reported));
            EXPECT_EQ(2u, ReadJsonFile(database)["plugins"].size()) << "the interrupted request is not recorded";
        } else {
            scanner.reset(); // the user's kill
        }
        for (const auto server : servers)
            EXPECT_TRUE(EndsSoon(server)) << "a server outlived its stopped scanner: " << server;
        const std::string shell = folder + N("\\D-Shell.dll");
        const std::set<std::string> rest = {folder + N("\\C-Hang.dll"), shell, shell + ">54734931",
                                            shell + ">54734932", shell + ">54734933"};
        if (throughLibrary) {
            SLibraryRun resumed = RunThroughLibrary(LibraryScanner("", 2000).get(), {folder}, database, 1);
            EXPECT_EQ(TVS_RUN_DONE, resumed.status) << resumed.error;
            EXPECT_EQ(rest, KeysOf(resumed.reported));
            EXPECT_EQ("timedOut", resumed.reported[folder + N("\\C-Hang.dll")]["outcome"]);
            continue;
        }
        const SScannerRun resumed = RunScanner({"scan", folder, "--db", database, "--jobs", "1", "--timeout", "2", "--json"});
        EXPECT_EQ(1u, resumed.exitCode) << resumed.err;
        EXPECT_EQ(rest, ScannedThisRun(resumed));
    }
}

} // namespace
