#pragma once
/// The library kept loaded between requests.
///
/// A shell library stays loaded after a request whose record lists sub-plug-ins,
/// so that the requests for those sub-plug-ins reuse it; it is freed when
/// another library is requested and at shutdown. At most one library is cached.

#include "foundation/String.h"
#include "scan/PluginInfo.h"
#include "scan/ScanPlatform.h"

extern void* g_cachedLibrary;       ///< library kept loaded between requests, or null
extern CString g_cachedLibraryPath; ///< its path; empty when nothing is cached

/// Loads the library at path, or reuses the cached one (reused tells which).
/// Null when the load failed; record.error says why.
void* AcquireLibrary(IScanPlatform& platform, const CString& path, CPluginInfo& record, bool& reused);

/// Caches a shell (a record with sub-plug-ins, or a library that was reused)
/// for the next request; frees anything else.
void KeepOrFreeLibrary(IScanPlatform& platform, void* module, const CString& path, const CPluginInfo& record,
                       bool reused);

/// Frees the cached library, if any (before another library and at shutdown).
void ReleaseLibraryCache();
