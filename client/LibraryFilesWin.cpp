#include "client/LibraryFiles.h"

#include "client/WideTextWin.h"
#include "foundation/Win32.h"

#include <algorithm>

namespace {

class CWinFileTree : public IFileTree {
public:
    std::string FullPath(const std::string& path) override { return ::FullPath(path); }

    bool Inspect(const std::string& path, SPathInfo& info, std::string& error) override
    {
        HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        BY_HANDLE_FILE_INFORMATION details = {};
        const bool ok = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &details) != 0;
        const DWORD code = ok ? 0 : GetLastError();
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        if (!ok) {
            const bool missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
            error = missing ? "not found" : SystemErrorText(code);
            return false;
        }
        info.identity = {details.dwVolumeSerialNumber,
                         (static_cast<uint64_t>(details.nFileIndexHigh) << 32) | details.nFileIndexLow};
        info.stamp.size = (static_cast<uint64_t>(details.nFileSizeHigh) << 32) | details.nFileSizeLow;
        info.stamp.modified = (static_cast<uint64_t>(details.ftLastWriteTime.dwHighDateTime) << 32) |
                              details.ftLastWriteTime.dwLowDateTime;
        info.isFolder = (details.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        return true;
    }

    std::vector<std::string> ListFolder(const std::string& folder) override
    {
        std::vector<std::string> names;
        const std::wstring prefix = WideFromUtf8(folder.back() == '\\' ? folder : folder + "\\");
        WIN32_FIND_DATAW data;
        HANDLE search = FindFirstFileExW((prefix + L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                         nullptr, 0);
        if (search == INVALID_HANDLE_VALUE)
            return names;
        do {
            const std::wstring name = data.cFileName;
            if (name != L"." && name != L"..")
                names.push_back(Utf8FromWide(name));
        } while (FindNextFileW(search, &data));
        FindClose(search);
        return names;
    }

    int CompareWithoutCase(const std::string& a, const std::string& b) override
    {
        const std::wstring wideA = WideFromUtf8(a);
        const std::wstring wideB = WideFromUtf8(b);
        return CompareStringOrdinal(wideA.c_str(), static_cast<int>(wideA.size()), wideB.c_str(),
                                    static_cast<int>(wideB.size()), TRUE) -
               CSTR_EQUAL;
    }
};

} // namespace

SFoundLibraries FindLibraryFiles(const std::vector<std::string>& paths)
{
    CWinFileTree tree;
    return FindLibraryFiles(tree, kWindowsPaths, paths);
}

std::string FullPath(const std::string& path)
{
    const std::wstring wide = WideFromUtf8(path);
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), needed, &full[0], nullptr);
    full.resize(length < needed ? length : 0);
    return full.empty() ? path : Utf8FromWide(full);
}

bool IsFileGone(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool CheckLibraryFile(const std::string& path, SPeCheck& check, std::string& error)
{
    HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = "cannot open the file: " + SystemErrorText(GetLastError());
        return false;
    }
    std::vector<uint8_t> bytes(kDosHeaderSize);
    std::size_t filled = 0;
    bool ok = true;
    for (std::size_t wanted = bytes.size(); ok && filled < wanted;) {
        DWORD count = 0;
        ok = ReadFile(file, bytes.data() + filled, static_cast<DWORD>(wanted - filled), &count, nullptr) != 0;
        if (!ok) {
            error = "cannot read the file: " + SystemErrorText(GetLastError());
            break;
        }
        if (count == 0)
            break;
        filled += count;
        if (filled == wanted && wanted == kDosHeaderSize) {
            wanted = PeBytesNeeded(bytes.data(), filled);
            bytes.resize(std::max<std::size_t>(wanted, kDosHeaderSize));
        }
    }
    CloseHandle(file);
    if (!ok)
        return false;
    check = CheckPeHeader(bytes.data(), filled);
    return true;
}
