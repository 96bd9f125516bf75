#pragma once
// Shared by the scan client's and the scanner command's end-to-end tests:
// fixture files, PluginScanner.exe runs with their output, JSON files.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

/// bin/fixtures/<name> (or bin/samples/<name> when sample is true).
std::string FixturePath(const std::string& name, bool sample = false);

/// Copies source to folder\name. Fails the test when it cannot.
void CopyFileTo(const std::string& source, const std::string& folder, const std::string& name);

/// Writes bytes to path. Fails the test when it cannot.
void WriteBytes(const std::string& path, const std::string& bytes);

/// Rewrites the machine field of the PE image at path (0x014C: x86).
void PatchMachine(const std::string& path, uint16_t machine);

/// Moves the file's modification time one minute forward.
void TouchLater(const std::string& path);

bool FileExists(const std::string& path);

/// The file's bytes; empty when it cannot be read.
std::string ReadTextFile(const std::string& path);

/// The file parsed as JSON; null when it is missing, discarded when it is not JSON.
nlohmann::json ReadJsonFile(const std::string& path);

struct SScannerRun {
    uint32_t exitCode = 0xFFFFFFFF;
    std::string out; ///< standard output
    std::string err; ///< standard error (the progress lines)
};

/// PluginScanner.exe started with arguments; its output goes to files in a
/// folder of its own.
class CScannerProcess {
public:
    explicit CScannerProcess(const std::vector<std::string>& arguments);
    ~CScannerProcess(); ///< kills the scanner if it still runs
    CScannerProcess(const CScannerProcess&) = delete;
    CScannerProcess& operator=(const CScannerProcess&) = delete;

    bool Started() const { return m_process != nullptr; }
    uint32_t ProcessId() const { return m_processId; }
    /// Waits for the end (up to timeoutMs) and collects the output.
    bool Wait(uint32_t timeoutMs, SScannerRun& run);
    /// Ends the scanner at once, as a user's kill would.
    void Kill();

private:
    void* m_process = nullptr;
    uint32_t m_processId = 0;
    std::string m_outPath;
    std::string m_errPath;
};

/// Runs the scanner to its end (failing the test after five minutes).
SScannerRun RunScanner(const std::vector<std::string>& arguments);

/// The ids of the processes that show a scan server's splash window.
std::vector<uint32_t> ProcessesWithSplash();

/// Waits up to timeoutMs for the process to end; true when it has (or is unknown).
bool ProcessEnds(uint32_t processId, uint32_t timeoutMs);
