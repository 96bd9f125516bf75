#include "scan/ScanRequest.h"

#include "scan/FileVersion.h"
#include "scan/LibraryCache.h"
#include "scan/RequestTarget.h"
#include "scan/ScanState.h"
#include "support/FakePlugin.h"
#include "support/FakeScanPlatform.h"
#include "support/RecordSupport.h"
#include "support/RecordingSink.h"

#include <gtest/gtest.h>

namespace {

std::string Narrow(const CString& text)
{
    std::string narrow;
    for (const char16_t* unit = text.GetText(); unit != nullptr && *unit != 0; ++unit)
        narrow.push_back(static_cast<char>(*unit));
    return narrow;
}

TEST(SplitRequest, PathAndHexadecimalId)
{
    struct SCase {
        const char16_t* text;
        const char* path;
        int32_t id;
    };
    const SCase cases[] = {
        {u"C:\\VST\\Shell.dll>5A5A0001", "C:\\VST\\Shell.dll", 0x5A5A0001},
        {u"C:\\VST\\Shell.dll>0000abcd", "C:\\VST\\Shell.dll", 0xABCD},
        {u"C:\\VST\\Plain.dll", "C:\\VST\\Plain.dll", 0},
        {u"C:\\a.dll>zz", "C:\\a.dll", 0},
        {u"C:\\a.dll>", "C:\\a.dll", 0},
        {u"C:\\a.dll>1000000AB", "C:\\a.dll", 0xAB},     // the last eight digits count
        {u"C:\\a.dll>FFFFFFFF", "C:\\a.dll", -1},
        {u"C:\\a.dll>12>34", "C:\\a.dll", 0x12},         // cut at the first ">"
        {u"C:\\a.dll>12 x", "C:\\a.dll", 0x12},
        {u">5", "", 5},
        {u"", "", 0},
    };
    for (const SCase& c : cases) {
        const SScanTarget target = SplitRequest(Text(c.text));
        EXPECT_EQ(c.path, Narrow(target.path)) << c.path;
        EXPECT_NE(nullptr, target.path.GetText()) << "a request's path is never null";
        EXPECT_EQ(c.id, target.shellId) << c.path;
    }
    EXPECT_NE(nullptr, SplitRequest(CString()).path.GetText());
}

TEST(FileVersion, ProductVersionUnlessAllZero)
{
    struct SCase {
        SFileVersion version;
        const char* expected;
    };
    const SCase cases[] = {
        {{0x00020005, 0x00010000, 0x00010002, 0x00030004}, "2.5.1.0"},
        {{0, 0, 0x00010002, 0x00030004}, "1.2.3.4"},
        {{0, 1, 0x00010002, 0x00030004}, "0.0.0.1"},
        {{0, 0, 0, 0}, ""},
        {{0xFFFFFFFF, 0xFFFFFFFF, 0, 0}, "65535.65535.65535.65535"},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(c.expected, Narrow(FormatFileVersion(c.version))) << c.expected;
}

class ScanRequestFlow : public testing::Test {
protected:
    ScanRequestFlow()
    {
        plain.AddPlugin(platform.AddLibrary(u"C:\\plain.dll"));
        SFakeLibrary& shellLibrary = platform.AddLibrary(u"C:\\shell.dll");
        shellLibrary.hasVersion = true;
        shellLibrary.version = {0, 0, 0x00010002, 0x00030004};
        shell.AddPlugin(shellLibrary);
    }
    ~ScanRequestFlow() override { ReleaseLibraryCache(); }

    struct SPluginSource {
        explicit SPluginSource(SFakePlugin plugin) : effect(std::move(plugin)) {}
        void AddPlugin(SFakeLibrary& library)
        {
            library.exports["VSTPluginMain"] = reinterpret_cast<void*>(&CFakeEffect::EntryPoint);
        }
        CFakeEffect effect;
    };

    static SFakePlugin ShellPlugin()
    {
        SFakePlugin plugin;
        plugin.category = kPlugCategoryShell;
        plugin.vendorVersion = 0;
        plugin.shell = {{5, "Five"}, {7, "Seven"}};
        return plugin;
    }

    /// The info lines of one request, without the probe's own.
    std::vector<std::string> Scan(const char16_t* request, CFakeEffect& effect)
    {
        CFakeEffect::Next() = &effect;
        sink.writes.clear();
        ScanRequest(Text(request));
        std::vector<std::string> lines;
        for (const std::string& line : sink.writes) {
            if (line.compare(0, 5, "info:") == 0 && line.find("Found") == std::string::npos &&
                line.find("Looking") == std::string::npos && line.find("Calling") == std::string::npos &&
                line.find("Dispatching") == std::string::npos)
                lines.push_back(line);
            else if (line.compare(0, 6, "error:") == 0 || line == ">:{\n" ||
                     line.find("\"version\"") != std::string::npos || line.find("\"category\"") != std::string::npos)
                lines.push_back(line);
        }
        return lines;
    }

    CRecordingSink sink;
    CFakeScanPlatform platform;
    SPluginSource plain{SFakePlugin()};
    SPluginSource shell{ShellPlugin()};
};

TEST_F(ScanRequestFlow, PlainEffectIsLoadedAndFreedWithinItsRequest)
{
    const std::vector<std::string> expected = {
        "info:Scanning plugin: 'C:\\plain.dll'\n", "info:Loading library...\n", "info:Freeing library...\n",
        "info:Finished\n", ">:{\n", ">:  \"version\":   \"1.0.0.0\",\n", ">:  \"category\":  1,\n",
    };
    EXPECT_EQ(expected, Scan(u"C:\\plain.dll", plain.effect));
    EXPECT_EQ(0, platform.openCount);
    EXPECT_EQ(nullptr, g_cachedLibrary);
    EXPECT_EQ(nullptr, g_cachedLibraryPath.GetText());
    const std::vector<std::string> order = {"filter", "open", "filter", "activate", "pump", "filter", "filter",
                                            "filter", "filter", "pump", "close"};
    EXPECT_EQ(order, platform.calls);
}

TEST_F(ScanRequestFlow, ShellStaysLoadedForItsSubPlugins)
{
    std::vector<std::string> expected = {
        "info:Scanning plugin: 'C:\\shell.dll'\n", "info:Loading library...\n",
        "info:Keeping shell library loaded for now...\n", "info:Finished\n", ">:{\n",
        ">:  \"version\":   \"1.2.3.4\",\n", // the file's version: the plug-in reports 0
        ">:  \"category\":  10,\n",
    };
    EXPECT_EQ(expected, Scan(u"C:\\shell.dll", shell.effect));
    EXPECT_EQ(1, platform.openCount);

    CFakeEffect subPlugin{SFakePlugin()};
    expected = {
        "info:Scanning plugin: 'C:\\shell.dll>00000007'\n", "info:Re-using previous library instance...\n",
        "info:Keeping shell library loaded for now...\n", "info:Finished\n", ">:{\n",
        ">:  \"version\":   \"1.0.0.0\",\n", ">:  \"category\":  1,\n",
    };
    EXPECT_EQ(expected, Scan(u"C:\\shell.dll>00000007", subPlugin));
    EXPECT_EQ(1, platform.openCount);
    EXPECT_EQ(0, g_currentShellId) << "the id is published only while the probe runs";

    // The same path with another drive letter case is another library.
    expected = {
        "info:Scanning plugin: 'c:\\shell.dll'\n", "info:Freeing cached library...\n", "info:Freed\n",
        "info:Loading library...\n", "error:Failed to load library, err=126\n", ">:{\n",
        ">:  \"version\":   \"\",\n", ">:  \"category\":  -1,\n",
    };
    EXPECT_EQ(expected, Scan(u"c:\\shell.dll", plain.effect));
    EXPECT_EQ(0, platform.openCount);
    EXPECT_EQ(nullptr, g_cachedLibrary);
}

TEST_F(ScanRequestFlow, ShutdownFreesTheCachedShell)
{
    Scan(u"C:\\shell.dll", shell.effect);
    sink.writes.clear();
    ReleaseLibraryCache();
    EXPECT_EQ((std::vector<std::string>{"info:Freeing cached library...\n", "info:Freed\n"}), sink.writes);
    EXPECT_EQ(0, platform.openCount);
    sink.writes.clear();
    ReleaseLibraryCache();
    EXPECT_TRUE(sink.writes.empty()) << "nothing cached, nothing said";
}

TEST_F(ScanRequestFlow, FailedProbeStillGetsTheFileVersionAndAFinishedLine)
{
    SFakePlugin broken;
    broken.magic = 0;
    CFakeEffect effect(broken);
    const std::vector<std::string> expected = {
        "info:Scanning plugin: 'C:\\shell.dll'\n", "info:Loading library...\n", "info:Freeing library...\n",
        "info:Finished\n", "error:Bad magic\n", ">:{\n", ">:  \"version\":   \"1.2.3.4\",\n",
        ">:  \"category\":  -1,\n",
    };
    EXPECT_EQ(expected, Scan(u"C:\\shell.dll", effect));
    EXPECT_EQ(0, platform.openCount);
}

TEST_F(ScanRequestFlow, OversizedRequestGetsAnErrorRecord)
{
    sink.writes.clear();
    RejectOversizedRequest();
    ASSERT_GE(sink.writes.size(), 8u);
    EXPECT_EQ("error:Request too long, ignoring\n", sink.writes[0]);
    EXPECT_EQ(">:  \"error\":     \"Request too long, ignoring\",\n", sink.writes[7]);
    EXPECT_TRUE(platform.calls.empty());
}

} // namespace
