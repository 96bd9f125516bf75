// The scan database: entries by library and sub-plug-in, its stable order, and
// its file format, damaged entries in it included.

#include "client/ScanDatabase.h"

#include "client/ClientTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

using CStrings = std::vector<std::string>;

const SFileStamp kStamp{1234, 133000000000000000ull};

CScanDatabase SampleDatabase()
{
    CScanDatabase database;
    database.Put(Entry("C:\\VST\\Shell.dll", kStamp,
                       ScannedOutcome(0x54734953, "Shell", {{0x54734932, "Brass"}, {0x54734931, "Strings"}})));
    database.Put(SubEntry("C:\\VST\\Shell.dll", 0x54734932, kStamp, ScannedOutcome(0x54734932, "Brass")));
    database.Put(SubEntry("C:\\VST\\Shell.dll", 0x54734931, kStamp, ScannedOutcome(0x54734931, "Strings")));
    database.Put(Entry("C:\\VST\\Gain.dll", kStamp, ScannedOutcome(0x54734E67, "Gain")));
    SScanOutcome crash = ProblemOutcome(EOutcome::Crashed, "the scan server crashed (exit code 9)");
    crash.exitCode = 9;
    crash.dumpFiles = {"C:\\dumps\\7-1\\ScanServer-x64-2024-03-07-09-05-01.mdmp",
                       "C:\\dumps\\7-2\\ScanServer-x64-2024-03-07-09-05-03.mdmp"};
    crash.lastLines = {"info:Calling entry point..."};
    database.Put(Entry("C:\\VST\\Crash.dll", kStamp, crash));
    SScanOutcome hang = ProblemOutcome(EOutcome::TimedOut, "no answer for 2 s; the scan server was stopped");
    hang.dialogs = {"Licence \xE2\x80\x94 Check"};
    database.Put(Entry("C:\\VST\\Hang.dll", kStamp, hang));
    database.Put(Entry("C:\\VST\\Text.dll", SFileStamp{45, 1}, ProblemOutcome(EOutcome::NotPlugin, "not a library")));
    return database;
}

TEST(ScanDatabase, KeepsAStableOrderWhateverTheOrderOfPuts)
{
    const CStrings expected = {"C:\\VST\\Crash.dll", "C:\\VST\\Gain.dll", "C:\\VST\\Hang.dll", "C:\\VST\\Shell.dll",
                               "C:\\VST\\Shell.dll>54734931", "C:\\VST\\Shell.dll>54734932", "C:\\VST\\Text.dll"};
    EXPECT_EQ(expected, Requests(SampleDatabase().Entries()));

    CScanDatabase reversed;
    const CScanDatabase sample = SampleDatabase();
    const std::vector<const SDatabaseEntry*> entries = sample.Entries();
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
        reversed.Put(**entry);
    EXPECT_EQ(sample.ToJson(), reversed.ToJson());
}

TEST(ScanDatabase, FindsLibrariesAndSubPluginsWithoutRegardToCase)
{
    const CScanDatabase database = SampleDatabase();
    ASSERT_NE(nullptr, database.FindLibrary("c:\\vst\\GAIN.DLL"));
    EXPECT_EQ("Gain", database.FindLibrary("c:\\vst\\GAIN.DLL")->outcome.record.name);
    ASSERT_NE(nullptr, database.FindSubPlugin("C:\\VST\\shell.dll", 0x54734931));
    EXPECT_EQ("Strings", database.FindSubPlugin("C:\\VST\\shell.dll", 0x54734931)->outcome.record.name);
    EXPECT_EQ(nullptr, database.FindSubPlugin("C:\\VST\\Shell.dll", 0x54734933));
    EXPECT_EQ(nullptr, database.FindSubPlugin("C:\\VST\\Gain.dll", 0));
    EXPECT_EQ(nullptr, database.FindLibrary("C:\\VST\\Gain.dl"));
}

TEST(ScanDatabase, PutReplacesTheEntryOfTheSameLibraryOrSubPlugin)
{
    CScanDatabase database = SampleDatabase();
    const std::size_t size = database.Size();
    database.Put(Entry("c:\\VST\\gain.dll", kStamp, ScannedOutcome(1, "Gain 2")));
    database.Put(SubEntry("C:\\VST\\Shell.dll", 0x54734931, kStamp, ScannedOutcome(2, "Strings 2")));
    EXPECT_EQ(size, database.Size());
    EXPECT_EQ("Gain 2", database.FindLibrary("C:\\VST\\Gain.dll")->outcome.record.name);
    EXPECT_EQ("Strings 2", database.FindSubPlugin("C:\\VST\\Shell.dll", 0x54734931)->outcome.record.name);
}

