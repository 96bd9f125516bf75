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
        {{"--help"}, "exit 0"},
        {{"scan", "--help"}, "exit 0"},
        {{}, "exit 2"},
        {{"scan"}, "exit 2"},
        {{"frobnicate", "X.dll"}, "exit 2"},
        {{"scan", "X.dll", "--jobs", "0"}, "exit 2"},
        {{"scan", "X.dll", "--jobs", "many"}, "exit 2"},
        {{"scan", "X.dll", "--timeout", "-1"}, "exit 2"},
        {{"scan", "X.dll", "--timeout", "0"}, "exit 2"},
        {{"scan", "X.dll", "--no-such-option"}, "exit 2"},
        {{"list", "X.dll"}, "exit 2"},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(c.summary, Summary(ParseScannerArguments(c.arguments, kWindowsScanner)))
            << (c.arguments.empty() ? "" : c.arguments[0]);
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

} // namespace
