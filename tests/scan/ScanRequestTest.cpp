#include "scan/ScanRequest.h"

#include "scan/EffectProbe.h"
#include "scan/LibraryCache.h"
#include "scan/ScanState.h"
#include "support/FakeScanPlatform.h"
#include "support/RecordLines.h"
#include "support/RecordSupport.h"
#include "support/RecordingSink.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::string Ascii(const std::u16string& units) { return std::string(units.begin(), units.end()); }

CString Request(EFixture row, const char16_t* suffix = u"")
{
    return Text((FixtureLibrary(row) + suffix).c_str());
}

enum : unsigned { kWants = 1, kSends = 2, kAudio64 = 4, kSynthEdit = 8 };

/// One request for a row of the fixture table and the record it must give.
struct SRecordCase {
    EFixture row;
    const char16_t* suffix;  ///< after the library's path: ">" and a sub-plug-in id
    const char* name;        ///< null: the row's
    int32_t category;
    unsigned flags;
    const char* version;
    std::size_t canDoQueries;
    const char* error;       ///< not empty: a failed probe's record
    std::vector<SSubPlugin> shells;
};

SPluginRecord Expected(const SRecordCase& c)
{
    const SFixture& row = FixtureRow(c.row);
    if (*c.error != 0)
        return {0, "", "", "", c.version, c.error, 0, 0, false, false, "x64", false, c.category, false, {}};
    const bool sub = *c.suffix != 0 && row.shellKind != EShellKind::None;
    return {static_cast<uint32_t>(sub ? std::stoul(Ascii(c.suffix + 1), nullptr, 16) : row.uniqueId),
            c.name != nullptr ? c.name : row.name, row.vendor, row.product, c.version, "", row.numInputs,
            row.numOutputs, (c.flags & kWants) != 0, (c.flags & kSends) != 0, "x64", (c.flags & kAudio64) != 0,
            c.category, (c.flags & kSynthEdit) != 0, c.shells};
}

TEST(ScanRequest, EveryFixtureRowGivesItsRecord)
{
    std::string overrun;
    for (int i = 0; i < 512; ++i) // a name is cut after 512 bytes, spelled out so the limit cannot drift
        overrun += static_cast<char>('A' + i % 26);
    const SRecordCase cases[] = {
        {EFixture::PlainEffect, u"", nullptr, 1, 0, "1.1.0.0", 4, "", {}},
        {EFixture::SynthFlagCategoryEffect, u"", nullptr, 2, kWants | kSends | kAudio64, "1.0.0.0", 2, "", {}},
        {EFixture::CategoryZeroWithInputs, u"", nullptr, 1, 0, "1.0.0.0", 4, "", {}},
        {EFixture::CategoryZeroNoInputs, u"", nullptr, 2, 0, "1.0.0.0", 4, "", {}},
        {EFixture::CanDoZero, u"", nullptr, 1, kWants | kSends, "1.0.0.0", 2, "", {}},
        {EFixture::CanDoEventsOnly, u"", nullptr, 1, kWants | kSends, "1.0.0.0", 4, "", {}},
        {EFixture::CanDoNoButWantMidi, u"", nullptr, 1, kWants, "1.0.0.0", 4, "", {}},
        {EFixture::ShellDuplicates, u"", nullptr, 10, 0, "1.0.0.0", 4, "",
         {{5, "Fixture Sub Five"}, {7, "Fixture Sub Seven"}}},
        {EFixture::ShellDuplicates, u">00000007", "Fixture Sub Seven", 1, 0, "1.0.0.0", 4, "", {}},
        {EFixture::ShellEmpty, u"", nullptr, 10, 0, "1.0.0.0", 4, "", {}},
        {EFixture::ShellSynthFlag, u"", nullptr, 2, 0, "1.0.0.0", 4, "", {}},
        {EFixture::ShellUnnamedEntry, u"", nullptr, 10, 0, "1.0.0.0", 4, "",
         {{0x21, "Fixture Named Sub"}, {0x22, ""}, {0x23, "Fixture Last Sub"}}},
        {EFixture::EntryReturnsNull, u"", nullptr, -1, 0, "", 0, "Entry point returned NULL", {}},
        {EFixture::BadMagic, u"", nullptr, -1, 0, "", 0, "Bad magic", {}},
        {EFixture::NoEntryPoint, u"", nullptr, -1, 0, "", 0, "Entry point not found, not a VST plugin", {}},
        {EFixture::MainOnly, u"", nullptr, 1, 0, "1.0.0.0", 4, "", {}},
        {EFixture::JBridgeStub, u"", nullptr, -1, 0, "", 0, "Module is a jBridge bootstrap, ignoring", {}},
        {EFixture::SynthEditResource, u"", nullptr, 1, kSynthEdit, "1.0.0.0", 4, "", {}},
        {EFixture::VersionFromFile, u"", nullptr, 1, 0, "1.2.3.4", 4, "", {}},
        {EFixture::VersionFromProduct, u"", nullptr, 1, 0, "2.5.1.0", 4, "", {}},
        {EFixture::NameLatin1, u"", "Caf\xC3\xA9 Chorus", 1, 0, "1.0.0.0", 4, "", {}},
        {EFixture::NameSpecialChars, u"", nullptr, 1, 0, "1.0.0.0", 4, "", {}},
        {EFixture::NameOverrun, u"", overrun.c_str(), 1, 0, "1.0.0.0", 4, "", {}},
        {EFixture::Reporter, u">0000BEEF",
         "v=2400;id=48879;sr=44100;bs=512;pl=4;hv=3;ni=1;vendor=Vostrel Software(1);product=Tessivane(1);"
         "canShellCategory=1;canOpenFileSelector=0;op0=0;op5=0;nullVendor=0;nullProduct=0;nullCanDo=0",
         1, 0, "1.0.0.0", 4, "", {}},
        {EFixture::TessivaneInstrumentShell, u"", nullptr, 10, kWants, "1.0.0.0", 3, "",
         {{0x54734931, "Tessivane Strings"}, {0x54734932, "Tessivane Brass"}, {0x54734933, "Tessivane Choir"}}},
        {EFixture::TessivaneInstrumentShell, u">54734932", "Tessivane Brass", 2, kWants | kAudio64, "1.0.0.0", 3, "", {}},
    };
    CRecordingSink sink;
    CFakeScanPlatform platform;
    std::vector<int32_t> opcodes;
    g_fixtureOpcodes = &opcodes;
    for (const SRecordCase& c : cases) {
        SCOPED_TRACE(FixtureRow(c.row).name + Ascii(c.suffix));
        sink.writes.clear();
        opcodes.clear();
        ScanRequest(Request(c.row, c.suffix));
        std::string text;
        std::size_t lines = 0;
        for (const std::string& line : sink.writes)
            if (line.compare(0, 2, ">:") == 0) {
                text += line;
                ++lines;
            }
        EXPECT_EQ(record_lines::Tagged(Expected(c)), text);
        EXPECT_EQ(c.canDoQueries, static_cast<std::size_t>(std::count(opcodes.begin(), opcodes.end(), effCanDo)));
        const std::string before = *c.error != 0 ? "error:" + std::string(c.error) + "\n" : "info:Finished\n";
        EXPECT_EQ(before, sink.writes[sink.writes.size() - lines - 1]);
        if (c.row == EFixture::BadMagic) {
            ASSERT_EQ(1u, g_openFixtureEffects.size()) << "an effect of bad magic is not touched";
            g_openFixtureEffects[0]->dispatcher(g_openFixtureEffects[0], effClose, 0, 0, nullptr, 0.0f);
        }
        EXPECT_TRUE(g_openFixtureEffects.empty()) << "every effect is closed";
        EXPECT_EQ(0, g_currentShellId) << "the id is published only while the probe runs";
    }
    g_fixtureOpcodes = nullptr;
    ReleaseLibraryCache();
    EXPECT_EQ(0, platform.openCount);
}

