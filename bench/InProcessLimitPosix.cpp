// InProcessLimit: the Linux work of one scan request without the protocol,
// repeated; the limit the server's per-request cost is measured against.
//
//   InProcessLimit PLUGIN.so REQUESTS LINES [LIBRARY.so ...]
//
// Per request, as the server does it for a plain effect: dlopen (RTLD_NOW |
// RTLD_LOCAL), the export lookups (VSTPluginMain, then main), the entry point
// with a minimal host callback, the dispatcher questions, effClose and dlclose.
// With LINES above 0, every request also writes that many lines to standard
// output, one write each as the server writes a line, while the driver drains
// the pipe as a host does. The LIBRARY arguments are loaded first and stay
// loaded: the driver names the libraries the server holds, so that a plug-in's
// dependencies find the same libraries resident in both processes. Prints one
// line on standard output: the microseconds all requests took, then the
// process's resident set in bytes before and after them (a control for the
// server's growth); exit code 0, or 1 when the library is no plain VST 2 effect
// or a library cannot be loaded, 2 after a usage error.

#include "bench/InProcessProbe.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <unistd.h>

namespace {

constexpr unsigned long long kKilobyte = 1024;
constexpr char kResidentField[] = "VmRSS:";

/// One request's Linux work; false when the library is no usable effect.
bool ProbeOnce(const char* path)
{
    void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr)
        return false;
    bool probed = false;
    auto entry = reinterpret_cast<VstEntryPoint>(dlsym(module, "VSTPluginMain"));
    if (entry == nullptr)
        entry = reinterpret_cast<VstEntryPoint>(dlsym(module, "main"));
    if (dlsym(module, "JBridgeBootstrap") == nullptr && entry != nullptr) {
        AEffect* effect = entry(MinimalHostCallback);
        if (effect != nullptr && effect->magic == kEffectMagic) {
            ProbeAndClose(effect);
            probed = true;
        }
    }
    dlclose(module);
    return probed;
}

/// The resident set in bytes, from /proc/self/status; 0 when it cannot be read.
unsigned long long ResidentSet()
{
    unsigned long long kilobytes = 0;
    if (FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status) != nullptr) {
            if (std::strncmp(line, kResidentField, sizeof kResidentField - 1) == 0)
                kilobytes = std::strtoull(line + sizeof kResidentField - 1, nullptr, 10);
        }
        std::fclose(status);
    }
    return kilobytes * kKilobyte;
}

/// One line as the server writes it: one write of the whole line.
void WriteLine()
{
    while (write(STDOUT_FILENO, kInProcessLine, sizeof kInProcessLine - 1) < 0 && errno == EINTR) {
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fputs("usage: InProcessLimit PLUGIN.so REQUESTS LINES [LIBRARY.so ...]\n", stderr);
        return 2;
    }
    const char* path = argv[1];
    const long requests = std::strtol(argv[2], nullptr, 10);
    const long lines = std::strtol(argv[3], nullptr, 10);
    if (requests <= 0 || lines < 0) {
        std::fputs("InProcessLimit: REQUESTS must be above 0 and LINES not below 0\n", stderr);
        return 2;
    }
    for (int library = 4; library < argc; ++library) {
        if (dlopen(argv[library], RTLD_NOW | RTLD_LOCAL) == nullptr) {
            std::fprintf(stderr, "InProcessLimit: cannot load %s: %s\n", argv[library], dlerror());
            return 1;
        }
    }

    // One untimed request, as the server's first request is untimed too.
    if (!ProbeOnce(path)) {
        std::fputs("InProcessLimit: the library is no plain VST 2 effect\n", stderr);
        return 1;
    }
    const unsigned long long residentBefore = ResidentSet();
    const auto start = std::chrono::steady_clock::now();
    for (long request = 0; request < requests; ++request) {
        ProbeOnce(path);
        for (long line = 0; line < lines; ++line)
            WriteLine();
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    std::printf("elapsed: %lld %llu %llu\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count()),
                residentBefore, ResidentSet());
    return 0;
}
