// The scanner's command line, each row the options it gives or its exit code.

#include "client/DatabaseFile.h"
#include "scanner/ResultsReport.h"
#include "scanner/ScannerOptions.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using CStrings = std::vector<std::string>;

/// "scan|list paths... db=X jobs=N timeout=S flags server=Y", or "exit N".
std::string Summary(const SParsedArguments& parsed)
{
    if (!parsed.run)
        return "exit " + std::to_string(parsed.exitCode) + (parsed.output.empty() ? " silently" : "");
    const SScannerOptions& o = parsed.options;
    std::string text = o.command == EScannerCommand::Scan ? "scan" : "list";
    for (const std::string& path : o.paths)
        text += " " + path;
    text += " db=" + o.database + " jobs=" + std::to_string(o.jobs) + " timeout=" + std::to_string(o.timeoutSeconds);
    text += std::string(o.retry ? " retry" : "") + (o.rescan ? " rescan" : "") + (o.json ? " json" : "");
    return text + " server=" + o.server;
}

TEST(ScannerOptions, ArgumentsGiveOptionsOrAnExitCode)
{
    struct SCase {
        CStrings arguments;
        std::string summary;
        std::string shows = ""; ///< a part of the output (help, version or error)
    };
    const SCase cases[] = {
        {{"scan", "C:\\VST", "D:\\X.dll", "--db", "C:\\db.json", "--jobs", "3", "--timeout", "2.5", "--retry",
          "--rescan", "--json", "--server", "C:\\S.exe"},
         "scan C:\\VST D:\\X.dll db=C:\\db.json jobs=3 timeout=2.500000 retry rescan json server=C:\\S.exe"},
        {{"scan", "X.dll"}, "scan X.dll db= jobs=0 timeout=30.000000 server="},
        {{"scan", "-j", "2", "-t", "1", "X.dll"}, "scan X.dll db= jobs=2 timeout=1.000000 server="},
        // Slashes start paths, not options.
        {{"scan", "/home/vst", "/j", "--db", "/tmp/db"}, "scan /home/vst /j db=/tmp/db jobs=0 timeout=30.000000 server="},
        {{"list", "--db", "C:\\db.json", "--json"}, "list db=C:\\db.json jobs=0 timeout=30.000000 json server="},
        {{"--help"}, "exit 0", "--version"},
        {{"scan", "--help"}, "exit 0", "(default: VSTPluginsPath of HKLM\\SOFTWARE\\VST in the 64-bit and the 32-bit"},
        {{"scan", "--help"}, "exit 0", "under %ProgramFiles(x86)% and %CommonProgramFiles(x86)%; each folder once"},
        {{"--version"}, "exit 0", "PluginScanner 1.0.0\n"},
        {{"list", "--version"}, "exit 2", "The following argument was not expected: --version"},
        {{}, "exit 2", "A subcommand is required"},
        // Without paths: the folders Windows hosts use.
        {{"scan"}, "scan db= jobs=0 timeout=30.000000 server="},
        {{"frobnicate", "X.dll"}, "exit 2"},
        {{"scan", "X.dll", "--jobs", "0"}, "exit 2"},
        {{"scan", "X.dll", "--jobs", "many"}, "exit 2"},
        {{"scan", "X.dll", "--timeout", "-1"}, "exit 2"},
        {{"scan", "X.dll", "--timeout", "0"}, "exit 2"},
        {{"scan", "X.dll", "--no-such-option"}, "exit 2"},
        {{"list", "X.dll"}, "exit 2"},
    };
    for (const SCase& c : cases) {
        const SParsedArguments parsed = ParseScannerArguments(c.arguments, kWindowsScanner);
        EXPECT_EQ(c.summary, Summary(parsed)) << (c.arguments.empty() ? "" : c.arguments[0]);
        EXPECT_NE(std::string::npos, parsed.output.find(c.shows)) << parsed.output;
    }
    // Linux: paths may be left out, and there is no x86 server.
    const SCase linuxCases[] = {
        {{"scan"}, "scan db= jobs=0 timeout=30.000000 server="},
        {{"scan", "/vst", "--server-x86", "/x86"}, "exit 2"},
    };
    for (const SCase& c : linuxCases)
        EXPECT_EQ(c.summary, Summary(ParseScannerArguments(c.arguments, kLinuxScanner))) << c.arguments.back();
}

