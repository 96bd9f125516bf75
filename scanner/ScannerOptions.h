#pragma once
/// The scanner's command line:
///
///   PluginScanner scan PATH... [--db FILE] [--jobs N] [--timeout SECONDS]
///                              [--retry] [--rescan] [--json] [--server FILE] [--server-x86 FILE]
///   PluginScanner list [--db FILE] [--json]
///
/// Arguments are UTF-8. On Linux the paths may be left out (the folders Linux
/// hosts search are scanned) and there is no x86 server.

#include <functional>
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

/// What the command line says differently on each system.
struct SScannerSystem {
    const char* libraryPattern;   ///< the files a folder's walk takes
    const char* defaultDatabase;  ///< the per-user database, as the help names it
    const char* serverProgram;    ///< the x64 server beside the scanner
    const char* serverX86Program; ///< the x86 server beside the scanner; null: none, and no --server-x86
    const char* defaultFolders;   ///< what "scan" without paths scans, as the help names it; null: paths are required
};
extern const SScannerSystem kWindowsScanner;
extern const SScannerSystem kLinuxScanner;

struct SScannerOptions {
    EScannerCommand command = EScannerCommand::Scan;
    std::vector<std::string> paths; ///< empty on Linux: the default folders
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

/// Parses the arguments that follow the program name, for the system's scanner.
SParsedArguments ParseScannerArguments(const std::vector<std::string>& arguments, const SScannerSystem& system);

/// The folders a Linux host searches for plug-ins: each folder of vstPath
/// (colon-separated; empty parts skipped) when it is set and not empty, else
/// ~/.vst, ~/.lxvst, /usr/local/lib/vst, /usr/local/lib/lxvst, /usr/lib/vst and
/// /usr/lib/lxvst; of these, those that exist. vstPath and home may be null.
std::vector<std::string> LinuxPluginFolders(const char* vstPath, const char* home,
                                            const std::function<bool(const std::string& folder)>& exists);
