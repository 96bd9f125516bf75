#include "scan/LibraryCache.h"

#include "process/OutputChannel.h"

void* g_cachedLibrary = nullptr;
CString g_cachedLibraryPath;

void* AcquireLibrary(IScanPlatform& platform, const CString& path, CPluginInfo& record, bool& reused)
{
    reused = path == g_cachedLibraryPath;
    if (reused) {
        LogInfo(u"Re-using previous library instance...\n");
        return g_cachedLibrary;
    }
    ReleaseLibraryCache();
    LogInfo(u"Loading library...\n");
    return platform.OpenLibrary(path, record.error);
}

void KeepOrFreeLibrary(IScanPlatform& platform, void* module, const CString& path, const CPluginInfo& record,
                       bool reused)
{
    if (record.shells.GetCount() > 0 || reused) {
        LogInfo(u"Keeping shell library loaded for now...\n");
        g_cachedLibrary = module;
        g_cachedLibraryPath = path;
    } else {
        LogInfo(u"Freeing library...\n");
        platform.CloseLibrary(module);
        g_cachedLibrary = nullptr;
        g_cachedLibraryPath = CString();
    }
}

void ReleaseLibraryCache()
{
    if (g_cachedLibrary == nullptr)
        return;
    LogInfo(u"Freeing cached library...\n");
    GetScanPlatform().CloseLibrary(g_cachedLibrary);
    g_cachedLibrary = nullptr;
    g_cachedLibraryPath = CString();
    LogInfo(u"Freed\n");
}
