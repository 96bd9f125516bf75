#pragma once
/// What the benchmark driver needs of the system besides the scan client: its
/// names for programs and libraries, starting helper programs and reading their
/// output, memory readings of a running server, files and folders. Paths are
/// UTF-8. BenchProcessWin.cpp and BenchProcessPosix.cpp are the two systems'.

#include <cstdint>
#include <string>
#include <vector>

class CServerConnection;

/// The system's names, and its words for what the table shows.
struct SBenchSystem {
    const char* where;          ///< how the run is made: "under Wine", "natively on Linux"
    char separator;             ///< between a folder and a name
    const char* programSuffix;  ///< ".exe" or ""
    const char* librarySuffix;  ///< ".dll" or ".so"
    const char* server;         ///< the server's file name
    bool hasStartupLimit;       ///< whether the server has start-up work (a splash) to compare with
    const char* system;         ///< "Windows" or "Linux": whose work limit (a) does
    const char* serverStart;    ///< what the server does before its first "ready:"
    const char* readyLimit;     ///< what ReadyLimit is
    const char* memory;         ///< "working set" or "resident set"
    const char* memorySource;   ///< where the host reads it
    const char* heavyLinks;     ///< the system libraries HeavyEffect links
};

/// This system's names and words.
const SBenchSystem& BenchSystem();

struct SProcessRun {
    bool started = false;
    uint32_t exitCode = 0;
    std::string output; ///< standard output and standard error, as written
    std::string error;  ///< why it could not be started
    uint64_t peakMemory = 0; ///< bytes: the most the process had in memory (0: not known; Linux: read while it ran)
};

/// Runs a program to its end; arguments are passed as they are.
SProcessRun RunProgram(const std::string& program, const std::vector<std::string>& arguments);

struct SMemoryCounters {
    uint64_t workingSet = 0;     ///< bytes in memory now (Linux: the resident set)
    uint64_t peakWorkingSet = 0; ///< the most it ever had in memory
    bool valid = false;
};

/// The counters of the process a connection runs.
SMemoryCounters ProcessMemory(const CServerConnection& server);

/// The files of the libraries the connection's process has loaded (its
/// executable left out); empty when they cannot be read.
std::vector<std::string> LoadedLibraries(const CServerConnection& server);

/// Size of a file in bytes; 0 when it cannot be read.
uint64_t FileSize(const std::string& path);
bool FileExists(const std::string& path);
/// Creates the folder (and the ones above it).
bool MakeFolder(const std::string& path);
bool CopyOneFile(const std::string& from, const std::string& to);
/// Removes a file; nothing when there is none.
void RemoveFile(const std::string& path);
/// Removes the folder with everything in it.
void RemoveFolder(const std::string& path);
/// The whole file as it is; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

/// Sets a variable of this process's environment, which the programs it starts
/// afterwards inherit; an empty value removes it.
void SetVariable(const std::string& name, const std::string& value);
