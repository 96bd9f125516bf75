#pragma once
// Shared by the end-to-end tests: where the built programs are, files, and
// PluginScanner.exe runs. Paths are UTF-8; a helper that cannot do its work
// fails the test.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

/// bin/ of the Windows build (the running test's folder), with a trailing backslash.
std::string BinaryFolder();
/// bin/fixtures/<name> (or bin/samples/<name> when sample is true).
std::string FixturePath(const std::string& name, bool sample = false);
/// A fresh empty folder under the system's temporary folder.
std::string MakeTemporaryFolder(const std::string& prefix);
/// The names of the files in folder.
std::vector<std::string> ListFiles(const std::string& folder);
void CopyFileTo(const std::string& source, const std::string& folder, const std::string& name);
void WriteBytes(const std::string& path, const std::string& bytes);
/// The file's bytes; empty when it cannot be read.
std::string ReadTextFile(const std::string& path);
/// The file parsed as JSON; null when it is missing, discarded when it is not JSON.
nlohmann::json ReadJsonFile(const std::string& path);
/// Moves the file's modification time one minute forward.
void TouchLater(const std::string& path);
bool FileExists(const std::string& path);

struct SScannerRun {
    uint32_t exitCode = 0xFFFFFFFF;
    std::string out; ///< standard output
    std::string err; ///< standard error (the progress lines)
};

/// PluginScanner.exe started with arguments, its output going to files; the
/// destructor kills it if it still runs, as a user's kill would.
class CScannerProcess {
public:
    explicit CScannerProcess(const std::vector<std::string>& arguments);
    ~CScannerProcess();
    CScannerProcess(const CScannerProcess&) = delete;
    CScannerProcess& operator=(const CScannerProcess&) = delete;
    /// Waits for the end (failing the test after five minutes) and collects the output.
    SScannerRun Wait();

private:
    void* m_process = nullptr;
    std::string m_folder;
};

/// Runs the scanner to its end.
inline SScannerRun RunScanner(const std::vector<std::string>& arguments) { return CScannerProcess(arguments).Wait(); }

/// The ids of the processes that show a scan server's splash window.
std::vector<uint32_t> ProcessesWithSplash();
/// Waits up to timeoutMs for the process to end; true when it has (or is unknown).
bool ProcessEnds(uint32_t processId, uint32_t timeoutMs);
