// The bulk that makes HeavyEffect.so a real-sized Linux plug-in: PlainEffect's
// behaviour (the fixture row) in a library of several megabytes that links the
// system libraries Linux plug-ins commonly use (X11 and its extensions for the
// editor window, OpenGL or fonts for drawing it). None of it runs during a
// scan; it only makes loading and unloading the library cost what it costs for
// a typical plug-in.

#include <GL/gl.h>
#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstddef>

namespace {

/// The size of a typical plug-in's tables, resources and code.
constexpr std::size_t kPayloadBytes = 8u << 20;

} // namespace

/// Read-only tables as a plug-in carries them (wavetables, presets, bitmaps).
extern const unsigned char g_heavyPayload[kPayloadBytes] = {1};

/// The linked functions, referenced so that the linker keeps every library.
extern "C" const void* HeavyEffectLinks(int index)
{
    static const void* const kLinks[] = {
        reinterpret_cast<const void*>(&XOpenDisplay), reinterpret_cast<const void*>(&XShmQueryExtension),
        reinterpret_cast<const void*>(&glGetString),  reinterpret_cast<const void*>(&FcInit),
        reinterpret_cast<const void*>(&FT_Init_FreeType), g_heavyPayload,
    };
    return kLinks[static_cast<std::size_t>(index) % (sizeof kLinks / sizeof kLinks[0])];
}
