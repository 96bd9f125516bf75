#include "scan/EffectProbe.h"

#include "foundation/ContainerTestSupport.h"
#include "support/FakeScanPlatform.h"
#include "support/RecordingSink.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::string Narrow(const CString& text)
{
    std::string narrow;
    for (const char16_t* unit = text.GetText(); unit != nullptr && *unit != 0; ++unit)
        narrow.push_back(static_cast<char>(*unit));
    return narrow;
}

TEST(EffectProbe, AsksInOrderAndPutsTheFilterBackAroundThePlugin)
{
    CRecordingSink sink;
    CFakeScanPlatform platform;
    std::vector<int32_t> opcodes;
    g_fixtureOpcodes = &opcodes;
    CPluginInfo record;
    ASSERT_TRUE(ProbeEffect(platform.Module(EFixture::PlainEffect), record));
    g_fixtureOpcodes = nullptr;
    const std::vector<int32_t> expected = {effGetEffectName, effGetVendorString, effGetProductString,
                                           effGetPlugCategory, effCanDo, effCanDo, effCanDo, effCanDo,
                                           effGetVendorVersion, effClose};
    EXPECT_EQ(expected, opcodes);
    // Before and after the entry point, after the magic check and after effClose.
    EXPECT_EQ(std::vector<std::string>(4, "filter"), platform.calls);
}

TEST(EffectProbe, ShellRunningOutOfMemoryFailsTheRequest)
{
    using CShells = decltype(CPluginInfo::shells);
    struct SCase {
        const char* name;
        std::size_t failingBytes;
        int listed;
    };
    const SCase cases[] = {
        {"a sub-plug-in", sizeof(CShellInfo), 0},
        {"the first item array", CShells::kMinimumCapacity * sizeof(CShellInfo*), 0},
        {"growing the item array", 2 * (CShells::kMinimumCapacity + 1) * sizeof(CShellInfo*), CShells::kMinimumCapacity},
    };
    CRecordingSink sink;
    CFakeScanPlatform platform;
    for (const SCase& c : cases) {
        CEventLog events;
        CRecordingHeap heap(events);
        heap.FailAllocationsOf(c.failingBytes);
        CPluginInfo record;
        EXPECT_FALSE(ProbeEffect(platform.Module(EFixture::ShellBig), record)) << c.name;
        EXPECT_EQ("Out of memory while enumerating sub-plug-ins", Narrow(record.error)) << c.name;
        EXPECT_EQ(c.listed, record.shells.GetCount()) << c.name;
        EXPECT_TRUE(g_openFixtureEffects.empty()) << c.name << ": the effect is closed all the same";
    }
}

TEST(EffectProbe, EndlessShellIsStopped)
{
    CRecordingSink sink;
    CFakeScanPlatform platform;
    CPluginInfo record;
    ASSERT_TRUE(ProbeEffect(platform.Module(EFixture::ShellEndless), record));
    EXPECT_EQ(kMaxShellEnumerationCalls, record.shells.GetCount());
    EXPECT_EQ("warn:Shell enumeration stopped after 10000 calls\n", sink.writes[sink.writes.size() - 2]);
}

TEST(EffectProbe, ShellListsEachIdOnce)
{
    CRecordingSink sink;
    CFakeScanPlatform platform;
    CPluginInfo record;
    ASSERT_TRUE(ProbeEffect(platform.Module(EFixture::ShellDuplicates), record));
    const std::vector<std::string> expected = {
        "info:Found shell: 00000005 - Fixture Sub Five\n", "info:Found shell: 00000007 - Fixture Sub Seven\n",
        "info:Found shell: 00000005 - Fixture Sub Five Again\n", "info:   - duplicate, ignoring\n",
        "info:Dispatching effClose...\n"};
    EXPECT_EQ(expected, std::vector<std::string>(sink.writes.end() - 5, sink.writes.end()));
}

TEST(EffectCategory, Corrections)
{
    struct SCase {
        int32_t reported, flags, numInputs, expected;
    };
    const SCase cases[] = {
        {10, effFlagsIsSynth, 0, 2},  // the synth flag wins, even over a shell
        {0, 0, 2, 1},                 // not stated, with inputs: an effect
        {0, 0, 0, 2},                 // not stated, without inputs: a synth
        {1, 0, 0, 1},
        {-3, 0, 2, -3},               // other answers stay
        {0, effFlagsCanDoubleReplacing, 2, 1},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(c.expected, CorrectedCategory(c.reported, c.flags, c.numInputs))
            << c.reported << " " << c.flags << " " << c.numInputs;
}

TEST(VstVersion, FormatsEveryRange)
{
    const std::pair<int32_t, const char*> cases[] = {
        {0, ""},
        {-2147483647 - 1, "-2147483648.0.0.0"},
        {9, "9.0.0.0"},
        {10, "0.0.1.0"},
        {9999, "9.9.9.9"},
        {10000, "1.0.0.0"},
        {65535, "6.5.5.3"},
        {65536, "1.0.0.0"},
        {0x64FFFF, "100.255.255.0"},
        {0x650000, "0.66.19.136"},
        {2147483647, "214.74.83.647"},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(expected, Narrow(FormatVstVersion(value))) << value;
}

} // namespace
