// The scan client's Windows adapter: real server processes, dump folders,
// window titles and the steady clock.
#include "client/ScanClient.h"

#include "client/DatabaseFile.h"
#include "client/LibraryFiles.h"
#include "client/ServerWindows.h"
#include "client/WideTextWin.h"
#include "foundation/Win32.h"
#include "wire/Protocol.h"

#include <atomic>
#include <chrono>

namespace {

/// Numbers the servers of this host process, for their dump folders.
std::atomic<unsigned> g_serverSerial{0};

class CWinScanClientSystem : public IScanClientSystem {
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
        const std::string prefix = root + "\\" + std::to_string(GetCurrentProcessId()) + "-";
        for (;;) {
            folder = prefix + std::to_string(++g_serverSerial);
            if (CreateDirectoryW(WideFromUtf8(folder).c_str(), nullptr))
                return true;
            const DWORD code = GetLastError();
            if (code != ERROR_ALREADY_EXISTS) {
                error = "cannot create the dump folder " + folder + ": " + SystemErrorText(code);
                folder.clear();
                return false;
            }
        }
    }

    std::string NewestDump(const std::string& folderText) override
    {
        const std::wstring folder = WideFromUtf8(folderText);
        // The folder is one server's own, of either platform: "ScanServer-x86-..." too.
        const std::string pattern = std::string(kDumpBaseName) + "-*" + kDumpExtension;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((folder + L"\\" + WideFromUtf8(pattern)).c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return std::string();
        std::wstring newest;
        FILETIME newestTime = {};
        do {
            if (newest.empty() || CompareFileTime(&found.ftLastWriteTime, &newestTime) > 0 ||
                (CompareFileTime(&found.ftLastWriteTime, &newestTime) == 0 && newest < found.cFileName)) {
                newest = found.cFileName;
                newestTime = found.ftLastWriteTime;
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
        return Utf8FromWide(folder + L"\\" + newest);
    }

    void RemoveEmptyFolder(const std::string& folder) override { RemoveDirectoryW(WideFromUtf8(folder).c_str()); }

    std::vector<std::string> WindowTitles(uint32_t processId) override { return VisibleWindowTitles(processId); }

    uint64_t NowMs() override
    {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    }
};

} // namespace

CScanClient::CScanClient(SScanClientOptions options)
    : CScanClient(std::move(options), std::make_unique<CServerConnection>(), std::make_unique<CWinScanClientSystem>())
{
}
