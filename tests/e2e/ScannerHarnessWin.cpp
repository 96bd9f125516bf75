#include "e2e/ScannerHarness.h"

#include "client/WideTextWin.h"
#include "e2e/ServerHarness.h"
#include "foundation/Win32.h"

#include <gtest/gtest.h>

namespace {

std::wstring QuotedArgument(const std::string& argument)
{
    std::wstring wide = WideFromUtf8(argument);
    // A backslash before the closing quote would escape it.
    if (!wide.empty() && wide.back() == L'\\')
        wide += L'\\';
    return L"\"" + wide + L"\"";
}

} // namespace

std::string ReadTextFile(const std::string& path)
{
    HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string text;
    char buffer[65536];
    DWORD count = 0;
    while (ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count > 0)
        text.append(buffer, count);
    CloseHandle(file);
    return text;
}

namespace {

HANDLE InheritableOutputFile(const std::string& path)
{
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    return CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

std::string FixturePath(const std::string& name, bool sample)
{
    return BinaryFolder() + (sample ? "samples\\" : "fixtures\\") + name;
}

void CopyFileTo(const std::string& source, const std::string& folder, const std::string& name)
{
    ASSERT_TRUE(CopyFileW(WideFromUtf8(source).c_str(), WideFromUtf8(folder + "\\" + name).c_str(), FALSE))
        << source << " -> " << folder << ": " << SystemErrorText(GetLastError());
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(bytes.size(), written) << path;
}

void PatchMachine(const std::string& path, uint16_t machine)
{
    std::string bytes = ReadTextFile(path);
    ASSERT_GE(bytes.size(), 64u) << path;
    const uint32_t offset = static_cast<uint8_t>(bytes[0x3C]) | (static_cast<uint8_t>(bytes[0x3D]) << 8);
    ASSERT_GE(bytes.size(), offset + 6u) << path;
    bytes[offset + 4] = static_cast<char>(machine & 0xFF);
    bytes[offset + 5] = static_cast<char>(machine >> 8);
    WriteBytes(path, bytes);
}

void TouchLater(const std::string& path)
{
    HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), FILE_WRITE_ATTRIBUTES | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
    FILETIME written = {};
    GetFileTime(file, nullptr, nullptr, &written);
    ULARGE_INTEGER time;
    time.LowPart = written.dwLowDateTime;
    time.HighPart = written.dwHighDateTime;
    time.QuadPart += 60ull * 10000000ull;
    written.dwLowDateTime = time.LowPart;
    written.dwHighDateTime = time.HighPart;
    const BOOL set = SetFileTime(file, nullptr, nullptr, &written);
    CloseHandle(file);
    ASSERT_TRUE(set) << path;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesW(WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

nlohmann::json ReadJsonFile(const std::string& path)
{
    const std::string text = ReadTextFile(path);
    if (text.empty())
        return nlohmann::json();
    return nlohmann::json::parse(text, nullptr, false);
}

CScannerProcess::CScannerProcess(const std::vector<std::string>& arguments)
{
    const std::string folder = MakeTemporaryFolder("scanner-output");
    m_outPath = folder + "\\out.txt";
    m_errPath = folder + "\\err.txt";
    std::wstring commandLine = QuotedArgument(BinaryFolder() + "PluginScanner.exe");
    for (const std::string& argument : arguments)
        commandLine += L" " + QuotedArgument(argument);
    HANDLE out = InheritableOutputFile(m_outPath);
    HANDLE err = InheritableOutputFile(m_errPath);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION created = {};
    if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &created)) {
        CloseHandle(created.hThread);
        m_process = created.hProcess;
        m_processId = created.dwProcessId;
    }
    CloseHandle(out);
    CloseHandle(err);
}

CScannerProcess::~CScannerProcess()
{
    Kill();
    if (m_process != nullptr)
        CloseHandle(static_cast<HANDLE>(m_process));
}

bool CScannerProcess::Wait(uint32_t timeoutMs, SScannerRun& run)
{
    if (m_process == nullptr || WaitForSingleObject(static_cast<HANDLE>(m_process), timeoutMs) != WAIT_OBJECT_0)
        return false;
    DWORD code = 0;
    GetExitCodeProcess(static_cast<HANDLE>(m_process), &code);
    run.exitCode = code;
    run.out = ReadTextFile(m_outPath);
    run.err = ReadTextFile(m_errPath);
    return true;
}

void CScannerProcess::Kill()
{
    HANDLE process = static_cast<HANDLE>(m_process);
    if (process != nullptr && WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, INFINITE);
    }
}

SScannerRun RunScanner(const std::vector<std::string>& arguments)
{
    SScannerRun run;
    CScannerProcess scanner(arguments);
    EXPECT_TRUE(scanner.Started());
    EXPECT_TRUE(scanner.Wait(300000, run)) << "the scanner did not finish";
    return run;
}

std::vector<uint32_t> ProcessesWithSplash()
{
    std::vector<uint32_t> processes;
    for (HWND window = FindWindowExW(nullptr, nullptr, L"TessivaneScanServer", nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, L"TessivaneScanServer", nullptr)) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        processes.push_back(process);
    }
    return processes;
}

bool ProcessEnds(uint32_t processId, uint32_t timeoutMs)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (process == nullptr)
        return true;
    const bool ended = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}
