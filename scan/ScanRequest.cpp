#include "scan/ScanRequest.h"

#include "crash/CrashReport.h"
#include "process/OutputChannel.h"
#include "scan/EffectProbe.h"
#include "scan/FileVersion.h"
#include "scan/LibraryCache.h"
#include "scan/RecordJson.h"
#include "scan/RequestTarget.h"
#include "scan/ScanState.h"

namespace {

const char16_t* TextOrEmpty(const CString& text) { return text.GetText() != nullptr ? text.GetText() : u""; }

} // namespace

bool ScanPlugin(const CString& text, CPluginInfo& record)
{
    IScanPlatform& platform = GetScanPlatform();
    LogInfo(u"Scanning plugin: '%s'\n", TextOrEmpty(text));
    NoteRequestForCrashReport(text);
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
