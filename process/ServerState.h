#pragma once
/// The server's process-wide state that every room may read. One thread uses
/// it. Handles are kept as plain pointers so that the portable code can name
/// them.
///
/// The rest of the process-wide state lives with the room that owns it: the
/// dump folder, base name and lock (crash/DumpSettings.h, crash/CrashFilter.h),
/// the library cache (scan/LibraryCache.h), g_currentShellId and
/// g_wantMidiCalled (scan/ScanState.h), g_ownerWindow, g_splashWindow and
/// g_splashBitmap (splash/SplashWindow.h).

#include <cstdint>

extern void* g_inputHandle;      ///< where requests are read; null: no requests
extern void* g_outputHandle;     ///< the output channel
extern uintptr_t g_gdiplusToken; ///< for shutting GDI+ down
