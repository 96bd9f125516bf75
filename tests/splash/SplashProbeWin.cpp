// SplashProbe SERVER: starts SERVER with the host's pipes, closes its splash
// window while it serves and checks that it goes on answering and exits with
// 0 (exit code 0), for the screenshot test; else exit code 1 and a reason.

#include "client/ServerConnection.h"
#include "foundation/Win32.h"

#include <cstdio>

namespace {

constexpr DWORD kPollMs = 100;
constexpr int kPatienceTicks = 600;  // a minute: a slow Wine start is not a failure

/// One request for a missing library, answered up to the next "ready:".
bool Answered(CServerConnection& server)
{
    return server.SendRequest("Z:\\no\\such\\Plugin.dll") &&
           server.ReadUntilReady(nullptr, [](const std::string& line) { std::printf("  %s\n", line.c_str()); }) ==
               EWaitResult::Ready;
}

int Probe(const char* serverPath)
{
    SServerOptions options;
    options.serverPath = serverPath;
    CServerConnection server;
    if (!server.Start(options) || server.ReadUntilReady(nullptr) != EWaitResult::Ready)
        return 1;
    // The window exists before the first "ready:"; the server dispatches the
    // close once it has read the next request.
    const HWND splash = FindWindowW(L"TessivaneScanServer", L"Tessivane Scan Server");
    if (splash == nullptr || !PostMessageW(splash, WM_CLOSE, 0, 0) || !Answered(server))
        return 1;
    for (int tick = 0; tick < kPatienceTicks && IsWindow(splash); ++tick)
        Sleep(kPollMs);
    if (IsWindow(splash) || !Answered(server))
        return 1;
    server.CloseInput();
    uint32_t exitCode = 1;
    return server.WaitForExit(kPollMs * kPatienceTicks, exitCode) && exitCode == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && Probe(argv[1]) == 0)
        return 0;
    std::fputs("SplashProbe: no window, no answer after WM_CLOSE, the window stayed or the exit code was not 0\n",
               stderr);
    return 1;
}
