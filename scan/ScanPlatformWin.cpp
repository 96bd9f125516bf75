#include "scan/ScanPlatformWin.h"

#include "crash/CrashFilter.h"
#include "foundation/Win32.h"
#include "process/MessagePump.h"
#include "process/OutputChannel.h"
#include "splash/SplashWindow.h"

#include <memory>
#include <new>

void* CWindowsScanPlatform::OpenLibrary(const CString& path, CString& error)
{
    // The library's own folder is searched for the DLLs it depends on.
    HMODULE module = LoadLibraryExW(AsWide(path.GetText()), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr)
        error = CString::Format(u"Failed to load library, err=%i", static_cast<int>(GetLastError()));
    return module;
}

void CWindowsScanPlatform::CloseLibrary(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }

void* CWindowsScanPlatform::FindExport(void* module, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

bool CWindowsScanPlatform::HasResource(void* module, int id, const char16_t* type)
{
    return FindResourceW(static_cast<HMODULE>(module), MAKEINTRESOURCEW(id), AsWide(type)) != nullptr;
}

bool CWindowsScanPlatform::ReadFileVersion(const CString& path, SFileVersion& version)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(AsWide(path.GetText()), &ignored);
    if (size == 0)
        return false;
    const std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[size]);
    if (!block) {
        LogWarn(u"Out of memory while reading the version resource\n");
        return false;
    }
    if (!GetFileVersionInfoW(AsWide(path.GetText()), 0, size, block.get()))
        return false;
    void* root = nullptr;
    UINT rootSize = 0;
    // A root block shorter than the fixed file information is no usable version.
    if (!VerQueryValueW(block.get(), L"\\", &root, &rootSize) || root == nullptr ||
        rootSize < sizeof(VS_FIXEDFILEINFO))
        return false;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(root);
    version.productMostSignificant = fixed->dwProductVersionMS;
    version.productLeastSignificant = fixed->dwProductVersionLS;
    version.fileMostSignificant = fixed->dwFileVersionMS;
    version.fileLeastSignificant = fixed->dwFileVersionLS;
    return true;
}

void CWindowsScanPlatform::InstallCrashFilter() { ::InstallCrashFilter(); }

void CWindowsScanPlatform::ActivateSplash() { SetActiveWindow(static_cast<HWND>(g_splashWindow)); }

void CWindowsScanPlatform::PumpMessages() { PumpPendingMessages(); }
