#include "e2e/ServerHarness.h"

#include "client/WideTextWin.h"

std::string BinaryFolder()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return Utf8FromWide(folder.substr(0, folder.find_last_of(L"\\/") + 1));
}

std::string ServerPath() { return BinaryFolder() + "ScanServer-x64.exe"; }

std::string MakeTemporaryFolder(const std::string& prefix)
{
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        const std::wstring folder = std::wstring(base) + WideFromUtf8(prefix) + L"-" +
                                    std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
        if (CreateDirectoryW(folder.c_str(), nullptr))
            return Utf8FromWide(folder);
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return std::string();
    }
}

std::vector<std::string> ListFiles(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((WideFromUtf8(folder) + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(Utf8FromWide(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

void StartServer(CServerConnection& server, SServerOptions options)
{
    if (options.serverPath.empty())
        options.serverPath = ServerPath();
    ASSERT_TRUE(server.Start(options)) << server.GetError();
    std::vector<std::string> banner;
    ASSERT_EQ(EWaitResult::Ready, server.ReadUntilReady(&banner));
    ASSERT_EQ(std::vector<std::string>{"info:Tessivane Plugin Scan Server (x64)"}, banner);
}

std::vector<std::string> Exchange(CServerConnection& server, const std::string& request)
{
    std::vector<std::string> lines;
    EXPECT_TRUE(server.SendRequest(request));
    EXPECT_EQ(EWaitResult::Ready, server.ReadUntilReady(&lines)) << "request: " << request;
    return lines;
}

uint32_t CloseAndWait(CServerConnection& server)
{
    server.CloseInput();
    uint32_t exitCode = 0xFFFFFFFF;
    EXPECT_TRUE(server.WaitForExit(30000, exitCode)) << "the server did not exit after its input closed";
    return exitCode;
}
