// InProcessLimit.exe: the Windows work of one scan request without the protocol,
// repeated; the limit the server's per-request cost is measured against.
//
//   InProcessLimit.exe PLUGIN.dll REQUESTS LINES [--probe PROBE.dll] [LIBRARY.dll ...]
//
// Per request, as the server does it for a plain effect: LoadLibraryExW, the
// export lookups, the entry point with a minimal host callback, the resource
// check, the dispatcher questions, effClose and FreeLibrary. With LINES above 0,
// every request also writes that many lines to a pipe, each write followed by a
// flush, while a reader thread drains the other end, as a host does. The
// LIBRARY arguments are loaded first and stay loaded: the driver names the
// libraries the server holds, so that a plug-in's imports find the same modules
// resident in both processes. Prints one line on standard output: the
// microseconds all requests took, then the process's working set in bytes before
// and after them (a control for the server's growth); exit code 0, or 1 when the library is no plain VST 2 effect
// or a library cannot be loaded, 2 after a usage error. With --probe, the heap
// probe (bench/HeapProbe.h) is requested as a plug-in before the working set is
// first read and after it is read at the end, outside the timed requests.

#include "bench/InProcessProbe.h"
#include "foundation/Win32.h"

#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace {

/// One request's Windows work; false when the library is no usable effect.
bool ProbeOnce(const wchar_t* path)
{
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr)
        return false;
    bool probed = false;
    const auto entry =
        reinterpret_cast<VstEntryPoint>(reinterpret_cast<void*>(GetProcAddress(module, "VSTPluginMain")));
    if (GetProcAddress(module, "JBridgeBootstrap") == nullptr && entry != nullptr) {
        AEffect* effect = entry(MinimalHostCallback);
        if (effect != nullptr && effect->magic == kEffectMagic) {
            volatile bool synthEdit = FindResourceW(module, MAKEINTRESOURCEW(kSynthEditResourceId), AsWide(kSynthEditResourceType)) != nullptr;
            static_cast<void>(synthEdit);
            ProbeAndClose(effect);
            probed = true;
        }
    }
    FreeLibrary(module);
    return probed;
}

SIZE_T WorkingSet()
{
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    return GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory) ? memory.WorkingSetSize : 0;
}

/// One line as the server writes it: one write, then a flush that returns once
/// the reader has taken it.
void WriteLine(HANDLE output)
{
    DWORD written = 0;
    WriteFile(output, kInProcessLine, sizeof kInProcessLine - 1, &written, nullptr);
    FlushFileBuffers(output);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4 || (argc == 5 && std::wcscmp(argv[4], L"--probe") == 0)) {
        std::fputs("usage: InProcessLimit.exe PLUGIN.dll REQUESTS LINES [--probe PROBE.dll] [LIBRARY.dll ...]\n",
                   stderr);
        return 2;
    }
    const bool probed = argc > 5 && std::wcscmp(argv[4], L"--probe") == 0;
    const wchar_t* probe = probed ? argv[5] : nullptr;
    const int firstLibrary = probed ? 6 : 4;
    const wchar_t* path = argv[1];
    const long requests = std::wcstol(argv[2], nullptr, 10);
    const long lines = std::wcstol(argv[3], nullptr, 10);
    if (requests <= 0 || lines < 0) {
        std::fputs("InProcessLimit: REQUESTS must be above 0 and LINES not below 0\n", stderr);
        return 2;
    }
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    for (int library = firstLibrary; library < argc; ++library) {
        if (LoadLibraryW(argv[library]) == nullptr) {
            std::fprintf(stderr, "InProcessLimit: cannot load %ls\n", argv[library]);
            return 1;
        }
    }

    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    // One untimed request, as the server's first request is untimed too.
    if (!ProbeOnce(path)) {
        std::fputs("InProcessLimit: the library is no plain VST 2 effect\n", stderr);
        return 1;
    }
    if (probe != nullptr && !ProbeOnce(probe)) {
        std::fputs("InProcessLimit: the heap probe is no plain VST 2 effect\n", stderr);
        return 1;
    }
    const SIZE_T workingSetBefore = WorkingSet();
    const auto start = std::chrono::steady_clock::now();
    for (long request = 0; request < requests; ++request) {
        ProbeOnce(path);
        for (long line = 0; line < lines; ++line)
            WriteLine(output);
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const SIZE_T workingSetAfter = WorkingSet();
    if (probe != nullptr)
        ProbeOnce(probe);
    std::printf("elapsed: %lld %llu %llu\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count()),
                static_cast<unsigned long long>(workingSetBefore), static_cast<unsigned long long>(workingSetAfter));
    return 0;
}
