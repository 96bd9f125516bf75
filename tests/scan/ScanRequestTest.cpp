#include "scan/ScanRequest.h"

#include "scan/EffectProbe.h"
#include "scan/ScanState.h"
#include "support/FakeScanPlatform.h"
#include "support/RecordLines.h"
#include "support/RecordSupport.h"
#include "support/RecordingSink.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

CString Request(EFixture row) { return Text(FixtureLibrary(row).c_str()); }

enum : unsigned { kWants = 1, kSends = 2, kSynthEdit = 4 };

/// A row of the fixture table and the record it must give. The end-to-end
/// table checks every row a native server loads; these are what it cannot show.
struct SRecordCase {
    EFixture row;
    int32_t category;
    unsigned flags;
    const char* version;
    std::size_t canDoQueries;
    const char* error; ///< not empty: a failed probe's record
};

SPluginRecord Expected(const SRecordCase& c)
{
    const SFixture& row = FixtureRow(c.row);
    if (*c.error != 0)
        return {0, "", "", "", c.version, c.error, 0, 0, false, false, "x64", false, c.category, false, {}};
    return {static_cast<uint32_t>(row.uniqueId), row.name, row.vendor, row.product, c.version, "", row.numInputs, row.numOutputs,
            (c.flags & kWants) != 0, (c.flags & kSends) != 0, "x64", false, c.category, (c.flags & kSynthEdit) != 0, {}};
}

TEST(ScanRequest, RowsOnlyAWindowsServerOrTheProbesPluginSideShow)
{
    const SRecordCase cases[] = {
        {EFixture::CanDoZero, 1, kWants | kSends, "1.0.0.0", 2, ""}, // a yes ends each question's asking
        {EFixture::BadMagic, -1, 0, "", 0, "Bad magic"},
        {EFixture::SynthEditResource, 1, kSynthEdit, "1.0.0.0", 4, ""},
        {EFixture::VersionFromFile, 1, 0, "1.2.3.4", 4, ""},
        {EFixture::VersionFromProduct, 1, 0, "2.5.1.0", 4, ""},
    };
    CRecordingSink sink;
    CFakeScanPlatform platform;
    std::vector<int32_t> opcodes;
    g_fixtureOpcodes = &opcodes;
    for (const SRecordCase& c : cases) {
        SCOPED_TRACE(FixtureRow(c.row).name);
        sink.writes.clear();
        opcodes.clear();
        ScanRequest(Request(c.row));
        std::string text;
        for (const std::string& line : sink.writes)
            if (line.compare(0, 2, ">:") == 0)
                text += line;
        EXPECT_EQ(record_lines::Tagged(Expected(c)), text);
        EXPECT_EQ(c.canDoQueries, static_cast<std::size_t>(std::count(opcodes.begin(), opcodes.end(), effCanDo)));
        if (c.row == EFixture::BadMagic) {
            ASSERT_EQ(1u, g_openFixtureEffects.size()) << "an effect of bad magic is not touched";
            g_openFixtureEffects[0]->dispatcher(g_openFixtureEffects[0], effClose, 0, 0, nullptr, 0.0f);
        }
        EXPECT_TRUE(g_openFixtureEffects.empty()) << "every effect is closed";
        EXPECT_EQ(0, g_currentShellId) << "the id is published only while the probe runs";
    }
    g_fixtureOpcodes = nullptr;
    EXPECT_EQ(0, platform.openCount);
}

TEST(ScanRequest, CallsThePlatformInOrderAndTakesAPathOfAnotherCaseForAnotherLibrary)
{
    CRecordingSink sink;
    CFakeScanPlatform platform;
    ScanRequest(Request(EFixture::PlainEffect));
    // Around the load and the entry point, and after each of the plain fixture's ten dispatcher calls.
    std::vector<std::string> order = {"filter", "open", "filter", "activate", "pump", "filter", "filter"};
    order.insert(order.end(), 10, "filter");
    order.insert(order.end(), {"pump", "close"});
    EXPECT_EQ(order, platform.calls);
    ScanRequest(Request(EFixture::ShellDuplicates));
    ScanRequest(Text((FixtureLibrary(EFixture::ShellDuplicates) + u">00000005").c_str()));
    EXPECT_EQ(0, g_currentShellId) << "the id is published only while the probe runs";
    std::u16string other = FixtureLibrary(EFixture::ShellDuplicates);
    other[0] = u'c';
    ScanRequest(Text(other.c_str())); // frees the cached shell, then fails to load
    EXPECT_EQ(0, platform.openCount);
}

} // namespace
