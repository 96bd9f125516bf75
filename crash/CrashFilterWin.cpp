#include "crash/CrashFilter.h"

#include "crash/DumpPath.h"
#include "crash/DumpSettings.h"
#include "foundation/Win32.h"
#include "wire/Protocol.h"

#include <dbghelp.h>

namespace {

CRITICAL_SECTION g_dumpLock;

/// Room for the longest path Windows knows, so a long dump folder never
/// overflows it. Static: the crash filter may run with little stack left.
char16_t g_dumpPath[32768 + 64];

using MiniDumpWriteDumpFunction = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                                PMINIDUMP_EXCEPTION_INFORMATION,
                                                PMINIDUMP_USER_STREAM_INFORMATION,
                                                PMINIDUMP_CALLBACK_INFORMATION);

void WriteDump(MiniDumpWriteDumpFunction writeDump, EXCEPTION_POINTERS* exception)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    const SDumpTime time = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
    if (!FormatDumpPath(g_dumpPath, sizeof g_dumpPath / sizeof g_dumpPath[0], g_dumpFolder.GetText(),
                        g_dumpBaseName.GetText(), time))
        return;
    HANDLE file = CreateFileW(AsWide(g_dumpPath), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    MINIDUMP_EXCEPTION_INFORMATION information;
    information.ThreadId = GetCurrentThreadId();
    information.ExceptionPointers = exception;
    information.ClientPointers = FALSE;
    writeDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal, &information, nullptr, nullptr);
    CloseHandle(file);
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS* exception)
{
    if (!g_dumpFolder.IsEmpty()) {
        EnterCriticalSection(&g_dumpLock);
        // DbgHelp is mapped only when a crash happens.
        HMODULE dbgHelp = LoadLibraryW(L"DbgHelp.dll");
        auto writeDump = dbgHelp != nullptr ? reinterpret_cast<MiniDumpWriteDumpFunction>(
                                                  reinterpret_cast<void*>(GetProcAddress(dbgHelp, "MiniDumpWriteDump")))
                                            : nullptr;
        if (writeDump == nullptr) {
            LeaveCriticalSection(&g_dumpLock);
            return EXCEPTION_CONTINUE_SEARCH;
        }
        WriteDump(writeDump, exception);
        LeaveCriticalSection(&g_dumpLock);
    }
    TerminateProcess(GetCurrentProcess(), kCrashExitCode);
    return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

void InitializeCrashHandling() { InitializeCriticalSection(&g_dumpLock); }

void InstallCrashFilter() { SetUnhandledExceptionFilter(CrashFilter); }
