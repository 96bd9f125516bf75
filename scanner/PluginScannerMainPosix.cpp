// PluginScanner on Linux: scans plug-in libraries (*.so) with scan servers into a
// database and prints the results. Run "PluginScanner --help" for its use and
// exit codes.

#include "client/DatabaseFile.h"
#include "client/SystemTextPosix.h"
#include "scanner/ScannerCommand.h"

#include <atomic>
#include <csignal>
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

namespace {

/// Set by SIGINT (Ctrl+C) or SIGTERM: the scan run stops and the scanner exits
/// with kExitInterrupted once it has saved and printed what it has.
std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) { g_interrupted = true; }

void WatchInterrupt()
{
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool IsFolder(const std::string& path)
{
    struct stat details = {};
    return stat(path.c_str(), &details) == 0 && S_ISDIR(details.st_mode);
}

bool IsFile(const std::string& path)
{
    struct stat details = {};
    return stat(path.c_str(), &details) == 0 && S_ISREG(details.st_mode);
}

/// The scan server's folder, with its separator: beside the scanner (a build
/// tree, an unpacked archive with both side by side), else where an install
/// puts it, reached from the scanner's own folder (SCANNER_INSTALLED_SERVER_FOLDER,
/// "../lib/tessivane-scan" in the usual layout) so that a moved prefix still
/// works. When neither holds the server, the scanner's own folder, whose path
/// the error names.
std::string ServerFolder()
{
    const std::string own = ProgramFolder();
    const std::string installed = own + SCANNER_INSTALLED_SERVER_FOLDER "/";
    if (!IsFile(own + kLinuxScanner.serverProgram) && IsFile(installed + kLinuxScanner.serverProgram))
        return installed;
    return own;
}

} // namespace

int main(int argc, char** argv)
{
    SScannerPlatform platform;
    platform.commandLine = &kLinuxScanner;
    platform.defaultDatabase = DefaultDatabasePath();
    platform.defaultFolders = LinuxPluginFolders(std::getenv("VST_PATH"), HomeFolder(), IsFolder);
    platform.programFolder = ServerFolder();
    platform.separator = '/';
    platform.interrupted = &g_interrupted;
    platform.watchInterrupt = WatchInterrupt;
    platform.utcNow = UtcNow;
    return RunScannerCommand(std::vector<std::string>(argv + 1, argv + argc), platform);
}
