// PluginScanner on Linux: scans plug-in libraries (*.so) with scan servers into a
// database and prints the results. Run "PluginScanner --help" for its use and
// exit codes.

#include "client/DatabaseFile.h"
#include "client/SystemTextPosix.h"
#include "scanner/ScannerCommand.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <ctime>

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

/// The current time as the database keeps it: "2024-03-07T09:05:01Z".
std::string UtcNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts = {};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

bool IsFolder(const std::string& path)
{
    struct stat details = {};
    return stat(path.c_str(), &details) == 0 && S_ISDIR(details.st_mode);
}

} // namespace

int main(int argc, char** argv)
{
    SScannerPlatform platform;
    platform.commandLine = &kLinuxScanner;
    platform.defaultDatabase = DefaultDatabasePath();
    platform.defaultFolders = LinuxPluginFolders(std::getenv("VST_PATH"), HomeFolder(), IsFolder);
    platform.programFolder = ProgramFolder();
    platform.separator = '/';
    platform.interrupted = &g_interrupted;
    platform.watchInterrupt = WatchInterrupt;
    platform.utcNow = UtcNow;
    return RunScannerCommand(std::vector<std::string>(argv + 1, argv + argc), platform);
}