TEST(ScanRequest, ShellStaysLoadedForItsSubPluginsAndIsFreedAtTheEnd)
{
    CRecordingSink sink;
    CFakeScanPlatform platform;
    ScanRequest(Request(EFixture::PlainEffect));
    ScanRequest(Request(EFixture::ShellDuplicates));
    ScanRequest(Request(EFixture::ShellDuplicates, u">00000005"));
    ScanRequest(Text(u"c:\\7.dll")); // another case is another library
    ReleaseLibraryCache();            // nothing cached, nothing said
    RejectOversizedRequest();
    std::string log;
    for (const std::string& line : sink.writes) {
        if (line.compare(0, 2, ">:") != 0 && line.find("Audio master callback") == std::string::npos)
            log += line;
    }
    for (EFixture row : {EFixture::PlainEffect, EFixture::ShellDuplicates}) {
        char module[32];
        std::snprintf(module, sizeof module, "%016llX",
                      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(platform.Module(row))));
        for (std::size_t at = log.find(module); at != std::string::npos; at = log.find(module))
            log.replace(at, 16, row == EFixture::PlainEffect ? "<plain>" : "<shell>");
    }
    EXPECT_EQ(R"(info:Scanning plugin: 'C:\0.dll'
info:Loading library...
info:Looking for entry point in module <plain>
info:Found VSTPluginMain()
info:Calling entry point...
info:Dispatching effClose...
info:Freeing library...
info:Finished
info:Scanning plugin: 'C:\7.dll'
info:Loading library...
info:Looking for entry point in module <shell>
info:Found VSTPluginMain()
info:Calling entry point...
info:Found shell: 00000005 - Fixture Sub Five
info:Found shell: 00000007 - Fixture Sub Seven
info:Found shell: 00000005 - Fixture Sub Five Again
info:   - duplicate, ignoring
info:Dispatching effClose...
info:Keeping shell library loaded for now...
info:Finished
info:Scanning plugin: 'C:\7.dll>00000005'
info:Re-using previous library instance...
info:Looking for entry point in module <shell>
info:Found VSTPluginMain()
info:Calling entry point...
info:Dispatching effClose...
info:Keeping shell library loaded for now...
info:Finished
info:Scanning plugin: 'c:\7.dll'
info:Freeing cached library...
info:Freed
info:Loading library...
error:Failed to load library, err=126
error:Request too long, ignoring
)", log);
    EXPECT_EQ(0, platform.openCount);
    const std::vector<std::string> order = {"filter", "open", "filter", "activate", "pump", "filter", "filter",
                                            "filter", "filter", "pump", "close"};
    EXPECT_EQ(order, std::vector<std::string>(platform.calls.begin(), platform.calls.begin() + 11));
}

} // namespace
