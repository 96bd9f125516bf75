#pragma once
// Shared by the end-to-end tests: where the built programs are, files, and
// PluginScanner runs. Paths are UTF-8; a helper that cannot do its work fails
// the test.

#include "client/ServerConnection.h"

#ifdef _WIN32
#include "client/WideTextWin.h"
#include "foundation/Win32.h"
#else
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#endif

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
inline unsigned long ProcessId() { return GetCurrentProcessId(); }

/// bin/ of the build (the running test's folder), with a trailing separator.
inline std::string BinaryFolder()
{
    wchar_t path[MAX_PATH];
    const std::wstring file(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return Utf8FromWide(file.substr(0, file.find_last_of(L"\\/") + 1));
}

/// What Windows shows of bin/<program>'s version resource: "<file version>
/// <ProductVersion> <OriginalFilename>", such as "1.0.0.0 1.0.0 PluginScanner.exe";
/// empty without one.
inline std::string VersionResource(const std::string& program)
{
    const std::wstring path = WideFromUtf8(BinaryFolder() + program);
    DWORD ignored = 0;
    std::string block(GetFileVersionInfoSizeW(path.c_str(), &ignored), '\0');
    void* fixed = nullptr;
    void* product = nullptr;
    void* original = nullptr;
    UINT size = 0;
    if (block.empty() || !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), &block[0]) ||
        !VerQueryValueW(&block[0], L"\\", &fixed, &size) || size < sizeof(VS_FIXEDFILEINFO) ||
        !VerQueryValueW(&block[0], L"\\StringFileInfo\\040904B0\\ProductVersion", &product, &size) ||
        !VerQueryValueW(&block[0], L"\\StringFileInfo\\040904B0\\OriginalFilename", &original, &size))
        return std::string();
    const auto& info = *static_cast<const VS_FIXEDFILEINFO*>(fixed);
    const auto part = [](DWORD word, int shift) { return std::to_string((word >> shift) & 0xFFFF); };
    return part(info.dwFileVersionMS, 16) + "." + part(info.dwFileVersionMS, 0) + "." + part(info.dwFileVersionLS, 16) +
           "." + part(info.dwFileVersionLS, 0) + " " + Utf8FromWide(static_cast<const wchar_t*>(product)) + " " +
           Utf8FromWide(static_cast<const wchar_t*>(original));
}
#else
constexpr char kPathSeparator = '/';
inline unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }

inline std::string BinaryFolder() { return fs::read_symlink("/proc/self/exe").parent_path().u8string() + kPathSeparator; }
#endif

/// bin/fixtures/<name> (or bin/samples/<name>).
inline std::string FixturePath(const std::string& name, bool sample = false)
{
    return BinaryFolder() + (sample ? "samples" : "fixtures") + kPathSeparator + name;
}

/// Whether the machine starts the server program at all: a kernel without 32-bit
/// support (and so Wine without its 32-bit part) starts no x86 program.
inline bool StartsOnThisMachine(const std::string& program)
{
    SServerOptions options;
    options.serverPath = BinaryFolder() + program;
    CServerConnection server;
    if (server.Start(options))
        return true;
    std::fprintf(stderr, "NOTE: %s does not start on this machine (%s)\n", program.c_str(), server.GetError().c_str());
    return false;
}

/// Removes the temporary folders the tests made once they have all run, unless one failed.
class CTemporaryFolders : public ::testing::Environment {
public:
    void TearDown() override
    {
        if (!::testing::UnitTest::GetInstance()->Passed())
            return;
        std::error_code ignored;
        for (const fs::path& folder : made)
            fs::remove_all(folder, ignored);
    }
    std::vector<fs::path> made;
};
inline CTemporaryFolders* const g_temporaryFolders =
    static_cast<CTemporaryFolders*>(::testing::AddGlobalTestEnvironment(new CTemporaryFolders));

/// A fresh empty folder under the system's temporary folder.
inline std::string MakeTemporaryFolder(const std::string& prefix)
{
    static unsigned counter = 0;
    for (;;) {
        const fs::path folder = fs::temp_directory_path() /
                                fs::u8path(prefix + "-" + std::to_string(ProcessId()) + "-" + std::to_string(++counter));
        if (fs::create_directory(folder)) {
            g_temporaryFolders->made.push_back(folder);
            return folder.u8string();
        }
    }
}

inline void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream file(fs::u8path(path), std::ios::binary);
    ASSERT_TRUE(file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush()) << path;
}

