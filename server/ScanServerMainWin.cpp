#include "server/ScanServerMain.h"

#include "crash/CrashFilter.h"
#include "crash/DumpSettings.h"
#include "foundation/Win32.h"
#include "process/OutputChannel.h"
#include "process/ServerState.h"
#include "scan/ScanPlatformWin.h"
#include "server/CommandLine.h"
#include "server/RequestLoop.h"
#include "splash/SplashWindow.h"
#include "wire/Protocol.h"

#include <objidl.h>
#include <gdiplus.h>
#include <shellapi.h>

namespace {

class CHandleSink : public IOutputSink {
public:
    void WriteAndFlush(const char* bytes, std::size_t count) override
    {
        DWORD written = 0;
        WriteFile(g_outputHandle, bytes, static_cast<DWORD>(count), &written, nullptr);
        FlushFileBuffers(g_outputHandle);
    }
};

class CHandleSource : public IRequestSource {
public:
    int Read(char* buffer, int capacity) override
    {
        DWORD count = 0;
        if (!ReadFile(g_inputHandle, buffer, static_cast<DWORD>(capacity), &count, nullptr))
            return 0;
        return static_cast<int>(count);
    }

    bool HasWaitingBytes() override
    {
        switch (GetFileType(g_inputHandle)) {
        case FILE_TYPE_PIPE: {
            // A host's single write is waiting whole, even one larger than the pipe's
            // buffer. A closed pipe fails the peek: what was read is served, and the
            // next read ends the loop.
            DWORD available = 0;
            return PeekNamedPipe(g_inputHandle, nullptr, 0, nullptr, &available, nullptr) && available > 0;
        }
        case FILE_TYPE_DISK: {
            // A file's remaining bytes are all there: nothing waits only at its end.
            LARGE_INTEGER position = {};
            LARGE_INTEGER size = {};
            const LARGE_INTEGER noMove = {};
            return SetFilePointerEx(g_inputHandle, noMove, &position, FILE_CURRENT) &&
                   GetFileSizeEx(g_inputHandle, &size) && position.QuadPart < size.QuadPart;
        }
        default:
            // A console hands over one typed line per read, its newline last: the
            // rest of a line longer than the buffer is waiting. Other devices keep
            // reading to the newline too.
            return true;
        }
    }
};

SServerArguments ReadCommandLine()
{
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr)
        return SServerArguments();
    SServerArguments parsed = ParseServerArguments(count, reinterpret_cast<const char16_t* const*>(arguments));
    LocalFree(arguments);
    return parsed;
}

/// The host's pipes stay the server's own: a program a plug-in starts inheriting
/// handles (a licence checker, an updater) would otherwise keep them open after
/// a crash, and the host would wait for the pipe to close instead of seeing the crash.
void KeepFromChildren(HANDLE handle)
{
    if (handle != nullptr)
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
}

void StartGdiplus()
{
    Gdiplus::GdiplusStartupInput input; // version 1, no debug callback, background thread, codecs
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    g_gdiplusToken = token;
}

void RunMessageLoop()
{
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

CHandleSink g_handleSink;
CWindowsScanPlatform g_windowsScanPlatform;

} // namespace

int ScanServerMain(void* instance)
{
    InitializeCrashHandling();
    g_dumpBaseName = CString::Format(u"%s-%s", kDumpBaseNameUtf16, kServerPlatformUtf16);
    InstallCrashFilter();

    const SServerArguments arguments = ReadCommandLine();
    g_dumpFolder = arguments.dumpFolder;
    g_inputHandle = reinterpret_cast<void*>(static_cast<uintptr_t>(arguments.inputHandle));
    g_outputHandle = arguments.outputHandle != 0 ? reinterpret_cast<void*>(static_cast<uintptr_t>(arguments.outputHandle))
                                                 : GetStdHandle(STD_OUTPUT_HANDLE);
    // Before any plug-in can start a program.
    KeepFromChildren(g_inputHandle);
    KeepFromChildren(g_outputHandle);
    StartGdiplus();
    SetOutputSink(&g_handleSink);
    SetScanPlatform(&g_windowsScanPlatform);

    CreateSplashWindow(instance, reinterpret_cast<void*>(static_cast<uintptr_t>(arguments.ownerWindow)));
    LogBanner(nullptr);

    if (g_inputHandle != nullptr) {
        // A plug-in load must never raise a system error box.
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        CHandleSource source;
        ServeRequests(source);
    } else {
        RunMessageLoop();
    }

    if (g_splashWindow != nullptr)
        DestroyWindow(static_cast<HWND>(g_splashWindow));
    Gdiplus::GdiplusShutdown(g_gdiplusToken);
    return 0;
}
