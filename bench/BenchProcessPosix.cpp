#include "bench/BenchProcess.h"

#include "client/ServerConnection.h"
#include "wire/Protocol.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr uint64_t kKilobyte = 1024;
/// How often a program's memory is read while RunProgram waits for it.
constexpr int kMemoryReadEveryMs = 10;

std::string ProcFile(uint32_t process, const char* name)
{
    return "/proc/" + std::to_string(process) + "/" + name;
}

/// A "Name:   1234 kB" line of /proc/<pid>/status in bytes; false when missing.
bool ReadStatusKilobytes(const std::string& status, const std::string& name, uint64_t& bytes)
{
    const std::size_t found = status.find("\n" + name + ":");
    if (found == std::string::npos)
        return false;
    bytes = std::strtoull(status.c_str() + found + name.size() + 2, nullptr, 10) * kKilobyte;
    return true;
}

/// Raises peak to the process's VmHWM when it can be read.
void ReadPeakResidentSet(uint32_t process, uint64_t& peak)
{
    std::ifstream file(ProcFile(process, "status"));
    std::stringstream status;
    status << "\n" << file.rdbuf();
    uint64_t bytes = 0;
    if (ReadStatusKilobytes(status.str(), "VmHWM", bytes))
        peak = std::max(peak, bytes);
}

/// Whether a mapped file's name is a shared object's ("libc.so.6", "x.so").
bool IsSharedObject(const std::string& path)
{
    const std::string name = path.substr(path.find_last_of('/') + 1);
    const std::size_t suffix = name.find(".so");
    return suffix != std::string::npos && (suffix + 3 == name.size() || name[suffix + 3] == '.');
}

} // namespace

const SBenchSystem& BenchSystem()
{
    static const SBenchSystem kLinux = {
        "natively on Linux", '/', "", ".so", kServerProgramLinux, false, "Linux", "banner only, no splash",
        "minimal program writing \"ready:\"", "resident set", "/proc/<pid>/status VmRSS and VmHWM",
        "links X11, Xext, GL, fontconfig, freetype"};
    return kLinux;
}

SProcessRun RunProgram(const std::string& program, const std::vector<std::string>& arguments)
{
    SProcessRun run;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        run.error = std::string("cannot create a pipe: ") + std::strerror(errno);
        return run;
    }
    std::vector<std::string> words = {program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDERR_FILENO);
    pid_t process = 0;
    const int startError = posix_spawn(&process, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    if (startError != 0) {
        close(ends[0]);
        run.error = "cannot start " + program + ": " + std::strerror(startError);
        return run;
    }
    run.started = true;
    char buffer[4096];
    for (;;) {
        // The resident set's high-water mark is read while the process runs:
        // the system's own count for a child (wait4) starts from the spawning
        // process's, which shares its memory until the program is loaded.
        pollfd output = {ends[0], POLLIN, 0};
        if (poll(&output, 1, kMemoryReadEveryMs) == 0) {
            ReadPeakResidentSet(static_cast<uint32_t>(process), run.peakMemory);
            continue;
        }
        const ssize_t count = read(ends[0], buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        run.output.append(buffer, static_cast<std::size_t>(count));
        ReadPeakResidentSet(static_cast<uint32_t>(process), run.peakMemory);
    }
    close(ends[0]);
    int status = 0;
    while (waitpid(process, &status, 0) < 0 && errno == EINTR) {
    }
    run.exitCode = WIFEXITED(status) ? static_cast<uint32_t>(WEXITSTATUS(status)) : 1;
    return run;
}

SMemoryCounters ProcessMemory(const CServerConnection& server)
{
    SMemoryCounters counters;
    std::ifstream file(ProcFile(server.GetProcessId(), "status"));
    std::stringstream status;
    status << "\n" << file.rdbuf();
    counters.valid = server.GetProcessId() != 0 && ReadStatusKilobytes(status.str(), "VmRSS", counters.workingSet) &&
                     ReadStatusKilobytes(status.str(), "VmHWM", counters.peakWorkingSet);
    return counters;
}

std::vector<std::string> LoadedLibraries(const CServerConnection& server)
{
    std::vector<std::string> libraries;
    const uint32_t process = server.GetProcessId();
    if (process == 0)
        return libraries;
    char executable[4096];
    const ssize_t length = readlink(ProcFile(process, "exe").c_str(), executable, sizeof executable - 1);
    executable[length > 0 ? length : 0] = 0;
    // Each mapped file appears once per segment; the first mapping keeps the load order.
    std::set<std::string> seen;
    std::ifstream maps(ProcFile(process, "maps"));
    std::string line;
    while (std::getline(maps, line)) {
        const std::size_t path = line.find('/');
        if (path == std::string::npos)
            continue;
        const std::string file = line.substr(path);
        if (file != executable && IsSharedObject(file) && seen.insert(file).second)
            libraries.push_back(file);
    }
    return libraries;
}

uint64_t FileSize(const std::string& path)
{
    struct stat information = {};
    return stat(path.c_str(), &information) == 0 ? static_cast<uint64_t>(information.st_size) : 0;
}

bool FileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

bool MakeFolder(const std::string& path)
{
    const std::size_t separator = path.find_last_of('/');
    if (separator != std::string::npos && separator > 0 && !FileExists(path.substr(0, separator)))
        MakeFolder(path.substr(0, separator));
    return mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

bool CopyOneFile(const std::string& from, const std::string& to)
{
    std::ifstream source(from, std::ios::binary);
    std::ofstream target(to, std::ios::binary | std::ios::trunc);
    target << source.rdbuf();
    return source.good() && target.good();
}

void RemoveFile(const std::string& path) { unlink(path.c_str()); }

void RemoveFolder(const std::string& path)
{
    if (DIR* folder = opendir(path.c_str())) {
        while (const dirent* entry = readdir(folder)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            const std::string child = path + "/" + name;
            struct stat information = {};
            if (lstat(child.c_str(), &information) == 0 && S_ISDIR(information.st_mode))
                RemoveFolder(child);
            else
                unlink(child.c_str());
        }
        closedir(folder);
    }
    rmdir(path.c_str());
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void SetVariable(const std::string& name, const std::string& value)
{
    if (value.empty())
        unsetenv(name.c_str());
    else
        setenv(name.c_str(), value.c_str(), 1);
}
