#pragma once
/// The scan's view of Linux: libraries are shared objects opened with dlopen;
/// there are no resources, no file version and no window.

#include "scan/ScanPlatform.h"

class CPosixScanPlatform : public IScanPlatform {
public:
    void* OpenLibrary(const CString& path, CString& error) override;
    void CloseLibrary(void* module) override;
    void* FindExport(void* module, const char* name) override;
    bool HasResource(void* module, int id, const char16_t* type) override;
    bool ReadFileVersion(const CString& path, SFileVersion& version) override;
    void InstallCrashFilter() override;
    void ActivateSplash() override;
    void PumpMessages() override;
};
