#include "scan/EffectProbe.h"

#include "foundation/ContainerTestSupport.h"
#include "scan/FileVersion.h"
#include "support/FakeScanPlatform.h"
#include "support/RecordingSink.h"

#include <gtest/gtest.h>

namespace {

std::string Narrow(const CString& text)
{
    const char16_t* units = text.GetText() != nullptr ? text.GetText() : u"";
    return std::string(units, units + std::char_traits<char16_t>::length(units));
}

// The interface's numbers are the ones real plug-ins were built with; the
// fixtures share this header, so only spelt-out numbers catch a typo in it.
TEST(EffectProbe, InterfaceNumbersAreThoseOfRealPlugins)
{
    const std::pair<int64_t, int64_t> numbers[] = {
        {kEffectMagic, 0x56737450},   {effClose, 1},           {effGetPlugCategory, 35},
        {effGetEffectName, 45},       {effGetVendorString, 47}, {effGetProductString, 48},
        {effGetVendorVersion, 49},    {effCanDo, 51},           {effShellGetNextPlugin, 70},
        {effFlagsIsSynth, 0x100},     {effFlagsCanDoubleReplacing, 0x1000},
        {kPlugCategoryEffect, 1},     {kPlugCategorySynth, 2},  {kPlugCategoryShell, 10},
    };
    for (std::size_t i = 0; i < sizeof numbers / sizeof numbers[0]; ++i)
        EXPECT_EQ(numbers[i].second, numbers[i].first) << "entry " << i;
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
    EXPECT_EQ((std::vector<int32_t>{effGetEffectName, effGetVendorString, effGetProductString, effGetPlugCategory,
                                    effCanDo, effCanDo, effCanDo, effCanDo, effGetVendorVersion, effClose}),
              opcodes);
    // Before and after the entry point, and after every dispatcher call.
    EXPECT_EQ(std::vector<std::string>(2 + opcodes.size(), "filter"), platform.calls);
}

TEST(EffectProbe, ShellsRunningOutOfMemoryFail)
{
    using CShells = decltype(CPluginInfo::shells);
    const struct {
        std::size_t failingBytes; ///< a sub-plug-in, the first item array, growing it
        int listed;
    } cases[] = {{sizeof(CShellInfo), 0}, {CShells::kMinimumCapacity * sizeof(CShellInfo*), 0},
                 {2 * (CShells::kMinimumCapacity + 1) * sizeof(CShellInfo*), CShells::kMinimumCapacity}};
    CRecordingSink sink;
    CFakeScanPlatform platform;
    for (const auto& c : cases) {
        CEventLog events;
        CRecordingHeap heap(events);
        heap.failingBytes = c.failingBytes;
        CPluginInfo record;
        EXPECT_FALSE(ProbeEffect(platform.Module(EFixture::ShellBig), record)) << c.failingBytes;
        EXPECT_EQ("Out of memory while enumerating sub-plug-ins", Narrow(record.error));
        EXPECT_EQ(c.listed, record.shells.GetCount());
        EXPECT_TRUE(g_openFixtureEffects.empty()) << "the effect is closed all the same";
    }
}

// The fixture rows of the end-to-end server table check the other corrections.
TEST(EffectProbe, CategoriesVstVersionsAndFileVersions)
{
    EXPECT_EQ(-3, CorrectedCategory(-3, 0, 2)) << "other answers stay";
    EXPECT_EQ(1, CorrectedCategory(0, effFlagsCanDoubleReplacing, 2));
    const std::pair<int32_t, const char*> vst[] = {
        {0, ""}, {-2147483647 - 1, "-2147483648.0.0.0"}, {9, "9.0.0.0"}, {10, "0.0.1.0"}, {9999, "9.9.9.9"},
        {10000, "1.0.0.0"}, {65535, "6.5.5.3"}, {65536, "1.0.0.0"}, {0x64FFFF, "100.255.255.0"},
        {0x650000, "0.66.19.136"}, {7600000, "0.76.0.0"}, {2147483647, "214.74.83.647"}};
    for (const auto& [value, expected] : vst)
        EXPECT_EQ(expected, Narrow(FormatVstVersion(value))) << value;
    const std::pair<SFileVersion, const char*> file[] = {{{0, 1, 0x00010002, 0x00030004}, "0.0.0.1"},
        {{0, 0, 0, 0}, ""}, {{0xFFFFFFFF, 0xFFFFFFFF, 0, 0}, "65535.65535.65535.65535"}};
    for (const auto& [version, expected] : file)
        EXPECT_EQ(expected, Narrow(FormatFileVersion(version)));
}

} // namespace
