#include "scan/ScanRequest.h"

#include "scan/EffectProbe.h"
#include "scan/RecordJson.h"
#include "scan/ScanState.h"
#include "server/CommandLine.h"
#include "server/OutputChannel.h"
#include "server/ServerState.h"

namespace {

IScanPlatform* g_scanPlatform = nullptr;

const char16_t* TextOrEmpty(const CString& text) { return text.GetText() != nullptr ? text.GetText() : u""; }

/// Loads the library the request names, or reuses the cached one. Null when the
/// load failed (record.error says why).
void* AcquireLibrary(IScanPlatform& platform, const CString& path, CPluginInfo& record, bool& reused)
{
    reused = path == g_cachedLibraryPath;
    if (reused) {
        LogInfo(u"Re-using previous library instance...\n");
        return g_cachedLibrary;
    }
    ReleaseLibraryCache();
    LogInfo(u"Loading library...\n");
    uint32_t errorCode = 0;
    void* module = platform.OpenLibrary(path, errorCode);
    if (module == nullptr)
        record.error = CString::Format(u"Failed to load library, err=%i", static_cast<int>(errorCode));
    return module;
}

/// A shell stays loaded for the requests of its sub-plug-ins; anything else is freed.
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

} // namespace

void SetScanPlatform(IScanPlatform* platform) { g_scanPlatform = platform; }

IScanPlatform& GetScanPlatform() { return *g_scanPlatform; }

SScanTarget SplitRequest(const CString& text)
{
    SScanTarget target;
    const char16_t* units = TextOrEmpty(text);
    int length = 0;
    while (units[length] != 0 && units[length] != u'>')
        ++length;
    target.path.Assign(units, length);
    if (units[length] == u'>')
        target.shellId = static_cast<int32_t>(static_cast<uint32_t>(ParseHexArgument(units + length + 1)));
    return target;
}

CString FormatFileVersion(const SFileVersion& version)
{
    uint32_t most = version.productMostSignificant;
    uint32_t least = version.productLeastSignificant;
    if (most == 0 && least == 0) {
        most = version.fileMostSignificant;
        least = version.fileLeastSignificant;
    }
    if (most == 0 && least == 0)
        return CString();
    return CString::Format(u"%i.%i.%i.%i", static_cast<int>(most >> 16), static_cast<int>(most & 0xFFFF),
                           static_cast<int>(least >> 16), static_cast<int>(least & 0xFFFF));
}

CString GetFileVersionText(const CString& path)
{
    SFileVersion version;
    if (!GetScanPlatform().ReadFileVersion(path, version))
        return CString();
    return FormatFileVersion(version);
}

bool ScanPlugin(const CString& text, CPluginInfo& record)
{
    IScanPlatform& platform = GetScanPlatform();
    LogInfo(u"Scanning plugin: '%s'\n", TextOrEmpty(text));
    const SScanTarget target = SplitRequest(text);
    platform.InstallCrashFilter();

    bool reused = false;
    void* module = AcquireLibrary(platform, target.path, record, reused);
    if (module == nullptr)
        return false;

    const CString fileVersion = GetFileVersionText(target.path);
    platform.InstallCrashFilter();
    platform.ActivateSplash();
    platform.PumpMessages();

    g_currentShellId = target.shellId;
    const bool probed = ProbeEffect(module, record);
    g_currentShellId = 0;

    // A version the plug-in reports wins over the file's.
    if (record.version.IsEmpty())
        record.version = fileVersion;
    platform.PumpMessages();
    KeepOrFreeLibrary(platform, module, target.path, record, reused);
    LogInfo(u"Finished\n");
    return probed;
}

void ScanRequest(const CString& text)
{
    CPluginInfo record;
    if (!ScanPlugin(text, record))
        LogError(u"%s\n", TextOrEmpty(record.error));
    WriteRecordJson(record);
}

void RejectOversizedRequest()
{
    CPluginInfo record;
    record.error.Assign(u"Request too long, ignoring");
    LogError(u"%s\n", record.error.GetText());
    WriteRecordJson(record);
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
