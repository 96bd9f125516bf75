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

TEST(ScanPlan, AnUnchangedShellScansOnlyTheSubPluginsStillMissing)
{
    const std::vector<SSubPlugin> shells = {{3, "C"}, {1, "A"}, {2, "B"}};
    struct SCase {
        const char* label;
        std::vector<SDatabaseEntry> subEntries;
        SPlanOptions options;
        EPlanAction action;
        std::vector<uint32_t> subPlugins;
    };
    const SCase cases[] = {
        {"all done",
         {SubEntry(kPath, 1, kStamp, ScannedOutcome(1, "A")), SubEntry(kPath, 2, kStamp, ScannedOutcome(2, "B")),
          SubEntry(kPath, 3, kStamp, ScannedOutcome(3, "C"))},
         {},
         EPlanAction::Skip,
         {}},
        {"interrupted after the first", {SubEntry(kPath, 3, kStamp, ScannedOutcome(3, "C"))}, {},
         EPlanAction::ScanSubPlugins, {1, 2}},
        {"interrupted before any", {}, {}, EPlanAction::ScanSubPlugins, {3, 1, 2}},
        {"a sub-plug-in from an older file",
         {SubEntry(kPath, 1, SFileStamp{1, 1}, ScannedOutcome(1, "A")), SubEntry(kPath, 2, kStamp, ScannedOutcome(2, "B")),
          SubEntry(kPath, 3, kStamp, ScannedOutcome(3, "C"))},
         {},
         EPlanAction::ScanSubPlugins,
         {1}},
        {"a crashed sub-plug-in stays",
         {SubEntry(kPath, 1, kStamp, ScannedOutcome(1, "A")),
          SubEntry(kPath, 2, kStamp, ProblemOutcome(EOutcome::Crashed, "x")),
          SubEntry(kPath, 3, kStamp, ScannedOutcome(3, "C"))},
         {},
         EPlanAction::Skip,
         {}},
        {"a crashed sub-plug-in is retried when asked",
         {SubEntry(kPath, 1, kStamp, ScannedOutcome(1, "A")),
          SubEntry(kPath, 2, kStamp, ProblemOutcome(EOutcome::Crashed, "x")),
          SubEntry(kPath, 3, kStamp, ScannedOutcome(3, "C"))},
         {false, true},
         EPlanAction::ScanSubPlugins,
         {2}},
    };
    for (const SCase& c : cases) {
        CScanDatabase database;
        database.Put(Entry(kPath, kStamp, ScannedOutcome(9, "Shell", shells)));
        for (const SDatabaseEntry& entry : c.subEntries)
            database.Put(entry);
        const SLibraryPlan plan = PlanLibrary(database, SLibraryFile{kPath, kStamp}, c.options);
        EXPECT_EQ(c.action, plan.action) << c.label;
        EXPECT_EQ(c.subPlugins, plan.subPlugins) << c.label;
    }
}

TEST(ScanPlan, AChangedShellIsScannedWhole)
{
    CScanDatabase database;
    database.Put(Entry(kPath, kStamp, ScannedOutcome(9, "Shell", {{1, "A"}})));
    const SLibraryPlan plan = PlanLibrary(database, SLibraryFile{kPath, SFileStamp{2000, 500}}, SPlanOptions());
    EXPECT_EQ(EPlanAction::ScanLibrary, plan.action);
    EXPECT_TRUE(plan.subPlugins.empty());
}

} // namespace
