#include "e2e/Harness.h"

#include "client/WideTextWin.h"
#include "foundation/Win32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

std::wstring QuotedArgument(const std::string& argument)
{
    std::wstring wide = WideFromUtf8(argument);
    // A backslash before the closing quote would escape it.
    if (!wide.empty() && wide.back() == L'\\')
        wide += L'\\';
    return L"\"" + wide + L"\"";
}

HANDLE InheritableOutputFile(const std::string& path)
{
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    return CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

std::string BinaryFolder()
{
    wchar_t path[MAX_PATH];
    const std::wstring file(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return Utf8FromWide(file.substr(0, file.find_last_of(L"\\/") + 1));
}

std::string FixturePath(const std::string& name, bool sample)
{
    return BinaryFolder() + (sample ? "samples\\" : "fixtures\\") + name;
}

std::string MakeTemporaryFolder(const std::string& prefix)
{
    static unsigned counter = 0;
    for (;;) {
        const fs::path folder = fs::temp_directory_path() / fs::u8path(prefix + "-" +
                                                                       std::to_string(GetCurrentProcessId()) + "-" +
                                                                       std::to_string(++counter));
        if (fs::create_directory(folder))
            return folder.u8string();
    }
}

std::vector<std::string> ListFiles(const std::string& folder)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::u8path(folder)))
        if (entry.is_regular_file())
            names.push_back(entry.path().filename().u8string());
    return names;
}

void CopyFileTo(const std::string& source, const std::string& folder, const std::string& name)
{
    std::error_code error;
    ASSERT_TRUE(fs::copy_file(fs::u8path(source), fs::u8path(folder + "\\" + name), error))
        << source << " -> " << folder << ": " << error.message();
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream file(fs::u8path(path), std::ios::binary);
    ASSERT_TRUE(file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush()) << path;
}

std::string ReadTextFile(const std::string& path)
{
    std::ifstream file(fs::u8path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

nlohmann::json ReadJsonFile(const std::string& path)
{
    const std::string text = ReadTextFile(path);
    return text.empty() ? nlohmann::json() : nlohmann::json::parse(text, nullptr, false);
}

void TouchLater(const std::string& path)
{
    const fs::path file = fs::u8path(path);
    fs::last_write_time(file, fs::last_write_time(file) + std::chrono::minutes(1));
}

bool FileExists(const std::string& path) { return fs::exists(fs::u8path(path)); }

CScannerProcess::CScannerProcess(const std::vector<std::string>& arguments)
    : m_folder(MakeTemporaryFolder("scanner-output"))
{
    std::wstring commandLine = QuotedArgument(BinaryFolder() + "PluginScanner.exe");
    for (const std::string& argument : arguments)
        commandLine += L" " + QuotedArgument(argument);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = InheritableOutputFile(m_folder + "\\out.txt");
    startup.hStdError = InheritableOutputFile(m_folder + "\\err.txt");
    PROCESS_INFORMATION created = {};
    if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &created)) {
        CloseHandle(created.hThread);
        m_process = created.hProcess;
    }
    CloseHandle(startup.hStdOutput);
    CloseHandle(startup.hStdError);
    EXPECT_NE(nullptr, m_process) << "PluginScanner.exe did not start";
}

CScannerProcess::~CScannerProcess()
{
    if (m_process == nullptr)
        return;
    TerminateProcess(static_cast<HANDLE>(m_process), 1); // fails harmlessly when it has ended
    WaitForSingleObject(static_cast<HANDLE>(m_process), INFINITE);
    CloseHandle(static_cast<HANDLE>(m_process));
}

SScannerRun CScannerProcess::Wait()
{
    SScannerRun run;
    DWORD code = 0;
    EXPECT_TRUE(m_process != nullptr && WaitForSingleObject(static_cast<HANDLE>(m_process), 300000) == WAIT_OBJECT_0 &&
                GetExitCodeProcess(static_cast<HANDLE>(m_process), &code))
        << "the scanner did not finish";
    run.exitCode = code;
    run.out = ReadTextFile(m_folder + "\\out.txt");
    run.err = ReadTextFile(m_folder + "\\err.txt");
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
