#include "scan/ScanPlatformPosix.h"

#include "crash/CrashFilter.h"

#include <cstring>

#include <dlfcn.h>

void* CPosixScanPlatform::OpenLibrary(const CString& path, CString& error)
{
    // A request names a file: a bare name is a file in the current folder, never
    // a library of the system's search path (and an empty one is no file; to
    // dlopen it would be the server itself).
    CAnsiString file = CAnsiString::ToUtf8(path);
    if (file.GetText() == nullptr || std::strchr(file.GetText(), '/') == nullptr)
        file.Insert(0, "./");
    // RTLD_LOCAL: a plug-in's symbols never serve the next plug-in's references.
    void* module = dlopen(file.GetText(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* reason = dlerror();
        error.Assign(u"Failed to load library: ");
        error.Append(CString::FromUtf8(reason != nullptr ? reason : "").GetText());
    }
    return module;
}

void CPosixScanPlatform::CloseLibrary(void* module) { dlclose(module); }

void* CPosixScanPlatform::FindExport(void* module, const char* name) { return dlsym(module, name); }

bool CPosixScanPlatform::HasResource(void*, int, const char16_t*) { return false; }

bool CPosixScanPlatform::ReadFileVersion(const CString&, SFileVersion&) { return false; }

void CPosixScanPlatform::InstallCrashFilter() { ::InstallCrashFilter(); }

void CPosixScanPlatform::ActivateSplash() {}

void CPosixScanPlatform::PumpMessages() {}