TEST(ScannerOptions, LinuxDefaultFoldersAndDatabase)
{
    struct SCase {
        const char* vstPath;
        const char* xdgDataHome;
        const char* found; ///< the existing folders, then "|" and the database
    };
    const SCase cases[] = {
        {nullptr, nullptr, "/h/.lxvst /usr/lib/vst | /h/.local/share/tessivane/plugins.json"},
        {"", "relative", "/h/.lxvst /usr/lib/vst | /h/.local/share/tessivane/plugins.json"},
        {"/a::/usr/lib/vst:/h/.vst:/b/", "/x", "/a /usr/lib/vst /b/ | /x/tessivane/plugins.json"},
    };
    const std::set<std::string> existing = {"/h/.lxvst", "/usr/lib/vst", "/a", "/b/"};
    for (const SCase& c : cases) {
        std::string found;
        for (const std::string& folder :
             LinuxPluginFolders(c.vstPath, "/h", [&](const std::string& folder) { return existing.count(folder) != 0; }))
            found += folder + " ";
        EXPECT_EQ(c.found, found + "| " + LinuxDatabasePath(c.xdgDataHome, "/h")) << (c.vstPath ? c.vstPath : "unset");
    }
}

TEST(ScannerOptions, WindowsDefaultFoldersInOrderEachOnce)
{
    struct SCase {
        SWindowsFolderSources sources;
        const char* found; ///< the folders, each followed by a space
    };
    const SWindowsFolderSources machine = {"D:\\Audio\\VST", "D:\\Audio\\VST32", "C:\\PF", "C:\\PF\\Common",
                                           "C:\\PF86", "C:\\PF86\\Common"};
    const SCase cases[] = {
        {machine, "D:\\Audio\\VST D:\\Audio\\VST32 C:\\PF\\VSTPlugins C:\\PF\\Steinberg\\VSTPlugins "
                  "C:\\PF\\Common\\VST2 C:\\PF\\Common\\Steinberg\\VST2 C:\\PF86\\VSTPlugins "
                  "C:\\PF86\\Steinberg\\VSTPlugins C:\\PF86\\Common\\VST2 C:\\PF86\\Common\\Steinberg\\VST2 "},
        // A registry value naming a Program Files folder, in another case and with a
        // trailing backslash, and both views alike: each folder once, first where it comes first.
        {{"c:\\pf86\\vstplugins\\", "C:\\PF86\\VSTPlugins", "C:\\PF", "", "", ""},
         "c:\\pf86\\vstplugins\\ C:\\PF\\VSTPlugins C:\\PF\\Steinberg\\VSTPlugins "},
        // A 32-bit system: the (x86) folders are the plain ones.
        {{"", "", "C:\\PF", "C:\\PF\\Common", "C:\\PF", "C:\\PF\\Common"},
         "C:\\PF\\VSTPlugins C:\\PF\\Steinberg\\VSTPlugins C:\\PF\\Common\\VST2 C:\\PF\\Common\\Steinberg\\VST2 "},
        // Unset variables name no folder (not "\\VSTPlugins" at the drive's root).
        {{"", "", "", "", "", ""}, ""},
        {{"D:\\Missing", "", "", "C:\\PF\\Common", "", ""}, "C:\\PF\\Common\\VST2 C:\\PF\\Common\\Steinberg\\VST2 "},
    };
    // Every folder exists but D:\Missing.
    const auto exists = [](const std::string& folder) { return folder != "D:\\Missing"; };
    for (const SCase& c : cases) {
        std::string found;
        for (const std::string& folder : WindowsPluginFolders(c.sources, exists))
            found += folder + " ";
        EXPECT_EQ(c.found, found) << c.sources.registry64 << "|" << c.sources.programFiles;
    }
    // Only the existing ones.
    const std::set<std::string> existing = {"D:\\Audio\\VST32", "C:\\PF86\\Common\\VST2"};
    std::string found;
    for (const std::string& folder :
         WindowsPluginFolders(machine, [&](const std::string& folder) { return existing.count(folder) != 0; }))
        found += folder + " ";
    EXPECT_EQ("D:\\Audio\\VST32 C:\\PF86\\Common\\VST2 ", found);
}

} // namespace
