// The scan database (its order, look-ups, removals and its file, damaged
// entries in it included, and its replacement on disk when a write fails) and
// the incremental rules planned against it.

#include "client/DatabaseFile.h"
#include "client/ScanDatabase.h"
#include "client/ScanPlan.h"

#include "client/ClientTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

using CStrings = std::vector<std::string>;

const SFileStamp kStamp{1234, 133000000000000000ull};
const std::string kShell = "C:\\VST\\ShellZ.dll"; // Z: the last letter that case folding maps

CScanDatabase SampleDatabase()
{
    CScanDatabase database;
    database.Put(Entry(kShell, kStamp, ScannedOutcome(0x54734953, "Shell", {{0x54734932, "Brass"}, {0x54734931, "Strings"}})));
    database.Put(Entry(kShell, kStamp, ScannedOutcome(0x54734932, "Brass"), 0x54734932));
    database.Put(Entry(kShell, kStamp, ScannedOutcome(0x54734931, "Strings"), 0x54734931));
    database.Put(Entry("C:\\VST\\Gain.dll", kStamp, ScannedOutcome(0x54734E67, "Gain")));
    SScanOutcome crash = ProblemOutcome(EOutcome::Crashed, "the scan server crashed (exit code 9)", {"C:\\d\\1.mdmp", "C:\\d\\2.mdmp"});
    crash.lastLines = {"info:Calling entry point..."};
    crash.platform = "x86";
    database.Put(Entry("C:\\VST\\Crash.dll", kStamp, crash));
    SScanOutcome hang = ProblemOutcome(EOutcome::TimedOut, "no answer for 2 s; the scan server was stopped");
    hang.dialogs = {"Licence \xE2\x80\x94 Check"};
    database.Put(Entry("C:\\VST\\Hang.dll", kStamp, hang));
    database.Put(Entry("C:\\VST\\Text.dll", SFileStamp{45, 1}, ProblemOutcome(EOutcome::NotPlugin, "not a library")));
    return database;
}

