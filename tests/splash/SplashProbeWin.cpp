// SplashProbe: looks at a running server's splash window from another process,
// for the screenshot test.
//
//   SplashProbe.exe rect            prints "window L T R B" and "workarea L T R B"
//                                   (the work area of the window's monitor)
//   SplashProbe.exe close           asks the window to close (WM_CLOSE) and
//                                   waits until it is gone
//   SplashProbe.exe serve SERVER    starts SERVER with the host's pipes, closes
//                                   its splash window and checks that it goes on
//                                   serving requests and exits with 0 at the end
//
// Exit code 0 when the step did what it says, else 1 with a reason on stderr.

#include "client/ServerConnection.h"
#include "foundation/Win32.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kClassName[] = L"TessivaneScanServer";
constexpr wchar_t kWindowTitle[] = L"Tessivane Scan Server";
constexpr DWORD kPollMs = 100;
constexpr int kPatienceTicks = 600;  // a minute: generous, a slow Wine start is not a failure

HWND FindSplash()
{
    return FindWindowW(kClassName, kWindowTitle);
}

int Fail(const char* reason)
{
    std::fprintf(stderr, "SplashProbe: %s\n", reason);
    return 1;
}

bool WaitUntilGone(HWND window)
{
    for (int tick = 0; tick < kPatienceTicks && IsWindow(window); ++tick)
        Sleep(kPollMs);
    return !IsWindow(window);
}

int PrintRect()
{
    const HWND splash = FindSplash();
    if (splash == nullptr)
        return Fail("no splash window");
    RECT placed{};
    GetWindowRect(splash, &placed);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(splash, MONITOR_DEFAULTTONEAREST), &monitor);
    std::printf("window %ld %ld %ld %ld\n", placed.left, placed.top, placed.right, placed.bottom);
    std::printf("workarea %ld %ld %ld %ld\n", monitor.rcWork.left, monitor.rcWork.top, monitor.rcWork.right,
                monitor.rcWork.bottom);
    return 0;
}

int Close()
{
    const HWND splash = FindSplash();
    if (splash == nullptr)
        return Fail("no splash window");
    PostMessageW(splash, WM_CLOSE, 0, 0);
    return WaitUntilGone(splash) ? 0 : Fail("the splash window did not close");
}

void PrintLine(const std::string& line)
{
    std::printf("  %s\n", line.c_str());
    std::fflush(stdout);
}

/// One request that must be answered with the "ready:" marker again.
bool Serve(CServerConnection& server, const std::string& request)
{
    std::printf("<< %s\n", request.c_str());
    return server.SendRequest(request) && server.ReadUntilReady(nullptr, PrintLine) == EWaitResult::Ready;
}

std::string Utf8FromWide(const wchar_t* text)
{
    const int count = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(count > 0 ? count - 1 : 0), '\0');
    if (count > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], count, nullptr, nullptr);
    return utf8;
}

int ServeWithoutSplash(const wchar_t* serverPath)
{
    SServerOptions options;
    options.serverPath = Utf8FromWide(serverPath);
    CServerConnection server;
    if (!server.Start(options))
        return Fail(server.GetError().c_str());
    if (server.ReadUntilReady(nullptr, PrintLine) != EWaitResult::Ready)
        return Fail("the server never became ready");

    // The window exists before the banner, so before the first "ready:".
    const HWND splash = FindSplash();
    if (splash == nullptr)
        return Fail("the serving server shows no splash window");
    PostMessageW(splash, WM_CLOSE, 0, 0);

    // The server dispatches the close after it has read the next request.
    const std::string missing = "Z:\\no\\such\\folder\\NoSuchPlugin.dll";
    if (!Serve(server, missing))
        return Fail("no answer to the request that closed the window");
    if (!WaitUntilGone(splash))
        return Fail("the splash window survived WM_CLOSE");
    std::printf("-- the splash window is gone\n");
    if (!Serve(server, missing))
        return Fail("no answer to a request after the window was closed");

    server.CloseInput();
    uint32_t exitCode = 1;
    if (!server.WaitForExit(60000, exitCode))
        return Fail("the server did not exit after its input closed");
    std::printf("-- server exit code %u\n", exitCode);
    return exitCode == 0 ? 0 : Fail("the server's exit code is not 0");
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"rect")
        return PrintRect();
    if (command == L"close")
        return Close();
    if (command == L"serve" && argc > 2)
        return ServeWithoutSplash(argv[2]);
    std::fputs("usage: SplashProbe.exe rect | close | serve SERVER.exe\n", stderr);
    return 2;
}
