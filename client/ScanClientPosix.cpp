// The scan client's POSIX adapter: real server processes, dump folders and the
// steady clock. A Linux server shows no windows of its own to report.
#include "client/ScanClient.h"

#include "client/DatabaseFile.h"
#include "client/LibraryFiles.h"
#include "client/SystemTextPosix.h"
#include "wire/Protocol.h"

#include <atomic>
#include <cerrno>
#include <chrono>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/// Numbers the servers of this host process, for their dump folders.
std::atomic<unsigned> g_serverSerial{0};

class CPosixScanClientSystem : public IScanClientSystem {
public:
    bool CheckLibraryFile(const std::string& path, SPeCheck& check, std::string& error) override
    {
        return ::CheckLibraryFile(path, check, error);
    }

    bool CreateDumpFolder(const std::string& root, std::string& folder, std::string& error) override
    {
        if (!CreateFolders(root, error))
            return false;
        // Process ids come back: the serial keeps a folder from an earlier run out.
        const std::string prefix = root + "/" + std::to_string(getpid()) + "-";
        for (;;) {
            folder = prefix + std::to_string(++g_serverSerial);
            if (mkdir(folder.c_str(), 0755) == 0)
                return true;
            if (errno != EEXIST) {
                error = "cannot create the dump folder " + folder + ": " + SystemErrorText(errno);
                folder.clear();
                return false;
            }
        }
    }

    std::string NewestDump(const std::string& folder) override
    {
        // "ScanServer-linux-x64-YYYY-MM-DD-HH-MM-SS.txt": the newest by its time,
        // then by its name (the name's time is the second of the crash).
        const std::string prefix = std::string(kDumpBaseName) + "-" + kCrashReportSystem + "-" + kServerPlatform + "-";
        const std::string extension = kCrashReportExtension;
        DIR* listing = opendir(folder.c_str());
        if (listing == nullptr)
            return std::string();
        std::string newest;
        struct timespec newestTime = {};
        while (const dirent* entry = readdir(listing)) {
            const std::string name = entry->d_name;
            struct stat details = {};
            if (name.size() < prefix.size() + extension.size() || name.compare(0, prefix.size(), prefix) != 0 ||
                name.compare(name.size() - extension.size(), extension.size(), extension) != 0 ||
                stat((folder + "/" + name).c_str(), &details) != 0)
                continue;
            const struct timespec& time = details.st_mtim;
            const bool later = time.tv_sec != newestTime.tv_sec ? time.tv_sec > newestTime.tv_sec
                                                                : time.tv_nsec > newestTime.tv_nsec;
            const bool same = time.tv_sec == newestTime.tv_sec && time.tv_nsec == newestTime.tv_nsec;
            if (newest.empty() || later || (same && newest < name)) {
                newest = name;
                newestTime = time;
            }
        }
        closedir(listing);
        return newest.empty() ? newest : folder + "/" + newest;
    }

    void RemoveEmptyFolder(const std::string& folder) override { rmdir(folder.c_str()); }

    std::vector<std::string> WindowTitles(uint32_t) override { return {}; }

    uint64_t NowMs() override
    {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    }
};

} // namespace

CScanClient::CScanClient(SScanClientOptions options)
    : CScanClient(std::move(options), std::make_unique<CServerConnection>(), std::make_unique<CPosixScanClientSystem>())
{
}
