#pragma once
/// What a scan needs from the operating system: loading libraries and looking
/// into them, re-installing the crash filter around plug-in calls, and keeping
/// the splash window alive between them. Each system's server plugs in its own
/// (Windows, Linux); tests plug in fakes that record what was asked.

#include "foundation/String.h"

#include <cstdint>

/// The two versions of a library's version resource, each as its most and least
/// significant 32-bit halves.
struct SFileVersion {
    uint32_t productMostSignificant = 0;
    uint32_t productLeastSignificant = 0;
    uint32_t fileMostSignificant = 0;
    uint32_t fileLeastSignificant = 0;
};

class IScanPlatform {
public:
    virtual ~IScanPlatform() = default;

    /// Loads the library at path, searching its own folder for its dependencies.
    /// Null on failure, with the record's error in error: what failed and the
    /// system's reason, in the system's own words.
    virtual void* OpenLibrary(const CString& path, CString& error) = 0;
    virtual void CloseLibrary(void* module) = 0;
    /// The address of the export called name, or null.
    virtual void* FindExport(void* module, const char* name) = 0;
    /// Whether module holds a resource of that type with that integer id.
    virtual bool HasResource(void* module, int id, const char16_t* type) = 0;
    /// Reads the fixed file information of path's version resource; false when it
    /// has none, or one too short to hold it, or memory for it ran out.
    virtual bool ReadFileVersion(const CString& path, SFileVersion& version) = 0;

    /// Makes the server's crash filter the process's filter again.
    virtual void InstallCrashFilter() = 0;
    /// Makes the splash window the active window.
    virtual void ActivateSplash() = 0;
    /// Dispatches pending window messages.
    virtual void PumpMessages() = 0;
};

/// The platform every scan uses from now on. Not owned; must outlive the scans.
void SetScanPlatform(IScanPlatform* platform);
IScanPlatform& GetScanPlatform();
