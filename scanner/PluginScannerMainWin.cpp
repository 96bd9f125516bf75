// PluginScanner.exe: scans plug-in libraries with scan servers into a database
// and prints the results. Run "PluginScanner --help" for its use and exit codes.

#include "client/DatabaseFile.h"
#include "client/WideTextWin.h"
#include "foundation/Win32.h"
#include "scanner/ScannerCommand.h"

#include <atomic>
#include <cstdio>

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

/// The current time as the database keeps it: "2024-03-07T09:05:01Z".
std::string UtcNow()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    return text;
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
    platform.programFolder = ProgramFolder();
    platform.separator = '\\';
    platform.interrupted = &g_interrupted;
    platform.watchInterrupt = [] { SetConsoleCtrlHandler(OnConsoleControl, TRUE); };
    platform.utcNow = UtcNow;
    return RunScannerCommand(arguments, platform);
}
