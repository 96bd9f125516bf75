// The incremental rules: what a run does with a library given the database.

#include "client/ScanPlan.h"

#include "client/ClientTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const SFileStamp kStamp{1000, 500};
const std::string kPath = "C:\\VST\\Plug.dll";

TEST(ScanPlan, SingleLibraryDecisions)
{
    struct SCase {
        const char* label;
        bool known;
        EOutcome kind;
        SFileStamp fileNow;
        SPlanOptions options;
        EPlanAction action;
    };
    const SPlanOptions none;
    const SPlanOptions retry{false, true};
    const SPlanOptions rescan{true, false};
    const SCase cases[] = {
        {"new file", false, EOutcome::Scanned, kStamp, none, EPlanAction::ScanLibrary},
        {"unchanged scanned", true, EOutcome::Scanned, kStamp, none, EPlanAction::Skip},
        {"unchanged failed", true, EOutcome::Failed, kStamp, none, EPlanAction::Skip},
        {"unchanged not a plug-in", true, EOutcome::NotPlugin, kStamp, none, EPlanAction::Skip},
        {"unchanged crashed", true, EOutcome::Crashed, kStamp, none, EPlanAction::Skip},
        {"unchanged timed out", true, EOutcome::TimedOut, kStamp, none, EPlanAction::Skip},
        {"size changed", true, EOutcome::Scanned, SFileStamp{1001, 500}, none, EPlanAction::ScanLibrary},
        {"time changed", true, EOutcome::Scanned, SFileStamp{1000, 501}, none, EPlanAction::ScanLibrary},
        {"changed crashed", true, EOutcome::Crashed, SFileStamp{1000, 499}, none, EPlanAction::ScanLibrary},
        {"retry a crash", true, EOutcome::Crashed, kStamp, retry, EPlanAction::ScanLibrary},
        {"retry a time-out", true, EOutcome::TimedOut, kStamp, retry, EPlanAction::ScanLibrary},
        {"retry leaves a failure", true, EOutcome::Failed, kStamp, retry, EPlanAction::Skip},
        {"retry leaves a success", true, EOutcome::Scanned, kStamp, retry, EPlanAction::Skip},
        {"rescan everything", true, EOutcome::Scanned, kStamp, rescan, EPlanAction::ScanLibrary},
        {"a run that found no server", true, EOutcome::NoServer, kStamp, none, EPlanAction::ScanLibrary},
    };
    for (const SCase& c : cases) {
        CScanDatabase database;
        if (c.known)
            database.Put(Entry(kPath, kStamp,
                               c.kind == EOutcome::Scanned ? ScannedOutcome(1, "Plug") : ProblemOutcome(c.kind, "x")));
        const SLibraryPlan plan = PlanLibrary(database, SLibraryFile{kPath, c.fileNow}, c.options);
        EXPECT_EQ(c.action, plan.action) << c.label;
        EXPECT_TRUE(plan.subPlugins.empty()) << c.label;
    }
}

TEST(ScanPlan, AShellScansOnlyTheSubPluginsStillMissing)
{
    struct SCase {
        const char* subEntries; ///< per sub-plug-in id: s scanned, c crashed, o scanned from an older file
        SPlanOptions options;
        SFileStamp fileNow;
        EPlanAction action;
        std::vector<uint32_t> subPlugins;
    };
    const SCase cases[] = {
        {"1s 2s 3s", {}, kStamp, EPlanAction::Skip, {}},
        {"3s", {}, kStamp, EPlanAction::ScanSubPlugins, {1, 2}},
        {"", {}, kStamp, EPlanAction::ScanSubPlugins, {3, 1, 2}},
        {"1o 2s 3s", {}, kStamp, EPlanAction::ScanSubPlugins, {1}},
        {"1s 2c 3s", {}, kStamp, EPlanAction::Skip, {}},
        {"1s 2c 3s", {false, true}, kStamp, EPlanAction::ScanSubPlugins, {2}},
        {"1s", {}, SFileStamp{2000, 500}, EPlanAction::ScanLibrary, {}},
    };
    for (const SCase& c : cases) {
        CScanDatabase database;
        database.Put(Entry(kPath, kStamp, ScannedOutcome(9, "Shell", {{3, "C"}, {1, "A"}, {2, "B"}})));
        for (const char* at = c.subEntries; *at != 0; at += at[2] == ' ' ? 3 : 2) {
            const uint32_t id = static_cast<uint32_t>(at[0] - '0');
            database.Put(SubEntry(kPath, id, at[1] == 'o' ? SFileStamp{1, 1} : kStamp,
                                  at[1] == 'c' ? ProblemOutcome(EOutcome::Crashed, "x") : ScannedOutcome(id, "S")));
        }
        const SLibraryPlan plan = PlanLibrary(database, SLibraryFile{kPath, c.fileNow}, c.options);
        EXPECT_EQ(c.action, plan.action) << c.subEntries;
        EXPECT_EQ(c.subPlugins, plan.subPlugins) << c.subEntries;
    }
}

} // namespace
