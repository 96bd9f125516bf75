// The bulk that makes HeavyEffect.dll a real-sized plug-in: PlainEffect's
// behaviour (the fixture row) in a library of several megabytes that imports the
// system libraries audio plug-ins commonly use (registry, COM, common dialogs,
// multimedia timers, sockets for licence checks). None of it runs during a scan;
// it only makes loading and freeing the library cost what it costs for a
// typical commercial plug-in.

#include "foundation/Win32.h"

#include <commctrl.h>
#include <commdlg.h>
#include <mmsystem.h>
#include <oleauto.h>
#include <shlobj.h>
#include <winsock2.h>

#include <cstddef>

namespace {

/// The size of a typical plug-in's tables, resources and code.
constexpr std::size_t kPayloadBytes = 8u << 20;

} // namespace

/// Read-only tables as a plug-in carries them (wavetables, presets, bitmaps).
extern const unsigned char g_heavyPayload[kPayloadBytes] = {1};

/// The imported functions, referenced so that the linker keeps every import.
extern "C" const void* HeavyEffectLinks(int index)
{
    static const void* const kLinks[] = {
        reinterpret_cast<const void*>(&RegOpenKeyExW),    reinterpret_cast<const void*>(&CoInitializeEx),
        reinterpret_cast<const void*>(&SysAllocString),   reinterpret_cast<const void*>(&GetOpenFileNameW),
        reinterpret_cast<const void*>(&timeGetTime),      reinterpret_cast<const void*>(&WSAStartup),
        reinterpret_cast<const void*>(&SHGetFolderPathW), reinterpret_cast<const void*>(&InitCommonControlsEx),
        reinterpret_cast<const void*>(&CreateFontW),      reinterpret_cast<const void*>(&CreateWindowExW),
        g_heavyPayload,
    };
    return kLinks[static_cast<std::size_t>(index) % (sizeof kLinks / sizeof kLinks[0])];
}