TEST(ScanDatabase, RemovesLibrariesWithTheirSubPlugins)
{
    struct SCase {
        const char* label;
        void (*change)(CScanDatabase&);
        CStrings remaining;
    };
    const SCase cases[] = {
        {"remove the shell", [](CScanDatabase& d) { d.RemoveLibrary("c:\\vst\\SHELL.dll"); },
         {"C:\\VST\\Crash.dll", "C:\\VST\\Gain.dll", "C:\\VST\\Hang.dll", "C:\\VST\\Text.dll"}},
        {"keep one sub-plug-in",
         [](CScanDatabase& d) { d.RemoveSubPluginsExcept("C:\\VST\\Shell.dll", {0x54734932, 0x99}); },
         {"C:\\VST\\Crash.dll", "C:\\VST\\Gain.dll", "C:\\VST\\Hang.dll", "C:\\VST\\Shell.dll",
          "C:\\VST\\Shell.dll>54734932", "C:\\VST\\Text.dll"}},
        {"keep no sub-plug-in", [](CScanDatabase& d) { d.RemoveSubPluginsExcept("C:\\VST\\Shell.dll", {}); },
         {"C:\\VST\\Crash.dll", "C:\\VST\\Gain.dll", "C:\\VST\\Hang.dll", "C:\\VST\\Shell.dll",
          "C:\\VST\\Text.dll"}},
        {"remove gone files",
         [](CScanDatabase& d) {
             const CStrings removed = d.RemoveGone([](const std::string& path) {
                 return path == "C:\\VST\\Shell.dll" || path == "C:\\VST\\Hang.dll";
             });
             EXPECT_EQ((CStrings{"C:\\VST\\Hang.dll", "C:\\VST\\Shell.dll"}), removed);
         },
         {"C:\\VST\\Crash.dll", "C:\\VST\\Gain.dll", "C:\\VST\\Text.dll"}},
        {"remove a library that is not there", [](CScanDatabase& d) { d.RemoveLibrary("C:\\VST\\Other.dll"); },
         {"C:\\VST\\Crash.dll", "C:\\VST\\Gain.dll", "C:\\VST\\Hang.dll", "C:\\VST\\Shell.dll",
          "C:\\VST\\Shell.dll>54734931", "C:\\VST\\Shell.dll>54734932", "C:\\VST\\Text.dll"}},
    };
    for (const SCase& c : cases) {
        CScanDatabase database = SampleDatabase();
        c.change(database);
        EXPECT_EQ(c.remaining, Requests(database.Entries())) << c.label;
    }
}

TEST(ScanDatabase, EntriesOfALibraryComeLibraryFirst)
{
    const CScanDatabase database = SampleDatabase();
    EXPECT_EQ((CStrings{"C:\\VST\\Shell.dll", "C:\\VST\\Shell.dll>54734931", "C:\\VST\\Shell.dll>54734932"}),
              Requests(database.EntriesOf("c:\\vst\\shell.dll")));
    EXPECT_EQ(CStrings{}, Requests(database.EntriesOf("C:\\VST\\Shell")));
    EXPECT_EQ((CStrings{"C:\\VST\\Crash.dll", "C:\\VST\\Gain.dll", "C:\\VST\\Hang.dll", "C:\\VST\\Shell.dll",
                        "C:\\VST\\Text.dll"}),
              database.LibraryPaths());
}

TEST(ScanDatabase, FileKeepsEveryFieldOfEveryEntry)
{
    const CScanDatabase database = SampleDatabase();
    CScanDatabase read;
    std::string error;
    CStrings rejected;
    ASSERT_TRUE(read.FromJson(database.ToJson(), error, rejected)) << error;
    EXPECT_EQ(CStrings{}, rejected);
    EXPECT_EQ(database.ToJson(), read.ToJson());
    EXPECT_EQ(database.FindLibrary("C:\\VST\\Crash.dll")->outcome.dumpFiles,
              read.FindLibrary("C:\\VST\\Crash.dll")->outcome.dumpFiles);
}

