#pragma once
/// The scanner's command line:
///
///   PluginScanner scan PATH... [--db FILE] [--jobs N] [--timeout SECONDS]
///                              [--retry] [--rescan] [--json] [--server FILE] [--server-x86 FILE]
///   PluginScanner list [--db FILE] [--json]
///
/// Arguments are UTF-8.

#include <string>
#include <vector>

/// The silence timeout when none is given: a plug-in may stay silent this long
/// in one step of its scan (an entry point that loads samples, a slow licence
/// check over the network) before it counts as hung.
constexpr double kDefaultTimeoutSeconds = 30;

enum class EScannerCommand {
    Scan, ///< scan paths into the database and print the results
    List, ///< print the database
};

struct SScannerOptions {
    EScannerCommand command = EScannerCommand::Scan;
    std::vector<std::string> paths;
    std::string database;        ///< empty: the per-user default
    unsigned jobs = 0;           ///< 0: one server per processor core
    double timeoutSeconds = kDefaultTimeoutSeconds;
    bool retry = false;          ///< scan unchanged crashed and timed-out files again
    bool rescan = false;         ///< scan every file again
    bool json = false;           ///< print the results as JSON instead of the table
    std::string server;          ///< empty: ScanServer-x64.exe next to the scanner
    std::string serverX86;       ///< empty: ScanServer-x86.exe next to the scanner
};

struct SParsedArguments {
    bool run = false;    ///< false: print output and exit with exitCode
    int exitCode = 0;    ///< 0 after --help, 2 after a usage error
    std::string output;  ///< help text or the error and a hint
    SScannerOptions options;
};

/// Parses the arguments that follow the program name.
SParsedArguments ParseScannerArguments(const std::vector<std::string>& arguments);