/// The file's bytes; empty when it cannot be read.
inline std::string ReadTextFile(const std::string& path)
{
    std::ifstream file(fs::u8path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

/// The file parsed as JSON; null when it is missing, discarded when it is not JSON.
inline nlohmann::json ReadJsonFile(const std::string& path)
{
    const std::string text = ReadTextFile(path);
    return text.empty() ? nlohmann::json() : nlohmann::json::parse(text, nullptr, false);
}

/// Moves the file's modification time one minute forward.
inline void TouchLater(const std::string& path)
{
    fs::last_write_time(fs::u8path(path), fs::last_write_time(fs::u8path(path)) + std::chrono::minutes(1));
}

struct SScannerRun {
    uint32_t exitCode = 0xFFFFFFFF;
    std::string out; ///< standard output
    std::string err; ///< standard error (the progress lines)
};

#ifdef _WIN32
/// PluginScanner.exe started with arguments, its output going to files; the
/// destructor kills it if it still runs, as a user's kill would.
class CScannerProcess {
public:
    explicit CScannerProcess(const std::vector<std::string>& arguments) : m_folder(MakeTemporaryFolder("scanner-output"))
    {
        const auto quoted = [](const std::string& argument) {
            std::wstring wide = WideFromUtf8(argument);
            if (!wide.empty() && wide.back() == L'\\') // it would escape the closing quote
                wide += L'\\';
            return L"\"" + wide + L"\"";
        };
        std::wstring commandLine = quoted(BinaryFolder() + "PluginScanner.exe");
        for (const std::string& argument : arguments)
            commandLine += L" " + quoted(argument);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = OutputFile("out");
        startup.hStdError = OutputFile("err");
        PROCESS_INFORMATION created = {};
        if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &created)) {
            CloseHandle(created.hThread);
            m_process = created.hProcess;
        }
        CloseHandle(startup.hStdOutput);
        CloseHandle(startup.hStdError);
        EXPECT_NE(nullptr, m_process) << "PluginScanner.exe did not start";
    }
    ~CScannerProcess()
    {
        if (m_process == nullptr)
            return;
        TerminateProcess(m_process, 1); // fails harmlessly when it has ended
        WaitForSingleObject(m_process, INFINITE);
        CloseHandle(m_process);
    }
    CScannerProcess(const CScannerProcess&) = delete;
    CScannerProcess& operator=(const CScannerProcess&) = delete;

    /// Waits for the end (failing the test after five minutes) and collects the output.
    SScannerRun Wait()
    {
        SScannerRun run;
        DWORD code = 0;
        EXPECT_TRUE(m_process != nullptr && WaitForSingleObject(m_process, 300000) == WAIT_OBJECT_0 &&
                    GetExitCodeProcess(m_process, &code))
            << "the scanner did not finish";
        run.exitCode = code;
        run.out = ReadTextFile(m_folder + "\\out.txt");
        run.err = ReadTextFile(m_folder + "\\err.txt");
        return run;
    }

private:
    HANDLE OutputFile(const char* name) const
    {
        SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
        return CreateFileW(WideFromUtf8(m_folder + "\\" + name + ".txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                           &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    HANDLE m_process = nullptr;
    std::string m_folder;
};

#else
/// bin/PluginScanner started with arguments, its output going to files, or its
/// standard error to a terminal terminalColumns wide (a pseudo-terminal that Wait
/// reads); the destructor kills it if it still runs, as a user's kill would.
class CScannerProcess {
public:
    explicit CScannerProcess(const std::vector<std::string>& arguments, unsigned short terminalColumns = 0)
        : m_folder(MakeTemporaryFolder("scanner-output"))
    {
        std::string errorPath = m_folder + "/err.txt";
        if (terminalColumns != 0) {
            const winsize size = {24, terminalColumns, 0, 0};
            m_terminal = posix_openpt(O_RDWR | O_NOCTTY);
            EXPECT_TRUE(m_terminal >= 0 && grantpt(m_terminal) == 0 && unlockpt(m_terminal) == 0 &&
                        ioctl(m_terminal, TIOCSWINSZ, &size) == 0 && fcntl(m_terminal, F_SETFL, O_NONBLOCK) == 0);
            const char* name = m_terminal >= 0 ? ptsname(m_terminal) : nullptr;
            errorPath = name != nullptr ? name : errorPath;
        }
        std::vector<std::string> words = {BinaryFolder() + "PluginScanner"};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(&word[0]);
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (m_folder + "/out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY, 0644);
        if (posix_spawn(&m_process, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            m_process = 0;
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_NE(0, m_process) << "PluginScanner did not start";
    }
    ~CScannerProcess()
    {
        if (m_process == 0)
            return;
        kill(m_process, SIGKILL); // fails harmlessly when it has ended
        int status = 0;
        waitpid(m_process, &status, 0);
        if (m_terminal >= 0)
            close(m_terminal);
    }
    CScannerProcess(const CScannerProcess&) = delete;
    CScannerProcess& operator=(const CScannerProcess&) = delete;

    /// Waits for the end (failing the test after five minutes) and collects the output.
    SScannerRun Wait()
    {
        SScannerRun run;
        int status = 0;
        for (int waited = 0; m_process != 0 && waited < 300000; waited += 20) {
            ReadTerminal();
            if (waitpid(m_process, &status, WNOHANG) == m_process) {
                m_process = 0;
                run.exitCode = WIFEXITED(status) ? static_cast<uint32_t>(WEXITSTATUS(status)) : 128u + WTERMSIG(status);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_EQ(0, m_process) << "the scanner did not finish";
        run.out = ReadTextFile(m_folder + "/out.txt");
        ReadTerminal();
        run.err = m_terminal >= 0 ? m_terminalText : ReadTextFile(m_folder + "/err.txt");
        return run;
    }

private:
    /// Takes what the terminal holds, without waiting: the scanner blocks once it is full.
    void ReadTerminal()
    {
        char buffer[4096];
        for (ssize_t count = 0; m_terminal >= 0 && (count = read(m_terminal, buffer, sizeof buffer)) > 0;)
            m_terminalText.append(buffer, static_cast<std::size_t>(count));
    }

    pid_t m_process = 0;
    std::string m_folder;
    int m_terminal = -1; ///< the pseudo-terminal's master side
    std::string m_terminalText;
};
#endif

/// Runs the scanner to its end.
inline SScannerRun RunScanner(const std::vector<std::string>& arguments) { return CScannerProcess(arguments).Wait(); }
