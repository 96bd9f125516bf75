// PluginScanner.exe: scans plug-in libraries with scan servers into a database
// and prints the results. Run "PluginScanner --help" for its use and exit codes.

#include "client/DatabaseFile.h"
#include "client/WideTextWin.h"
#include "foundation/Win32.h"
#include "scanner/ScannerCommand.h"

#include <atomic>

namespace {

/// Set by Ctrl+C (or Ctrl+Break): the scan run stops and the scanner exits
/// with kExitInterrupted once it has saved and printed what it has.
std::atomic<bool> g_interrupted{false};

BOOL WINAPI OnConsoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE; // closing the console or logging off: the default ending
    g_interrupted = true;
    return TRUE;
}

/// An environment variable's value; empty when it is not set.
std::string Environment(const wchar_t* name)
{
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0)
        return std::string();
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, &value[0], size));
    return Utf8FromWide(value);
}

/// VSTPluginsPath of HKEY_LOCAL_MACHINE\SOFTWARE\VST in one view of the registry
/// (KEY_WOW64_64KEY or KEY_WOW64_32KEY), environment variables expanded; empty
/// when it is not there or not text.
std::string VstPluginsPath(REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VST", 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
        return std::string();
    DWORD type = 0;
    DWORD bytes = 0;
    std::wstring value;
    if (RegQueryValueExW(key, L"VSTPluginsPath", nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        // One more character than stored: a value saved without its terminating zero still ends.
        value.assign(bytes / sizeof(wchar_t) + 1, L'\0');
        const bool read =
            RegQueryValueExW(key, L"VSTPluginsPath", nullptr, nullptr, reinterpret_cast<BYTE*>(&value[0]), &bytes) ==
            ERROR_SUCCESS;
        value = read ? std::wstring(value.c_str()) : std::wstring();
    }
    RegCloseKey(key);
    if (type == REG_EXPAND_SZ && !value.empty()) {
        std::wstring expanded(ExpandEnvironmentStringsW(value.c_str(), nullptr, 0) + 1, L'\0');
        ExpandEnvironmentStringsW(value.c_str(), &expanded[0], static_cast<DWORD>(expanded.size()));
        value = expanded.c_str();
    }
    return Utf8FromWide(value);
}

bool IsFolder(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

/// The folders Windows hosts search, read from this machine's registry and environment.
std::vector<std::string> DefaultFolders()
{
    SWindowsFolderSources sources;
    sources.registry64 = VstPluginsPath(KEY_WOW64_64KEY);
    sources.registry32 = VstPluginsPath(KEY_WOW64_32KEY);
    sources.programFiles = Environment(L"ProgramFiles");
    sources.commonProgramFiles = Environment(L"CommonProgramFiles");
    sources.programFilesX86 = Environment(L"ProgramFiles(x86)");
    sources.commonProgramFilesX86 = Environment(L"CommonProgramFiles(x86)");
    return WindowsPluginFolders(sources, IsFolder);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> arguments;
    for (int index = 1; index < argc; ++index)
        arguments.push_back(Utf8FromWide(argv[index]));
    SScannerPlatform platform;
    platform.commandLine = &kWindowsScanner;
    platform.defaultDatabase = DefaultDatabasePath();
    platform.defaultFolders = DefaultFolders();
    platform.programFolder = ProgramFolder();
    platform.separator = '\\';
    platform.interrupted = &g_interrupted;
    platform.watchInterrupt = [] { SetConsoleCtrlHandler(OnConsoleControl, TRUE); };
    platform.utcNow = UtcNow;
    return RunScannerCommand(arguments, platform);
}
