#include "scan/EffectProbe.h"

#include "foundation/ContainerTestSupport.h"
#include "scan/ScanState.h"
#include "support/FakePlugin.h"
#include "support/FakeScanPlatform.h"
#include "support/RecordingSink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

void* EntryExport() { return reinterpret_cast<void*>(&CFakeEffect::EntryPoint); }

std::string Narrow(const CString& text)
{
    std::string narrow;
    for (const char16_t* unit = text.GetText(); unit != nullptr && *unit != 0; ++unit)
        narrow.push_back(*unit < 0x80 ? static_cast<char>(*unit) : '?');
    return narrow;
}

class EffectProbe : public testing::Test {
protected:
    /// Probes a library exporting the entry point under exportName that builds effect.
    bool Probe(CFakeEffect* effect, const char* exportName = "VSTPluginMain") { return Probe(effect, record, exportName); }

    bool Probe(CFakeEffect* effect, CPluginInfo& into, const char* exportName = "VSTPluginMain")
    {
        SFakeLibrary& library = platform.AddLibrary(u"C:\\fake.dll");
        if (exportName != nullptr)
            library.exports[exportName] = EntryExport();
        library.synthEdit = synthEdit;
        CFakeEffect::Next() = effect;
        return ProbeEffect(&library, into);
    }

    CRecordingSink sink;
    CFakeScanPlatform platform;
    CPluginInfo record;
    bool synthEdit = false;
};

TEST_F(EffectProbe, PlainEffectFillsTheRecordAndClosesTheEffect)
{
    CFakeEffect effect{SFakePlugin()};
    synthEdit = true;
    ASSERT_TRUE(Probe(&effect));
    EXPECT_EQ("Fake Gain", Narrow(record.name));
    EXPECT_EQ("Fake Audio", Narrow(record.vendor));
    EXPECT_EQ("Fake Suite", Narrow(record.product));
    EXPECT_EQ("1.0.0.0", Narrow(record.version));
    EXPECT_EQ(0x46616B65, record.id);
    EXPECT_EQ(2, record.numInputs);
    EXPECT_EQ(2, record.numOutputs);
    EXPECT_EQ(1, record.category);
    EXPECT_TRUE(record.audio64);
    EXPECT_TRUE(record.synthEdit);
    EXPECT_FALSE(record.wantsMidi);
    EXPECT_FALSE(record.sendsMidi);
    EXPECT_TRUE(record.error.IsEmpty());
    const std::vector<int32_t> opcodes = {effGetEffectName, effGetVendorString, effGetProductString,
                                          effGetPlugCategory, effCanDo, effCanDo, effCanDo, effCanDo,
                                          effGetVendorVersion, effClose};
    EXPECT_EQ(opcodes, effect.opcodes);
    char address[32];
    std::snprintf(address, sizeof address, "%016llX",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&platform.libraries.back())));
    const std::vector<std::string> lines = {
        std::string("info:Looking for entry point in module ") + address + "\n",
        "info:Found VSTPluginMain()\n",
        "info:Calling entry point...\n",
        "info:Dispatching effClose...\n",
    };
    EXPECT_EQ(lines, sink.writes);
    // The filter goes back in before and after the entry point, after the magic
    // check and after effClose.
    EXPECT_EQ(4, std::count(platform.calls.begin(), platform.calls.end(), "filter"));
}

TEST_F(EffectProbe, FailuresStopBeforeTheDispatcher)
{
    struct SCase {
        const char* name;
        const char* exportName;
        bool returnsNull;
        int32_t magic;
        const char* error;
    };
    const SCase cases[] = {
        {"jBridge stub", "JBridgeBootstrap", false, kEffectMagic, "Module is a jBridge bootstrap, ignoring"},
        {"no entry point", nullptr, false, kEffectMagic, "Entry point not found, not a VST plugin"},
        {"entry point returns null", "VSTPluginMain", true, kEffectMagic, "Entry point returned NULL"},
        {"bad magic", "VSTPluginMain", false, 0x50747356, "Bad magic"},
    };
    for (const SCase& c : cases) {
        SFakePlugin plugin;
        plugin.magic = c.magic;
        CFakeEffect effect(plugin);
        CPluginInfo result;
        EXPECT_FALSE(Probe(c.returnsNull ? nullptr : &effect, result, c.exportName)) << c.name;
        EXPECT_EQ(c.error, Narrow(result.error)) << c.name;
        EXPECT_TRUE(effect.opcodes.empty()) << c.name << ": no question, not even effClose";
        EXPECT_EQ(-1, result.category) << c.name;
    }
}

