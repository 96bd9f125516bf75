// The scanner's command line.

#include "scanner/ResultsReport.h"
#include "scanner/ScannerOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using CStrings = std::vector<std::string>;

TEST(ScannerOptions, ScanCommandWithEveryOption)
{
    const SParsedArguments parsed =
        ParseScannerArguments({"scan", "C:\\VST", "D:\\More Plug-ins\\X.dll", "--db", "C:\\db.json", "--jobs", "3",
                               "--timeout", "2.5", "--retry", "--rescan", "--json", "--server", "C:\\S.exe"});
    ASSERT_TRUE(parsed.run) << parsed.output;
    const SScannerOptions& options = parsed.options;
    EXPECT_EQ(EScannerCommand::Scan, options.command);
    EXPECT_EQ((CStrings{"C:\\VST", "D:\\More Plug-ins\\X.dll"}), options.paths);
    EXPECT_EQ("C:\\db.json", options.database);
    EXPECT_EQ(3u, options.jobs);
    EXPECT_DOUBLE_EQ(2.5, options.timeoutSeconds);
    EXPECT_TRUE(options.retry);
    EXPECT_TRUE(options.rescan);
    EXPECT_TRUE(options.json);
    EXPECT_EQ("C:\\S.exe", options.server);
}

TEST(ScannerOptions, DefaultsAndShortForms)
{
    SParsedArguments parsed = ParseScannerArguments({"scan", "X.dll"});
    ASSERT_TRUE(parsed.run) << parsed.output;
    EXPECT_EQ(0u, parsed.options.jobs);
    EXPECT_DOUBLE_EQ(kDefaultTimeoutSeconds, parsed.options.timeoutSeconds);
    EXPECT_EQ("", parsed.options.database);
    EXPECT_FALSE(parsed.options.retry || parsed.options.rescan || parsed.options.json);

    parsed = ParseScannerArguments({"scan", "-j", "2", "-t", "1", "X.dll"});
    ASSERT_TRUE(parsed.run) << parsed.output;
    EXPECT_EQ(2u, parsed.options.jobs);
    EXPECT_DOUBLE_EQ(1.0, parsed.options.timeoutSeconds);

    parsed = ParseScannerArguments({"scan", "/home/me/vst", "/j", "--db", "/tmp/db.json"});
    ASSERT_TRUE(parsed.run) << parsed.output;
    EXPECT_EQ((CStrings{"/home/me/vst", "/j"}), parsed.options.paths) << "slashes start paths, not options";
    EXPECT_EQ("/tmp/db.json", parsed.options.database);

    parsed = ParseScannerArguments({"list", "--db", "C:\\db.json", "--json"});
    ASSERT_TRUE(parsed.run) << parsed.output;
    EXPECT_EQ(EScannerCommand::List, parsed.options.command);
    EXPECT_EQ("C:\\db.json", parsed.options.database);
    EXPECT_TRUE(parsed.options.json);
}

TEST(ScannerOptions, UsageErrorsExitWithTwo)
{
    const CStrings cases[] = {
        {},
        {"scan"},
        {"frobnicate", "X.dll"},
        {"scan", "X.dll", "--jobs", "0"},
        {"scan", "X.dll", "--jobs", "many"},
        {"scan", "X.dll", "--timeout", "-1"},
        {"scan", "X.dll", "--timeout", "0"},
        {"scan", "X.dll", "--no-such-option"},
        {"list", "X.dll"},
    };
    for (const CStrings& arguments : cases) {
        const SParsedArguments parsed = ParseScannerArguments(arguments);
        std::string joined;
        for (const std::string& argument : arguments)
            joined += argument + " ";
        EXPECT_FALSE(parsed.run) << joined;
        EXPECT_EQ(kExitUsage, parsed.exitCode) << joined;
        EXPECT_FALSE(parsed.output.empty()) << joined;
    }
}

TEST(ScannerOptions, HelpDocumentsCommandsOptionsAndExitCodes)
{
    for (const CStrings& arguments : {CStrings{"--help"}, CStrings{"scan", "--help"}}) {
        const SParsedArguments parsed = ParseScannerArguments(arguments);
        EXPECT_FALSE(parsed.run);
        EXPECT_EQ(kExitClean, parsed.exitCode);
        for (const char* part :
             {"Exit codes", "3  the database or the scan server could not be used", "130  interrupted (Ctrl+C)"})
            EXPECT_NE(std::string::npos, parsed.output.find(part)) << arguments.back() << ": " << part;
    }
    const std::string top = ParseScannerArguments({"--help"}).output;
    for (const char* part : {"scan", "list"})
        EXPECT_NE(std::string::npos, top.find(part)) << part;
    const std::string scan = ParseScannerArguments({"scan", "--help"}).output;
    for (const char* part : {"--jobs", "--timeout", "--retry", "--rescan", "--json", "--db", "--server"})
        EXPECT_NE(std::string::npos, scan.find(part)) << part;
}

} // namespace
