#pragma once
// Shared by the end-to-end tests: where the built programs are, files, and
// PluginScanner.exe runs. Paths are UTF-8; a helper that cannot do its work fails the test.

#include "client/ServerConnection.h"
#include "client/WideTextWin.h"
#include "foundation/Win32.h"

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

/// bin/ of the Windows build (the running test's folder), with a trailing backslash.
inline std::string BinaryFolder()
{
    wchar_t path[MAX_PATH];
    const std::wstring file(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return Utf8FromWide(file.substr(0, file.find_last_of(L"\\/") + 1));
}

/// bin/fixtures/<name> (or bin/samples/<name>).
inline std::string FixturePath(const std::string& name, bool sample = false)
{
    return BinaryFolder() + (sample ? "samples\\" : "fixtures\\") + name;
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

/// A fresh empty folder under the system's temporary folder.
inline std::string MakeTemporaryFolder(const std::string& prefix)
{
    static unsigned counter = 0;
    for (;;) {
        const fs::path folder = fs::temp_directory_path() /
                                fs::u8path(prefix + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter));
        if (fs::create_directory(folder))
            return folder.u8string();
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

/// Runs the scanner to its end.
inline SScannerRun RunScanner(const std::vector<std::string>& arguments) { return CScannerProcess(arguments).Wait(); }
