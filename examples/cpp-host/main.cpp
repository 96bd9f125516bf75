// Scans the plug-in libraries named on the command line with the C++ client
// library: one scan client per platform, chosen by each library's header, with
// the servers found in SERVER_FOLDER. Prints one line per result:
//   outcome <TAB> unique id <TAB> name <TAB> error
// followed, for a shell, by one indented line per sub-plug-in.
#include "client/LibraryFiles.h"
#include "client/PlatformRouter.h"
#include "client/ScanClient.h"

#include <cstdio>
#include <memory>
#include <string>

namespace {

#ifdef _WIN32
const std::string kSeparator = "\\";
#else
const std::string kSeparator = "/";
#endif

/// The server that loads libraries of the platform ("x64", "x86") in the folder.
std::string ServerIn(const std::string& folder, const std::string& platform)
{
#ifdef _WIN32
    return folder + kSeparator + (platform == kPlatformX86 ? kServerProgramX86 : kServerProgramX64);
#else
    return folder + kSeparator + kServerProgramLinux;
#endif
}

void Print(const SScanOutcome& outcome)
{
    std::printf("%s\t%08X\t%s\t%s\n", OutcomeName(outcome.kind), static_cast<unsigned>(outcome.record.id),
                outcome.record.name.c_str(), outcome.error.c_str());
    for (const SSubPlugin& sub : outcome.record.shells)
        std::printf("\tshell\t%08X\t%s\n", static_cast<unsigned>(sub.id), sub.name.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: cpp-host SERVER_FOLDER PLUGIN...\n");
        return 2;
    }
    const std::string folder = argv[1];
    CPlatformRouter router(CheckLibraryFile, [&folder](const std::string& platform) {
        SScanClientOptions options;
        options.platform = platform;
        options.serverPath = ServerIn(folder, platform);
        options.silenceTimeoutMs = 10000;
        return std::make_unique<CScanClient>(options);
    });
    for (int index = 2; index < argc; ++index)
        Print(router.Scan(argv[index], SScanObserver()));
    return 0;
}