TEST(ScanDatabase, OrderLookUpsAndRemovals)
{
    const CScanDatabase sample = SampleDatabase();
    const CStrings all = {"C:\\VST\\Crash.dll", "C:\\VST\\Gain.dll", "C:\\VST\\Hang.dll", kShell,
                          kShell + ">54734931", kShell + ">54734932", "C:\\VST\\Text.dll"};
    EXPECT_EQ(all, Requests(sample.Entries()));
    CScanDatabase reversed;
    const std::vector<const SDatabaseEntry*> entries = sample.Entries();
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
        reversed.Put(**entry);
    EXPECT_EQ(sample.ToJson(), reversed.ToJson()) << "the order does not depend on the order of puts";
    EXPECT_EQ("Strings", sample.FindSubPlugin("c:\\vst\\SHELLz.dll", 0x54734931)->outcome.record.name);
    EXPECT_EQ(nullptr, sample.FindSubPlugin(kShell, 0x54734933));
    EXPECT_EQ(nullptr, sample.FindSubPlugin("C:\\VST\\Gain.dll", 0));
    EXPECT_EQ(nullptr, sample.FindLibrary("C:\\VST\\Gain.dl"));
    EXPECT_EQ((CStrings{kShell, kShell + ">54734931", kShell + ">54734932"}), Requests(sample.EntriesOf("c:\\vst\\shellz.dll")));
    EXPECT_EQ(CStrings{}, Requests(sample.EntriesOf("C:\\VST\\ShellZ")));
    EXPECT_EQ((CStrings{all[0], all[1], all[2], all[3], all[6]}), sample.LibraryPaths());

    struct SCase {
        void (*change)(CScanDatabase&);
        CStrings removed;
    };
    const SCase cases[] = {
        {[](CScanDatabase& d) { d.Put(Entry("c:\\VST\\gain.dll", kStamp, ScannedOutcome(1, "Gain 2"))); }, {}},
        {[](CScanDatabase& d) { d.RemoveLibrary("c:\\vst\\SHELLz.dll"); }, {all[3], all[4], all[5]}},
        {[](CScanDatabase& d) { d.RemoveLibrary("C:\\VST\\Other.dll"); }, {}},
        {[](CScanDatabase& d) { d.RemoveSubPluginsExcept(kShell, {0x54734932, 0x99}); }, {all[4]}},
        {[](CScanDatabase& d) { d.RemoveSubPluginsExcept(kShell, {}); }, {all[4], all[5]}},
        {[](CScanDatabase& d) {
             EXPECT_EQ((CStrings{"C:\\VST\\Hang.dll", kShell}),
                       d.RemoveGone([](const std::string& path) { return path == kShell || path == "C:\\VST\\Hang.dll"; }));
         },
         {all[2], all[3], all[4], all[5]}},
        {[](CScanDatabase& d) {
             EXPECT_EQ((CStrings{"C:\\VST\\Crash.dll", "C:\\VST\\Hang.dll", "C:\\VST\\Text.dll"}),
                       d.RemoveGone([](const std::string& path) { return path != "C:\\VST\\Gain.dll" && path != kShell; }))
                 << "the first library and the last one too";
         },
         {all[0], all[2], all[6]}},
    };
    for (const SCase& c : cases) {
        CScanDatabase database = SampleDatabase();
        c.change(database);
        CStrings kept = all;
        for (const std::string& request : c.removed)
            kept.erase(std::find(kept.begin(), kept.end(), request));
        CStrings requests = Requests(database.Entries());
        std::transform(requests.begin(), requests.end(), requests.begin(), FoldedPath);
        std::transform(kept.begin(), kept.end(), kept.begin(), FoldedPath);
        EXPECT_EQ(kept, requests);
    }
    CScanDatabase replaced = SampleDatabase();
    cases[0].change(replaced);
    EXPECT_EQ("Gain 2", replaced.FindLibrary("C:\\VST\\Gain.dll")->outcome.record.name);
}

TEST(ScanDatabase, FileNamesEveryOutcomeAndKeepsTheShellsOrder)
{
    const std::string json = SampleDatabase().ToJson();
    for (const char* part : {"\"format\": \"Tessivane plug-in scan database\"", "\"version\": 1",
                             "\"outcome\": \"timedOut\"", "\"outcome\": \"crashed\"", "\"outcome\": \"notPlugin\"",
                             "\"outcome\": \"scanned\"", "\"platform\": \"x86\"", "\"exitCode\": 9", "\"subId\": \"54734931\"",
                             "\"fileTime\": 133000000000000000", "\"dialogs\": [\n        \"Licence \xE2\x80\x94 Check\""})
        EXPECT_NE(std::string::npos, json.find(part)) << part;
    EXPECT_LT(json.find("\"Brass\""), json.find("\"Strings\"")) << "the shell's order, not the id order";
    EXPECT_EQ(json.find("\"shells\""), json.rfind("\"shells\"")) << "only the shell's record lists sub-plug-ins";

    CScanDatabase database;
    std::string error;
    CStrings rejected;
    ASSERT_TRUE(database.FromJson(json, error, rejected)) << error;
    EXPECT_TRUE(rejected.empty());
    EXPECT_EQ(json, database.ToJson()) << "every entry reads back as it was written";

    // A later "plugins" member stands in place of an earlier one, as in any JSON object.
    nlohmann::ordered_json ghost = nlohmann::ordered_json::parse(json)["plugins"][0];
    ghost["path"] = "C:\\VST\\Ghost.dll";
    std::string twice = json;
    twice.replace(twice.find("\"plugins\": ["), 0, "\"plugins\": [" + ghost.dump() + ", 8],\n  ");
    ASSERT_TRUE(database.FromJson(twice, error, rejected)) << error;
    EXPECT_EQ(CStrings{}, rejected);
    EXPECT_EQ(json, database.ToJson());

    nlohmann::ordered_json older = nlohmann::ordered_json::parse(json);
    older["plugins"][0].erase("dumps");
    older["plugins"][0]["dumpFile"] = "C:\\dumps\\old.mdmp";
    ASSERT_TRUE(database.FromJson(older.dump(), error, rejected)) << error;
    EXPECT_EQ(CStrings{"C:\\dumps\\old.mdmp"}, database.FindLibrary("C:\\VST\\Crash.dll")->outcome.dumpFiles);
}

