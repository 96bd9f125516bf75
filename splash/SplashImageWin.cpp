#include "splash/SplashImageWin.h"

#include "splash/IndexedPalette.h"
#include "splash/PixelFormats.h"
#include "splash/Premultiply.h"
#include "splash/RowConversion.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

static_assert(kPixelFormatIndexedFlag == PixelFormatIndexed, "indexed flag");
static_assert(kPixelFormat1bppIndexed == PixelFormat1bppIndexed, "1-bit indexed");
static_assert(kPixelFormat4bppIndexed == PixelFormat4bppIndexed, "4-bit indexed");
static_assert(kPixelFormat8bppIndexed == PixelFormat8bppIndexed, "8-bit indexed");
static_assert(kPixelFormat16bppRGB555 == PixelFormat16bppRGB555, "RGB555");
static_assert(kPixelFormat16bppRGB565 == PixelFormat16bppRGB565, "RGB565");
static_assert(kPixelFormat24bppRGB == PixelFormat24bppRGB, "24-bit RGB");
static_assert(kPixelFormat32bppRGB == PixelFormat32bppRGB, "32-bit RGB");
static_assert(kPixelFormat32bppARGB == PixelFormat32bppARGB, "32-bit ARGB");
static_assert(sizeof(Gdiplus::ARGB) == sizeof(std::uint32_t), "palette entries are 32-bit words");

namespace {

/// A movable global block holding a copy of the resource's bytes, and a
/// stream that owns the block. Null on any failure, with nothing allocated.
IStream* OpenResourceStream(HINSTANCE instance, WORD resourceId)
{
    const HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW(resourceId), L"PNG");
    if (resource == nullptr)
        return nullptr;
    const HGLOBAL loaded = LoadResource(instance, resource);
    const DWORD size = SizeofResource(instance, resource);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr || size == 0)
        return nullptr;

    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (block == nullptr)
        return nullptr;
    void* copy = GlobalLock(block);
    if (copy == nullptr) {
        GlobalFree(block);
        return nullptr;
    }
    std::memcpy(copy, bytes, size);
    GlobalUnlock(block);

    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream)) || stream == nullptr) {
        GlobalFree(block);
        return nullptr;
    }
    return stream;
}

/// The palette of an indexed bitmap; false when it cannot be read.
bool ReadPalette(Gdiplus::Bitmap& bitmap, CIndexedPalette& palette)
{
    const INT size = bitmap.GetPaletteSize();
    const INT header = static_cast<INT>(offsetof(Gdiplus::ColorPalette, Entries));
    if (size <= header)
        return false;
    // Whole words, so that the palette's header and entries are aligned.
    std::vector<std::uint32_t> buffer((static_cast<std::size_t>(size) + 3) / 4);
    auto* colours = reinterpret_cast<Gdiplus::ColorPalette*>(buffer.data());
    if (bitmap.GetPalette(colours, size) != Gdiplus::Ok)
        return false;
    const std::size_t room = static_cast<std::size_t>(size - header) / sizeof(Gdiplus::ARGB);
    const std::size_t count = colours->Count < room ? colours->Count : room;
    palette.Assign(reinterpret_cast<const std::uint32_t*>(colours->Entries), count);
    return true;
}

HBITMAP CreateBottomUpSection(INT width, INT height, void*& pixels)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
}

/// Applies each pixel's alpha to its colour; a section that cannot be
/// described is left as it is.
void PremultiplySection(HBITMAP section)
{
    DIBSECTION description{};
    if (GetObjectW(section, sizeof description, &description) == 0 || description.dsBm.bmBits == nullptr)
        return;
    if (description.dsBm.bmWidthBytes <= 0 || description.dsBm.bmHeight <= 0)
        return;
    const std::size_t bytes =
        static_cast<std::size_t>(description.dsBm.bmWidthBytes) * static_cast<std::size_t>(description.dsBm.bmHeight);
    PremultiplyPixels(static_cast<std::uint32_t*>(description.dsBm.bmBits), bytes / 4);
}

} // namespace

HBITMAP BitmapToDib(Gdiplus::Bitmap& bitmap)
{
    const Gdiplus::PixelFormat format = bitmap.GetPixelFormat();
    const INT width = static_cast<INT>(bitmap.GetWidth());
    const INT height = static_cast<INT>(bitmap.GetHeight());

    void* pixels = nullptr;
    const HBITMAP section = CreateBottomUpSection(width, height, pixels);
    if (section == nullptr)
        return nullptr;

    CIndexedPalette palette;
    const bool hasPalette = IsIndexedFormat(format) && ReadPalette(bitmap, palette);

    Gdiplus::Rect area(0, 0, width, height);
    Gdiplus::BitmapData locked{};
    if (bitmap.LockBits(&area, Gdiplus::ImageLockModeRead, format, &locked) != Gdiplus::Ok) {
        DeleteObject(section);
        return nullptr;
    }
    CSourceRows rows;
    rows.scan0 = static_cast<const std::uint8_t*>(locked.Scan0);
    rows.stride = locked.Stride;
    rows.pixelFormat = format;
    rows.width = width;
    rows.height = height;
    rows.palette = hasPalette ? &palette : nullptr;
    ConvertRowsBottomUp(rows, static_cast<std::uint8_t*>(pixels));
    bitmap.UnlockBits(&locked);
    return section;
}

HBITMAP LoadSplashBitmap(HINSTANCE instance, WORD resourceId)
{
    IStream* stream = OpenResourceStream(instance, resourceId);
    if (stream == nullptr)
        return nullptr;
    Gdiplus::Bitmap bitmap(stream);
    const HBITMAP section = bitmap.GetLastStatus() == Gdiplus::Ok ? BitmapToDib(bitmap) : nullptr;
    if (section != nullptr)
        PremultiplySection(section);
    // Our reference goes first; GDI+ holds its own until the bitmap is disposed
    // below, and the block goes with the last one.
    stream->Release();
    return section;
}
