#include "client/LibraryFiles.h"

#include "client/WideTextWin.h"
#include "foundation/Win32.h"

#include <algorithm>
#include <set>
#include <tuple>

namespace {

/// A file's identity on its volume: the same for every name that leads to it.
using CFileIdentity = std::tuple<DWORD, DWORD, DWORD>;

struct SOpenedInfo {
    CFileIdentity identity;
    SFileStamp stamp;
    bool isFolder = false;
};

/// Opens the file or folder without reading it and takes its identity and stamp.
bool InspectPath(const std::wstring& path, SOpenedInfo& info, DWORD& error)
{
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    BY_HANDLE_FILE_INFORMATION details = {};
    const bool ok = GetFileInformationByHandle(file, &details) != 0;
    error = ok ? 0 : GetLastError();
    CloseHandle(file);
    if (!ok)
        return false;
    info.identity = CFileIdentity(details.dwVolumeSerialNumber, details.nFileIndexHigh, details.nFileIndexLow);
    info.stamp.size = (static_cast<uint64_t>(details.nFileSizeHigh) << 32) | details.nFileSizeLow;
    info.stamp.modified = (static_cast<uint64_t>(details.ftLastWriteTime.dwHighDateTime) << 32) |
                          details.ftLastWriteTime.dwLowDateTime;
    info.isFolder = (details.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}

bool HasLibraryExtension(const std::wstring& name)
{
    return name.size() > 4 && CompareStringOrdinal(name.c_str() + name.size() - 4, 4, L".dll", 4, TRUE) == CSTR_EQUAL;
}

bool LessWithoutCase(const std::wstring& a, const std::wstring& b)
{
    const int order =
        CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE);
    if (order != CSTR_EQUAL)
        return order == CSTR_LESS_THAN;
    return a < b;
}

std::wstring WithoutTrailingSeparators(std::wstring path)
{
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    return path;
}

class CWalk {
public:
    void AddPath(const std::string& given)
    {
        const std::wstring path = WithoutTrailingSeparators(WideFromUtf8(FullPath(given)));
        SOpenedInfo info;
        DWORD error = 0;
        if (!InspectPath(path, info, error)) {
            Problem(path, error);
            return;
        }
        if (info.isFolder)
            WalkFolder(path, info.identity);
        else
            AddFile(path, info);
    }

    SFoundLibraries found;

private:
    void Problem(const std::wstring& path, DWORD error)
    {
        const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        found.problems.push_back(SPathProblem{Utf8FromWide(path), missing ? "not found" : SystemErrorText(error)});
    }

    void AddFile(const std::wstring& path, const SOpenedInfo& info)
    {
        if (!m_seenFiles.insert(info.identity).second)
            return;
        found.files.push_back(SLibraryFile{Utf8FromWide(path), info.stamp});
    }

    void WalkFolder(const std::wstring& folder, const CFileIdentity& identity)
    {
        if (!m_seenFolders.insert(identity).second)
            return;
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW data;
        const std::wstring prefix = folder.back() == L'\\' ? folder : folder + L"\\";
        HANDLE search = FindFirstFileExW((prefix + L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                         nullptr, 0);
        if (search == INVALID_HANDLE_VALUE)
            return;
        do {
            const std::wstring name = data.cFileName;
            if (name != L"." && name != L"..")
                names.push_back(name);
        } while (FindNextFileW(search, &data));
        FindClose(search);
        std::sort(names.begin(), names.end(), LessWithoutCase);
        // The folder's own libraries first, then its subfolders: a library is
        // listed under its nearest name when a link elsewhere leads to it too.
        std::vector<std::pair<std::wstring, SOpenedInfo>> folders;
        for (const std::wstring& name : names) {
            const std::wstring path = prefix + name;
            SOpenedInfo info;
            DWORD error = 0;
            if (!InspectPath(path, info, error)) {
                if (HasLibraryExtension(name))
                    Problem(path, error);
            } else if (info.isFolder) {
                folders.emplace_back(path, info);
            } else if (HasLibraryExtension(name)) {
                AddFile(path, info);
            }
        }
        for (const auto& subfolder : folders)
            WalkFolder(subfolder.first, subfolder.second.identity);
    }

    std::set<CFileIdentity> m_seenFiles;
    std::set<CFileIdentity> m_seenFolders;
};

} // namespace

SFoundLibraries FindLibraryFiles(const std::vector<std::string>& paths)
{
    CWalk walk;
    for (const std::string& path : paths)
        walk.AddPath(path);
    return walk.found;
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
    std::vector<uint8_t> bytes(64);
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
        if (filled == wanted && wanted == 64) {
            wanted = PeBytesNeeded(bytes.data(), filled);
            bytes.resize(std::max<std::size_t>(wanted, 64));
        }
    }
    CloseHandle(file);
    if (!ok)
        return false;
    check = CheckPeHeader(bytes.data(), filled);
    return true;
}