TEST_F(EffectProbe, OldEntryPointNameIsFound)
{
    CFakeEffect effect{SFakePlugin()};
    ASSERT_TRUE(Probe(&effect, "main"));
    EXPECT_EQ("info:Found main()\n", sink.writes[1]);
}

TEST_F(EffectProbe, MidiDecisions)
{
    struct SCase {
        intptr_t canDo[4];
        bool callsWantMidi;
        bool wantsMidi;
        bool sendsMidi;
        std::size_t queries;
    };
    const SCase cases[] = {
        {{-1, -1, -1, -1}, false, false, false, 4},
        {{1, -1, -1, -1}, false, true, false, 3},  // the second receive query is skipped
        {{-1, 1, -1, -1}, false, true, false, 4},
        {{-1, -1, 1, -1}, false, false, true, 3},
        {{-1, -1, -1, 1}, false, false, true, 4},
        {{0, 0, 0, 0}, false, true, true, 2},      // "don't know" counts as yes
        {{-1, -1, -1, -1}, true, true, false, 4},  // audioMasterWantMidi in the entry point
        {{0xFFFFFFFFll, -1, -1, -1}, false, false, false, 4}, // only the low 32 bits count
    };
    for (const SCase& c : cases) {
        SFakePlugin plugin;
        std::copy(c.canDo, c.canDo + 4, plugin.canDo);
        plugin.callsWantMidi = c.callsWantMidi;
        CFakeEffect effect(plugin);
        CPluginInfo result;
        ASSERT_TRUE(Probe(&effect, result));
        EXPECT_EQ(c.wantsMidi, result.wantsMidi) << c.canDo[0] << c.canDo[1] << c.callsWantMidi;
        EXPECT_EQ(c.sendsMidi, result.sendsMidi) << c.canDo[2] << c.canDo[3];
        EXPECT_EQ(c.queries, effect.canDoQueries.size());
    }
}

