#include "bench/BenchProcess.h"

#include "client/ServerConnection.h"
#include "client/WideTextWin.h"
#include "foundation/Win32.h"
#include "wire/Protocol.h"

#include <psapi.h>

#include <algorithm>
#include <thread>

namespace {

/// How often a program's memory is read while RunProgram waits for it.
constexpr DWORD kMemoryReadEveryMs = 10;

/// One argument as CommandLineToArgvW reads it back.
std::wstring Quoted(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t character : argument) {
        if (character == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(character == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += character;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

} // namespace

const SBenchSystem& BenchSystem()
{
    static const SBenchSystem kWindows = {
        "under Wine", '\\', ".exe", ".dll", kServerProgram, true, "Windows", "GDI+, splash window, banner",
        "minimal GUI program writing \"ready:\"", "working set", "GetProcessMemoryInfo", "imports 12 system DLLs"};
    return kWindows;
}

SProcessRun RunProgram(const std::string& program, const std::vector<std::string>& arguments)
{
    SProcessRun run;
    std::wstring commandLine = Quoted(WideFromUtf8(program));
    for (const std::string& argument : arguments)
        commandLine += L" " + Quoted(WideFromUtf8(argument));

    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE outputRead = nullptr;
    HANDLE outputWrite = nullptr;
    if (!CreatePipe(&outputRead, &outputWrite, &inheritable, 0)) {
        run.error = "cannot create a pipe: " + SystemErrorText(GetLastError());
        return run;
    }
    SetHandleInformation(outputRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = outputWrite;
    startup.hStdError = outputWrite;
    PROCESS_INFORMATION created = {};
    const BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &created);
    const DWORD startError = GetLastError();
    CloseHandle(outputWrite);
    if (!started) {
        CloseHandle(outputRead);
        run.error = "cannot start " + program + ": " + SystemErrorText(startError);
        return run;
    }
    run.started = true;
    // The peak working set is read while the process runs: Wine has no
    // counters for a process that has ended.
    std::thread watcher([&run, process = created.hProcess] {
        do {
            PROCESS_MEMORY_COUNTERS memory = {};
            memory.cb = sizeof memory;
            if (GetProcessMemoryInfo(process, &memory, sizeof memory))
                run.peakMemory = std::max<uint64_t>(run.peakMemory, memory.PeakWorkingSetSize);
        } while (WaitForSingleObject(process, kMemoryReadEveryMs) == WAIT_TIMEOUT);
    });
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(outputRead, buffer, sizeof buffer, &count, nullptr) && count > 0)
        run.output.append(buffer, count);
    WaitForSingleObject(created.hProcess, INFINITE);
    watcher.join();
    DWORD exitCode = 0;
    GetExitCodeProcess(created.hProcess, &exitCode);
    run.exitCode = exitCode;
    CloseHandle(created.hThread);
    CloseHandle(created.hProcess);
    CloseHandle(outputRead);
    return run;
}

SMemoryCounters ProcessMemory(const CServerConnection& server)
{
    const HANDLE process = static_cast<HANDLE>(server.GetProcessHandle());
    SMemoryCounters counters;
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    if (process == nullptr || !GetProcessMemoryInfo(process, &memory, sizeof memory))
        return counters;
    counters.workingSet = memory.WorkingSetSize;
    counters.peakWorkingSet = memory.PeakWorkingSetSize;
    counters.valid = true;
    return counters;
}

std::vector<std::string> LoadedLibraries(const CServerConnection& server)
{
    const HANDLE process = static_cast<HANDLE>(server.GetProcessHandle());
    std::vector<std::string> libraries;
    std::vector<HMODULE> modules(512);
    DWORD needed = 0;
    if (process == nullptr || !EnumProcessModules(process, modules.data(),
                                                  static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed))
        return libraries;
    modules.resize(std::min<std::size_t>(modules.size(), needed / sizeof(HMODULE)));
    // The first module is the executable itself.
    for (std::size_t index = 1; index < modules.size(); ++index) {
        wchar_t path[MAX_PATH];
        const DWORD length = GetModuleFileNameExW(process, modules[index], path, MAX_PATH);
        if (length > 0)
            libraries.push_back(Utf8FromWide(std::wstring(path, length)));
    }
    return libraries;
}

uint64_t FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(WideFromUtf8(path).c_str(), GetFileExInfoStandard, &data))
        return 0;
    return static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesW(WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeFolder(const std::string& path)
{
    const std::size_t separator = path.find_last_of("\\/");
    if (separator != std::string::npos && separator > 0 && !FileExists(path.substr(0, separator)))
        MakeFolder(path.substr(0, separator));
    return CreateDirectoryW(WideFromUtf8(path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool CopyOneFile(const std::string& from, const std::string& to)
{
    return CopyFileW(WideFromUtf8(from).c_str(), WideFromUtf8(to).c_str(), FALSE) != 0;
}

void RemoveFile(const std::string& path) { DeleteFileW(WideFromUtf8(path).c_str()); }

void RemoveFolder(const std::string& path)
{
    const std::wstring folder = WideFromUtf8(path);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring child = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveFolder(Utf8FromWide(child));
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

std::string ReadWholeFile(const std::string& path)
{
    const HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        text.append(buffer, read);
    CloseHandle(file);
    return text;
}

void SetVariable(const std::string& name, const std::string& value)
{
    SetEnvironmentVariableW(WideFromUtf8(name).c_str(), value.empty() ? nullptr : WideFromUtf8(value).c_str());
}
