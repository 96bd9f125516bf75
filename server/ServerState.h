#pragma once
/// The server's process-wide state. One thread uses it. Handles are kept as
/// plain pointers so that the portable code can name them.
///
/// Declared elsewhere with the code that owns them: g_currentShellId and
/// g_wantMidiCalled (scan/ScanState.h), g_ownerWindow, g_splashWindow and
/// g_splashBitmap (splash/SplashWindow.h), the dump lock (crash/CrashFilter.h).

#include "foundation/String.h"

#include <cstdint>

extern void* g_inputHandle;        ///< where requests are read; null: no requests
extern void* g_outputHandle;       ///< the output channel
extern CString g_dumpFolder;       ///< folder for crash dumps; empty: no dumps
extern CString g_dumpBaseName;     ///< "ScanServer-x64"
extern uintptr_t g_gdiplusToken;   ///< for shutting GDI+ down
extern void* g_cachedLibrary;      ///< library kept loaded between requests, or null
extern CString g_cachedLibraryPath; ///< its path; empty when nothing is cached
