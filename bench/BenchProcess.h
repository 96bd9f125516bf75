#pragma once
/// What the benchmark driver needs of the system besides the scan client:
/// starting helper programs and reading their output, memory counters of a
/// process, files and folders. Paths are UTF-8.

#include <cstdint>
#include <string>
#include <vector>

struct SProcessRun {
    bool started = false;
    uint32_t exitCode = 0;
    std::string output; ///< standard output and standard error, as written
    std::string error;  ///< why it could not be started
};

/// Runs a program to its end; arguments are quoted as needed.
SProcessRun RunProgram(const std::string& program, const std::vector<std::string>& arguments);

struct SMemoryCounters {
    uint64_t workingSet = 0;     ///< bytes in memory now
    uint64_t peakWorkingSet = 0; ///< the most it ever had in memory
    bool valid = false;
};

/// The counters of a running process, by its handle (a Windows HANDLE).
SMemoryCounters ProcessMemory(void* process);

/// The files of the libraries a running process has loaded (its executable
/// left out); empty when they cannot be read.
std::vector<std::string> LoadedLibraries(void* process);

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
