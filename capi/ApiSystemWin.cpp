// The C library's system calls on Windows: the DLL finds its own file from the
// address of one of its functions.
#include "capi/ApiSystem.h"

#include "client/WideTextWin.h"
#include "foundation/Win32.h"
#include "tessivane/scan.h"
#include "wire/Protocol.h"

#include <cstdio>

namespace {

/// The longest path a Windows file name can have, in UTF-16 units.
constexpr DWORD kLongestPath = 32768;

/// The folder holding our own code (the DLL, or a program that links the
/// library statically), with its trailing "\\"; empty when unknown.
std::string OwnFolder()
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&tvs_version), &module))
        return std::string();
    std::wstring file(kLongestPath, L'\0');
    const DWORD length = GetModuleFileNameW(module, &file[0], kLongestPath);
    if (length == 0 || length >= kLongestPath)
        return std::string();
    file.resize(length);
    return Utf8FromWide(file.substr(0, file.find_last_of(L"\\/") + 1));
}

} // namespace

std::string InstalledServer(const std::string& platform)
{
    if (platform == kPlatformX86)
        return OwnFolder() + kServerProgramX86;
    return OwnFolder() + kServerProgramX64;
}

SFileStamp FileStampOf(const std::string& path)
{
    SFileStamp stamp;
    WIN32_FILE_ATTRIBUTE_DATA details = {};
    if (!GetFileAttributesExW(WideFromUtf8(path).c_str(), GetFileExInfoStandard, &details))
        return stamp;
    stamp.size = (static_cast<uint64_t>(details.nFileSizeHigh) << 32) | details.nFileSizeLow;
    stamp.modified = (static_cast<uint64_t>(details.ftLastWriteTime.dwHighDateTime) << 32) |
                     details.ftLastWriteTime.dwLowDateTime;
    return stamp;
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