TEST(ScanDatabase, StrictReading)
{
    constexpr std::size_t kSmallPieceBytes = 5;
    struct SCase {
        const char* from; ///< replaced where it first occurs in the sample file (empty: the whole file)
        std::string to;
        const char* request; ///< the entry left out, naming member; null: the whole file is refused
        const char* member;
    };
    const SCase cases[] = {
        {"", "[]", nullptr, ""},
        {"", "{\"plugins\": []}", nullptr, ""},
        {"", "{\"format\": ", nullptr, ""},
        {"\"format\": \"Tessivane", "\"format\": \"Other", nullptr, ""},
        {"\"plugins\"", "\"plugin\"", nullptr, ""},
        {"\"version\": 1", "\"version\": 2", nullptr, ""},
        {"\"version\": 1", "\"version\": 4294967297", nullptr, ""},
        {"\"exitCode\": 9", "\"exitCode\": true", "C:\\VST\\Crash.dll", "\"exitCode\""},
        {"\"numOutputs\": 2", "\"numOutputs\": 2.7", "C:\\VST\\Gain.dll", "\"numOutputs\""},
        {"\"numOutputs\": 2", "\"numOutputs\": 2.0", "C:\\VST\\Gain.dll", "\"numOutputs\""},
        {"\"numOutputs\": 2", "\"numOutputs\": 4294967297", "C:\\VST\\Gain.dll", "\"numOutputs\""},
        {"\"category\": 1", "\"category\": 2147483648", "C:\\VST\\Gain.dll", "\"category\""},
        {"\"fileSize\": 1234", "\"fileSize\": 1e300", "C:\\VST\\Crash.dll", "\"fileSize\""},
        {"\"fileSize\": 1234", "\"fileSize\": -1", "C:\\VST\\Crash.dll", "\"fileSize\""},
        {"\"fileSize\": 1234", "\"fileSize\": \"1234\"", "C:\\VST\\Crash.dll", "\"fileSize\""},
        {"\"wantsMidi\": false", "\"wantsMidi\": \"false\"", "C:\\VST\\Gain.dll", "\"wantsMidi\""},
        {"\"scannedAt\": \"2024-03-07T09:05:01Z\",", "", "C:\\VST\\Crash.dll", "\"scannedAt\""},
        {"\"outcome\": \"crashed\"", "\"outcome\": \"exploded\"", "C:\\VST\\Crash.dll", "\"outcome\""},
        {"\"platform\": \"x86\"", "\"platform\": \"ARM64\"", "C:\\VST\\Crash.dll", "\"platform\""},
        {"\"dumps\": [", "\"dumps\": [7, ", "C:\\VST\\Crash.dll", "\"dumps\""},
        {"\"dumps\": [", "\"dumps\": 7, \"x\": [", "C:\\VST\\Crash.dll", "\"dumps\""},
        {"\"Licence", "7, \"Licence", "C:\\VST\\Hang.dll", "\"dialogs\""},
        {"\"subId\": \"54734931\"", "\"subId\": \"x\"", "C:\\VST\\ShellZ.dll>54734931", "\"subId\""},
        {"\"id\": \"54734932\"", "\"id\": 54734932", "C:\\VST\\ShellZ.dll", "\"id\""},
    };
    const CScanDatabase sample = SampleDatabase();
    for (const SCase& c : cases) {
        std::string text = sample.ToJson();
        text = *c.from == 0 ? c.to : text.replace(text.find(c.from), std::string(c.from).size(), c.to);
        CScanDatabase database = SampleDatabase();
        std::string error;
        CStrings rejected;
        const bool read = database.FromJson(text, error, rejected);
        ASSERT_EQ(c.request != nullptr, read) << c.to << ": " << error;
        CStrings kept = Requests(sample.Entries());
        if (c.request == nullptr) {
            EXPECT_FALSE(error.empty());
        } else {
            ASSERT_EQ(1u, rejected.size()) << c.to;
            // The only sub-plug-in row damages the id itself: the path names it.
            const std::string request = c.request;
            EXPECT_NE(std::string::npos, rejected[0].find("entry " + request.substr(0, request.find('>')) + ": "))
                << rejected[0];
            EXPECT_NE(std::string::npos, rejected[0].find(c.member)) << rejected[0];
            kept.erase(std::find(kept.begin(), kept.end(), request));
        }
        EXPECT_EQ(kept, Requests(database.Entries())) << c.to;

        // The same text read from pieces of a few bytes, an empty one between
        // any two, as a file reader may give them, reads the same.
        CScanDatabase fromPieces = SampleDatabase();
        std::string piecesError;
        CStrings piecesRejected;
        std::size_t at = 0;
        bool emptyNext = false;
        const auto readPiece = [&](std::string& piece) {
            if (at >= text.size())
                return false;
            emptyNext = !emptyNext;
            piece = emptyNext ? std::string() : text.substr(at, kSmallPieceBytes);
            at += piece.size();
            return true;
        };
        EXPECT_EQ(read, fromPieces.ReadJson(readPiece, piecesError, piecesRejected)) << c.to;
        EXPECT_EQ(error, piecesError) << c.to;
        EXPECT_EQ(rejected, piecesRejected) << c.to;
        EXPECT_EQ(database.ToJson(), fromPieces.ToJson()) << c.to;
    }
}

