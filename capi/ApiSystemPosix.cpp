// The C library's system calls on Linux: dladdr names the file that holds our
// code (the .so, or a program that links the library statically).
#include "capi/ApiSystem.h"

#include "tessivane/scan.h"
#include "wire/Protocol.h"

#include <ctime>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/// The folder holding our own code, with its trailing "/"; empty when unknown.
std::string OwnFolder()
{
    Dl_info info = {};
    if (dladdr(reinterpret_cast<void*>(&tvs_version), &info) == 0 || info.dli_fname == nullptr)
        return std::string();
    const std::string file = info.dli_fname;
    const std::size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string("./") : file.substr(0, slash + 1);
}

/// The installed place below lib/, then the build tree's bin/ where the .so lies beside the server.
constexpr const char* kInstalledServerFolder = "tessivane-scan/";

} // namespace

std::string InstalledServer(const std::string& platform)
{
    if (platform != kPlatformX64)
        return std::string();
    const std::string folder = OwnFolder();
    const std::string installed = folder + kInstalledServerFolder + kServerProgramLinux;
    const std::string beside = folder + kServerProgramLinux;
    return access(installed.c_str(), X_OK) != 0 && access(beside.c_str(), X_OK) == 0 ? beside : installed;
}

SFileStamp FileStampOf(const std::string& path)
{
    SFileStamp stamp;
    struct stat details = {};
    if (stat(path.c_str(), &details) != 0)
        return stamp;
    stamp.size = static_cast<uint64_t>(details.st_size);
    stamp.modified = static_cast<uint64_t>(details.st_mtim.tv_sec) * 1000000000u +
                     static_cast<uint64_t>(details.st_mtim.tv_nsec);
    return stamp;
}

std::string UtcNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts = {};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}