TEST(ScanDatabase, FileNamesTheOutcomeAndKeepsTheShellsOrder)
{
    const std::string json = SampleDatabase().ToJson();
    for (const char* part : {"\"format\": \"Tessivane plug-in scan database\"", "\"version\": 1",
                             "\"outcome\": \"timedOut\"", "\"outcome\": \"crashed\"", "\"outcome\": \"notPlugin\"",
                             "\"exitCode\": 9", "\"subId\": \"54734931\"", "\"fileTime\": 133000000000000000",
                             "\"dialogs\": [\n        \"Licence \xE2\x80\x94 Check\""})
        EXPECT_NE(std::string::npos, json.find(part)) << part;
    EXPECT_LT(json.find("\"Brass\""), json.find("\"Strings\"")) << "the shell's order, not the id order";
}

TEST(ScanDatabase, RejectsFilesThatAreNotADatabaseAndStaysUnchanged)
{
    struct SCase {
        const char* label;
        std::string text;
    };
    const std::string good = SampleDatabase().ToJson();
    auto replaced = [&good](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const SCase cases[] = {
        {"not JSON", "{\"format\": "},
        {"another JSON file", "{\"plugins\": []}"},
        {"a later version", replaced("\"version\": 1", "\"version\": 2")},
        {"a version past 32 bits", replaced("\"version\": 1", "\"version\": 4294967297")},
        {"an array", "[]"},
    };
    for (const SCase& c : cases) {
        CScanDatabase database = SampleDatabase();
        std::string error;
        CStrings rejected;
        EXPECT_FALSE(database.FromJson(c.text, error, rejected)) << c.label;
        EXPECT_FALSE(error.empty()) << c.label;
        EXPECT_EQ(good, database.ToJson()) << c.label;
    }
}

TEST(ScanDatabase, ADamagedEntryIsLeftOutWithItsMemberNamedAndTheOthersKept)
{
    struct SCase {
        const char* from; ///< replaced where it first occurs in the sample file
        const char* to;
        const char* request;
        const char* member;
    };
    const SCase cases[] = {
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
        {"\"dumps\": [", "\"dumps\": [7, ", "C:\\VST\\Crash.dll", "\"dumps\""},
        {"\"Licence", "7, \"Licence", "C:\\VST\\Hang.dll", "\"dialogs\""},
        {"\"subId\": \"54734931\"", "\"subId\": \"x\"", "C:\\VST\\Shell.dll>54734931", "\"subId\""},
        {"\"id\": \"54734932\"", "\"id\": 54734932", "C:\\VST\\Shell.dll", "\"id\""},
    };
    const CScanDatabase sample = SampleDatabase();
    for (const SCase& c : cases) {
        std::string text = sample.ToJson();
        text.replace(text.find(c.from), std::string(c.from).size(), c.to);
        CScanDatabase database;
        std::string error;
        CStrings rejected;
        ASSERT_TRUE(database.FromJson(text, error, rejected)) << c.to << ": " << error;
        ASSERT_EQ(1u, rejected.size()) << c.to;
        // The only sub-plug-in row damages the id itself: the path names it.
        const std::string request = c.request;
        EXPECT_NE(std::string::npos, rejected[0].find("entry " + request.substr(0, request.find('>')) + ": "))
            << rejected[0];
        EXPECT_NE(std::string::npos, rejected[0].find(c.member)) << rejected[0];
        CStrings kept = Requests(sample.Entries());
        kept.erase(std::find(kept.begin(), kept.end(), request));
        EXPECT_EQ(kept, Requests(database.Entries())) << c.to;
    }
}

TEST(ScanDatabase, AnOlderFileWithASingleDumpFileReads)
{
    nlohmann::ordered_json document = nlohmann::ordered_json::parse(SampleDatabase().ToJson());
    nlohmann::ordered_json& crash = document["plugins"][0];
    crash.erase("dumps");
    crash["dumpFile"] = "C:\\dumps\\old.mdmp";
    CScanDatabase database;
    std::string error;
    CStrings rejected;
    ASSERT_TRUE(database.FromJson(document.dump(), error, rejected)) << error;
    EXPECT_EQ(CStrings{"C:\\dumps\\old.mdmp"}, database.FindLibrary("C:\\VST\\Crash.dll")->outcome.dumpFiles);
}

} // namespace