namespace fs = std::filesystem;

/// What stands in the way of writing the database file.
enum class EObstacle {
    None,
    FileSizeLimit,   ///< the process may not write files longer than part of the text (Linux: a full disk)
    TemporaryFolder, ///< a folder holds the temporary file's name
    DatabaseFolder,  ///< a folder holds the database's name, so the rename fails
    DatabaseInUse,   ///< the database is open elsewhere without delete sharing, so the rename fails (Windows)
};

/// The obstacle, in place while it lives.
class CObstacle {
public:
    CObstacle(EObstacle obstacle, const std::string& path, std::size_t sizeLimit) : m_obstacle(obstacle)
    {
        if (obstacle == EObstacle::TemporaryFolder)
            fs::create_directory(fs::u8path(path + ".tmp"));
#ifdef _WIN32
        if (obstacle == EObstacle::DatabaseInUse)
            m_file = CreateFileW(fs::u8path(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        static_cast<void>(sizeLimit);
#else
        if (obstacle == EObstacle::FileSizeLimit) {
            // Ignored, the signal lets the write fail with EFBIG instead of ending the tests.
            m_oldSignal = std::signal(SIGXFSZ, SIG_IGN);
            getrlimit(RLIMIT_FSIZE, &m_oldLimit);
            rlimit limit = m_oldLimit;
            limit.rlim_cur = sizeLimit;
            setrlimit(RLIMIT_FSIZE, &limit);
        }
#endif
    }
    ~CObstacle()
    {
#ifdef _WIN32
        if (m_file != INVALID_HANDLE_VALUE)
            CloseHandle(m_file);
#else
        if (m_obstacle == EObstacle::FileSizeLimit) {
            setrlimit(RLIMIT_FSIZE, &m_oldLimit);
            std::signal(SIGXFSZ, m_oldSignal);
        }
#endif
    }
    CObstacle(const CObstacle&) = delete;
    CObstacle& operator=(const CObstacle&) = delete;

private:
    EObstacle m_obstacle;
#ifdef _WIN32
    HANDLE m_file = INVALID_HANDLE_VALUE;
#else
    rlimit m_oldLimit = {};
    void (*m_oldSignal)(int) = SIG_DFL;
#endif
};

std::string ReadFileText(const std::string& path)
{
    std::ifstream file(fs::u8path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST(ScanDatabase, AFileThatCannotBeWrittenWholeLeavesTheOldOne)
{
    const fs::path folder = fs::temp_directory_path() / fs::u8path("scan-database-write-" + std::to_string(
#ifdef _WIN32
                                                                                          GetCurrentProcessId()
#else
                                                                                          getpid()
#endif
                                                                                          ));
    fs::remove_all(folder);
    ASSERT_TRUE(fs::create_directory(folder));
    const std::string path = (folder / "db.json").u8string();
    const std::string oldText = SampleDatabase().ToJson();
    CScanDatabase larger = SampleDatabase();
    // Large enough that its text comes in several pieces.
    for (int index = 0; index < 400; ++index)
        larger.Put(Entry("C:\\VST\\More" + std::to_string(index) + ".dll", kStamp, ScannedOutcome(1, "More")));
    const std::string newText = larger.ToJson();
    std::size_t pieces = 0;
    larger.WriteJson([&pieces](const std::string&) { return ++pieces != 0; });
    ASSERT_GT(pieces, 2u) << "the new text comes in pieces";
    // Part of the new text fits: the write is cut after a first piece, in a partial write.
    const std::size_t sizeLimit = newText.size() / 3;

    struct SCase {
        const char* label;
        EObstacle obstacle;
        const char* failure; ///< "write" (the temporary file) or "replace" (the rename); null: the new text is written
    };
    const SCase cases[] = {
        {"nothing in the way", EObstacle::None, nullptr},
#ifdef _WIN32
        {"the database open elsewhere", EObstacle::DatabaseInUse, "replace"},
#else
        {"a file size limit", EObstacle::FileSizeLimit, "write"},
#endif
        {"a folder named as the temporary file", EObstacle::TemporaryFolder, "write"},
        {"a folder named as the database", EObstacle::DatabaseFolder, "replace"},
    };
    for (const SCase& c : cases) {
        fs::remove_all(fs::u8path(path));
        fs::remove_all(fs::u8path(path + ".tmp"));
        if (c.obstacle == EObstacle::DatabaseFolder)
            ASSERT_TRUE(fs::create_directory(fs::u8path(path)));
        else
            std::ofstream(fs::u8path(path), std::ios::binary) << oldText;
        std::string error;
        bool written = false;
        {
            const CObstacle obstacle(c.obstacle, path, sizeLimit);
            written = WriteFileAtomically(
                path, [&larger](const CScanDatabase::CTextWriter& write) { return larger.WriteJson(write); }, error);
        }
        const std::string failure = c.failure != nullptr ? c.failure : "";
        EXPECT_EQ(failure.empty(), written) << c.label << ": " << error;
        const std::string expectedStart = failure.empty()       ? ""
                                          : failure == "write" ? "cannot write " + path + ".tmp: "
                                                               : "cannot replace " + path + ": ";
        EXPECT_EQ(expectedStart, error.substr(0, expectedStart.size())) << c.label << ": " << error;
        EXPECT_EQ(failure.empty(), error.empty()) << c.label;
        if (c.obstacle == EObstacle::DatabaseFolder)
            EXPECT_TRUE(fs::is_directory(fs::u8path(path))) << c.label;
        else
            EXPECT_EQ(failure.empty() ? newText : oldText, ReadFileText(path)) << c.label;
        EXPECT_EQ(c.obstacle == EObstacle::TemporaryFolder, fs::exists(fs::u8path(path + ".tmp")))
            << c.label << ": a cut temporary file is removed";
    }
    fs::remove_all(folder);
}

TEST(ScanPlan, IncrementalRules)
{
    const SPlanOptions none;
    const SPlanOptions retry{false, true};
    const SPlanOptions rescan{true, false};
    const SFileStamp changed{kStamp.size + 1, kStamp.modified};
    const SFileStamp touched{kStamp.size, kStamp.modified - 1};
    const EPlanAction scan = EPlanAction::ScanLibrary;
    const EPlanAction skip = EPlanAction::Skip;
    const EPlanAction subs = EPlanAction::ScanSubPlugins;
    struct SCase {
        char library; ///< its entry: 0 none; s, f, n, c, t, x: scanned, failed, not a plug-in, crashed, timed out, no server; S a shell of 3, 1, 2
        const char* subEntries; ///< per sub-plug-in id: s scanned, c crashed, o scanned from an older file
        SFileStamp fileNow;
        SPlanOptions options;
        EPlanAction action;
        std::vector<uint32_t> subPlugins;
    };
    const SCase cases[] = {
        {0, "", kStamp, none, scan, {}},        {'s', "", kStamp, none, skip, {}},
        {'f', "", kStamp, none, skip, {}},      {'n', "", kStamp, none, skip, {}},
        {'c', "", kStamp, none, skip, {}},      {'t', "", kStamp, none, skip, {}},
        {'s', "", changed, none, scan, {}},     {'s', "", touched, none, scan, {}},
        {'c', "", touched, none, scan, {}},     {'c', "", kStamp, retry, scan, {}},
        {'t', "", kStamp, retry, scan, {}},     {'f', "", kStamp, retry, skip, {}},
        {'s', "", kStamp, retry, skip, {}},     {'s', "", kStamp, rescan, scan, {}},
        {'x', "", kStamp, none, scan, {}},      {'S', "1s 2s 3s", kStamp, none, skip, {}},
        {'S', "3s", kStamp, none, subs, {1, 2}}, {'S', "", kStamp, none, subs, {3, 1, 2}},
        {'S', "1o 2s 3s", kStamp, none, subs, {1}}, {'S', "1s 2c 3s", kStamp, none, skip, {}},
        {'S', "1s 2c 3s", kStamp, retry, subs, {2}}, {'S', "1s", changed, none, scan, {}},
    };
    const char kinds[] = "sfnctx";
    const EOutcome outcomes[] = {EOutcome::Scanned,  EOutcome::Failed,   EOutcome::NotPlugin,
                                 EOutcome::Crashed, EOutcome::TimedOut, EOutcome::NoServer};
    for (const SCase& c : cases) {
        CScanDatabase database;
        const std::string label = std::string(1, c.library) + " " + c.subEntries;
        if (c.library == 'S')
            database.Put(Entry(kShell, kStamp, ScannedOutcome(9, "Shell", {{3, "C"}, {1, "A"}, {2, "B"}})));
        else if (c.library == 's')
            database.Put(Entry(kShell, kStamp, ScannedOutcome(1, "Plug")));
        else if (c.library != 0)
            database.Put(Entry(kShell, kStamp, ProblemOutcome(outcomes[std::string(kinds).find(c.library)], "x")));
        for (const char* at = c.subEntries; *at != 0; at += at[2] == ' ' ? 3 : 2) {
            const uint32_t id = static_cast<uint32_t>(at[0] - '0');
            database.Put(Entry(kShell, at[1] == 'o' ? SFileStamp{1, 1} : kStamp,
                               at[1] == 'c' ? ProblemOutcome(EOutcome::Crashed, "x") : ScannedOutcome(id, "S"), id));
        }
        const SLibraryPlan plan = PlanLibrary(database, SLibraryFile{kShell, c.fileNow}, c.options);
        EXPECT_EQ(c.action, plan.action) << label;
        EXPECT_EQ(c.subPlugins, plan.subPlugins) << label;
    }
}

} // namespace