TEST(EffectCategory, Corrections)
{
    struct SCase {
        int32_t reported, flags, numInputs, expected;
    };
    const SCase cases[] = {
        {1, effFlagsIsSynth, 2, 2},   // the synth flag wins
        {10, effFlagsIsSynth, 0, 2},  // even over a shell
        {0, 0, 2, 1},                 // not stated, with inputs: an effect
        {0, 0, 0, 2},                 // not stated, without inputs: a synth
        {10, 0, 2, 10},
        {1, 0, 0, 1},
        {7, 0, 2, 7},                 // other answers stay
        {-3, 0, 2, -3},
        {0, effFlagsCanDoubleReplacing, 2, 1},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(c.expected, CorrectedCategory(c.reported, c.flags, c.numInputs))
            << c.reported << " " << c.flags << " " << c.numInputs;
}

TEST_F(EffectProbe, ShellListsItsSubPluginsOnceInOrder)
{
    SFakePlugin plugin;
    plugin.category = kPlugCategoryShell;
    plugin.shell = {{5, "Five"}, {7, "Seven"}, {5, "Five again"}, {9, nullptr}};
    CFakeEffect effect(plugin);
    ASSERT_TRUE(Probe(&effect));
    ASSERT_EQ(3, record.shells.GetCount());
    EXPECT_EQ(5, record.shells.GetAt(0)->id);
    EXPECT_EQ("Five", Narrow(record.shells.GetAt(0)->name));
    EXPECT_EQ(7, record.shells.GetAt(1)->id);
    EXPECT_EQ("Seven", Narrow(record.shells.GetAt(1)->name));
    EXPECT_EQ(9, record.shells.GetAt(2)->id);
    EXPECT_EQ("", Narrow(record.shells.GetAt(2)->name)) << "a name the shell did not write is empty";
    const std::vector<std::string> found(sink.writes.end() - 6, sink.writes.end() - 1);
    const std::vector<std::string> expected = {
        "info:Found shell: 00000005 - Five\n", "info:Found shell: 00000007 - Seven\n",
        "info:Found shell: 00000005 - Five again\n", "info:   - duplicate, ignoring\n",
        "info:Found shell: 00000009 - \n",
    };
    EXPECT_EQ(expected, found);
}

TEST_F(EffectProbe, ShellRunningOutOfMemoryFailsTheRequest)
{
    using CShells = decltype(record.shells);
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
    for (const SCase& c : cases) {
        SFakePlugin plugin;
        plugin.category = kPlugCategoryShell;
        for (int32_t id = 1; id <= 2 * CShells::kMinimumCapacity; ++id)
            plugin.shell.push_back({id, "Sub"});
        CFakeEffect effect(plugin);
        CEventLog events;
        CRecordingHeap heap(events);
        heap.FailAllocationsOf(c.failingBytes);
        CPluginInfo result;
        EXPECT_FALSE(Probe(&effect, result)) << c.name;
        EXPECT_EQ("Out of memory while enumerating sub-plug-ins", Narrow(result.error)) << c.name;
        EXPECT_EQ(c.listed, result.shells.GetCount()) << c.name;
        EXPECT_EQ(effClose, effect.opcodes.back()) << c.name;
    }
}

TEST_F(EffectProbe, ShellWithTheSynthFlagIsNotEnumerated)
{
    SFakePlugin plugin;
    plugin.category = kPlugCategoryShell;
    plugin.flags = effFlagsIsSynth;
    plugin.shell = {{5, "Five"}};
    CFakeEffect effect(plugin);
    ASSERT_TRUE(Probe(&effect));
    EXPECT_EQ(2, record.category);
    EXPECT_EQ(0, record.shells.GetCount());
    EXPECT_EQ(0, std::count(effect.opcodes.begin(), effect.opcodes.end(), effShellGetNextPlugin));
}

TEST_F(EffectProbe, EndlessShellIsStopped)
{
    SFakePlugin plugin;
    plugin.category = kPlugCategoryShell;
    for (int32_t id = 1; id <= kMaxShellEnumerationCalls + 10; ++id)
        plugin.shell.push_back({id, "Again"});
    CFakeEffect effect(plugin);
    CRecordingSink quiet; // thousands of lines
    ASSERT_TRUE(Probe(&effect));
    EXPECT_EQ(kMaxShellEnumerationCalls, record.shells.GetCount());
    EXPECT_EQ("info:Dispatching effClose...\n", quiet.writes.back());
    EXPECT_EQ("warn:Shell enumeration stopped after 10000 calls\n", quiet.writes[quiet.writes.size() - 2]);
}

TEST_F(EffectProbe, TextWithoutTerminatorIsCutInsideTheBuffer)
{
    SFakePlugin plugin;
    plugin.overrunBytes = 600;
    CFakeEffect effect(plugin);
    ASSERT_TRUE(Probe(&effect));
    EXPECT_EQ(std::string(kPluginTextMaxLength, 'A'), Narrow(record.name));
    EXPECT_EQ(std::string(kPluginTextMaxLength, 'A'), Narrow(record.product));
}

TEST(VstVersion, FormatsEveryRange)
{
    struct SCase {
        int32_t value;
        const char* expected;
    };
    const SCase cases[] = {
        {0, ""},
        {5, "5.0.0.0"},
        {-1, "-1.0.0.0"},
        {-2147483647 - 1, "-2147483648.0.0.0"},
        {9, "9.0.0.0"},
        {10, "0.0.1.0"},
        {1234, "1.2.3.4"},
        {2400, "2.4.0.0"},
        {9999, "9.9.9.9"},
        {10000, "1.0.0.0"},
        {12345, "1.2.3.4"},
        {65535, "6.5.5.3"},
        {65536, "1.0.0.0"},
        {0x10203, "1.2.3.0"},
        {0x64FFFF, "100.255.255.0"},
        {0x650000, "0.66.19.136"},
        {12345678, "1.23.45.678"},
        {2147483647, "214.74.83.647"},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(c.expected, Narrow(FormatVstVersion(c.value))) << c.value;
}

} // namespace
