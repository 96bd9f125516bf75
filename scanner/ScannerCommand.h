#pragma once
/// The scanner command as every system runs it: the scan engine opens the
/// database and scans the paths with scan servers; the command shows the
/// progress, prints the results and returns the exit code. What differs between Windows and Linux comes from the
/// system's main in SScannerPlatform.

#include "scanner/ScannerOptions.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

struct SScannerPlatform {
    const SScannerSystem* commandLine = nullptr; ///< the system's command line words
    std::string defaultDatabase;                 ///< the per-user database, a full path
    std::vector<std::string> defaultFolders;     ///< scanned when "scan" is given no paths
    std::string programFolder; ///< the scanner's own folder, with its separator: the servers are beside it
    char separator = '/';
    std::atomic<bool>* interrupted = nullptr; ///< set by the system's interrupt (Ctrl+C, a signal)
    /// Starts setting *interrupted on the system's interrupt; called as the scan starts.
    std::function<void()> watchInterrupt;
    /// The current time as the database keeps it: "2024-03-07T09:05:01Z".
    std::function<std::string()> utcNow;
};

/// Runs the command line (the arguments after the program name, UTF-8) and
/// returns the scanner's exit code (see EScannerExit).
int RunScannerCommand(const std::vector<std::string>& arguments, const SScannerPlatform& platform);
