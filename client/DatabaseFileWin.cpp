#include "client/DatabaseFile.h"

#include "client/WideTextWin.h"
#include "foundation/Win32.h"

#include <cstdio>

std::string DefaultDatabasePath()
{
    wchar_t folder[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH);
    const std::string base = length > 0 && length < MAX_PATH ? Utf8FromWide(std::wstring(folder, length))
                                                             : ProgramFolder();
    return base + "\\Tessivane\\PluginScanner\\plugins.json";
}

std::string UtcNow()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    return text;
}

bool ReadDatabaseFile(const std::string& path, CScanDatabase& database, std::string& error,
                      std::vector<std::string>& rejected)
{
    HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND)
            return true;
        error = "cannot open the database " + path + ": " + SystemErrorText(code);
        return false;
    }
    DWORD code = ERROR_SUCCESS; // the error that stopped the reading, if one did
    const auto readPiece = [file, &code](std::string& piece) {
        piece.resize(kDatabaseReadPieceBytes);
        DWORD count = 0;
        if (code == ERROR_SUCCESS && ReadFile(file, &piece[0], static_cast<DWORD>(piece.size()), &count, nullptr) == 0)
            code = GetLastError();
        piece.resize(code == ERROR_SUCCESS ? count : 0);
        return !piece.empty();
    };
    std::string problem;
    const bool parsed = database.ReadJson(readPiece, problem, rejected);
    CloseHandle(file);
    if (code != ERROR_SUCCESS) {
        error = "cannot read the database " + path + ": " + SystemErrorText(code);
        return false;
    }
    if (!parsed) {
        error = "the database " + path + " cannot be used (" + problem + "); move it away or name another with --db";
        return false;
    }
    return true;
}

bool WriteFileAtomically(const std::string& path, const CTextPieces& text, std::string& error)
{
    const std::wstring target = WideFromUtf8(path);
    const std::wstring temporary = target + L".tmp";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = "cannot write " + Utf8FromWide(temporary) + ": " + SystemErrorText(GetLastError());
        return false;
    }
    const auto writePiece = [file](const std::string& piece) {
        DWORD written = 0;
        return WriteFile(file, piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr) != 0 &&
               written == piece.size();
    };
    const bool ok = text(writePiece) && FlushFileBuffers(file) != 0;
    const DWORD code = GetLastError();
    CloseHandle(file);
    if (!ok) {
        DeleteFileW(temporary.c_str());
        error = "cannot write " + Utf8FromWide(temporary) + ": " + SystemErrorText(code);
        return false;
    }
    if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = "cannot replace " + path + ": " + SystemErrorText(GetLastError());
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

bool CreateFolders(const std::string& folder, std::string& error)
{
    // Each prefix in turn; a prefix that cannot be created (a drive, a share,
    // a folder that exists) is fine as long as the whole path ends up a folder.
    const std::wstring path = WideFromUtf8(folder);
    DWORD lastError = 0;
    for (std::size_t end = path.find_first_of(L"\\/", 1);; end = path.find_first_of(L"\\/", end + 1)) {
        const std::wstring part = path.substr(0, end);
        if (!part.empty() && part.back() != L':' && !CreateDirectoryW(part.c_str(), nullptr))
            lastError = GetLastError();
        if (end == std::wstring::npos)
            break;
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error = "cannot create the folder " + folder + ": " + SystemErrorText(lastError);
        return false;
    }
    return true;
}

CDatabaseLock::~CDatabaseLock()
{
    if (m_file != kNoFile)
        CloseHandle(reinterpret_cast<HANDLE>(m_file));
}

bool CDatabaseLock::Acquire(const std::string& databasePath, std::string& error)
{
    HANDLE file = CreateFileW(WideFromUtf8(databasePath + ".lock").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        error = code == ERROR_SHARING_VIOLATION
                    ? "the database " + databasePath + " is in use by another scan"
                    : "cannot lock the database " + databasePath + ": " + SystemErrorText(code);
        return false;
    }
    m_file = reinterpret_cast<std::intptr_t>(file);
    return true;
}
