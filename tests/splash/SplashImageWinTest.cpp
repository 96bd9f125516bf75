#include "splash/SplashImageWin.h"
#include "tests/splash/GdiplusSessionWin.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr WORD kEmptyPictureId = 201;
constexpr WORD kNotAnImageId = 202;
constexpr WORD kAbsentPictureId = 999;

/// A section's pixels as image rows: Pixel(x, y) with y = 0 the top row.
struct CSectionPixels {
    LONG width = 0;
    LONG height = 0;
    WORD bitsPerPixel = 0;
    std::vector<std::uint32_t> memory;  // rows in memory order

    std::uint32_t Pixel(LONG x, LONG y) const { return memory[static_cast<std::size_t>((height - 1 - y) * width + x)]; }
};

/// Reads a bottom-up 32-bit section; fails the test on any other kind.
CSectionPixels ReadSection(HBITMAP section)
{
    CSectionPixels pixels;
    DIBSECTION description{};
    EXPECT_EQ(GetObjectW(section, sizeof description, &description), static_cast<int>(sizeof description));
    pixels.width = description.dsBm.bmWidth;
    pixels.height = description.dsBm.bmHeight;
    pixels.bitsPerPixel = description.dsBm.bmBitsPixel;
    EXPECT_GT(description.dsBmih.biHeight, 0) << "the section is not bottom-up";
    EXPECT_EQ(description.dsBm.bmWidthBytes, pixels.width * 4);
    if (description.dsBm.bmBits != nullptr && pixels.bitsPerPixel == 32) {
        const auto* words = static_cast<const std::uint32_t*>(description.dsBm.bmBits);
        pixels.memory.assign(words, words + pixels.width * pixels.height);
    }
    return pixels;
}

/// Source pixels in caller-owned memory, rows padded to a stride of 16 bytes
/// and stored top-down or bottom-up; GDI+ wraps them without copying.
class CSourceMemory {
public:
    static constexpr INT kStride = 16;

    CSourceMemory(const std::vector<std::vector<BYTE>>& imageRows, bool bottomUp)
        : m_memory(imageRows.size() * kStride, 0x5A), m_bottomUp(bottomUp)
    {
        for (std::size_t y = 0; y < imageRows.size(); ++y) {
            const std::size_t memoryRow = bottomUp ? imageRows.size() - 1 - y : y;
            std::memcpy(&m_memory[memoryRow * kStride], imageRows[y].data(), imageRows[y].size());
        }
    }

    BYTE* Scan0() { return m_bottomUp ? &m_memory[m_memory.size() - kStride] : m_memory.data(); }
    INT Stride() const { return m_bottomUp ? -kStride : kStride; }

private:
    std::vector<BYTE> m_memory;
    bool m_bottomUp;
};

class BitmapToDibTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_gdiplus.IsRunning()); }

private:
    CGdiplusSession m_gdiplus;
};

struct CFormatCase {
    const char* name;
    Gdiplus::PixelFormat format;
    std::vector<std::vector<BYTE>> imageRows;  // two rows of three pixels
    std::uint32_t expected[2][3];              // [y][x], 0xAARRGGBB
};

std::vector<CFormatCase> HandledFormatCases()
{
    return {
        {"32-bit ARGB",
         PixelFormat32bppARGB,
         {{0x40, 0x80, 0xFF, 0x80, 0, 0, 0, 0, 0x56, 0x34, 0x12, 0xFF},
          {0x04, 0x03, 0x02, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x7F, 0x7F, 0x7F}},
         {{0x80FF8040, 0x00000000, 0xFF123456}, {0x01020304, 0xFFFFFFFF, 0x7F7F7F7F}}},
        {"16-bit RGB555",
         PixelFormat16bppRGB555,
         {{0xFF, 0x7F, 0x00, 0x7C, 0xE0, 0x03}, {0x1F, 0x00, 0x00, 0x80, 0x00, 0x00}},
         {{0xFFF8F8F8, 0xFFF80000, 0xFF00F800}, {0xFF0000F8, 0xFF000000, 0xFF000000}}},
        {"16-bit RGB565",
         PixelFormat16bppRGB565,
         {{0xFF, 0xFF, 0x00, 0xF8, 0xE0, 0x07}, {0x1F, 0x00, 0x00, 0x00, 0x10, 0x84}},
         {{0xFFF8FCF8, 0xFFF80000, 0xFF00FC00}, {0xFF0000F8, 0xFF000000, 0xFF808080}}},
        {"24-bit RGB",
         PixelFormat24bppRGB,
         {{0x10, 0x20, 0x30, 0xFF, 0, 0, 0, 0, 0xFF}, {0, 0, 0, 0xFF, 0xFF, 0xFF, 0x01, 0x02, 0x03}},
         {{0xFF302010, 0xFF0000FF, 0xFFFF0000}, {0xFF000000, 0xFFFFFFFF, 0xFF030201}}},
        {"32-bit RGB",
         PixelFormat32bppRGB,
         {{0x56, 0x34, 0x12, 0x00, 0x01, 0x02, 0x03, 0x7F, 0, 0, 0, 0},
          {0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0xAA}},
         {{0xFF123456, 0xFF030201, 0xFF000000}, {0xFFFFFFFF, 0xFFFF0000, 0xFF00FF00}}},
    };
}

TEST_F(BitmapToDibTest, HandledFormatsComeOutUprightWithEitherStrideSign)
{
    for (const CFormatCase& current : HandledFormatCases()) {
        for (const bool bottomUp : {false, true}) {
            CSourceMemory source(current.imageRows, bottomUp);
            Gdiplus::Bitmap bitmap(3, 2, source.Stride(), current.format, source.Scan0());
            ASSERT_EQ(bitmap.GetLastStatus(), Gdiplus::Ok) << current.name;

            const HBITMAP section = BitmapToDib(bitmap);
            ASSERT_NE(section, nullptr) << current.name;
            const CSectionPixels pixels = ReadSection(section);
            DeleteObject(section);

            ASSERT_EQ(pixels.width, 3) << current.name;
            ASSERT_EQ(pixels.height, 2) << current.name;
            ASSERT_EQ(pixels.bitsPerPixel, 32) << current.name;
            for (LONG y = 0; y < 2; ++y)
                for (LONG x = 0; x < 3; ++x)
                    EXPECT_EQ(pixels.Pixel(x, y), current.expected[y][x])
                        << std::hex << current.name << (bottomUp ? " stored bottom-up" : " stored top-down")
                        << " at " << x << "," << y;
        }
    }
}

TEST_F(BitmapToDibTest, IndexedFormatsTakeTheirColoursAndAlphaFromThePalette)
{
    struct CCase {
        const char* name;
        Gdiplus::PixelFormat format;
        std::vector<std::vector<BYTE>> imageRows;
        std::uint32_t expected[2][3];
    };
    const CCase cases[] = {
        {"1-bit", PixelFormat1bppIndexed, {{0xA0}, {0x40}},
         {{0xFFFF0000, 0x00000000, 0xFFFF0000}, {0x00000000, 0xFFFF0000, 0x00000000}}},
        {"4-bit", PixelFormat4bppIndexed, {{0x12, 0x30}, {0x03, 0x10}},
         {{0xFFFF0000, 0x8000FF00, 0xFF0000FF}, {0x00000000, 0xFF0000FF, 0xFFFF0000}}},
        {"8-bit", PixelFormat8bppIndexed, {{1, 2, 3}, {0, 3, 1}},
         {{0xFFFF0000, 0x8000FF00, 0xFF0000FF}, {0x00000000, 0xFF0000FF, 0xFFFF0000}}},
    };
    // A palette of four entries: the header's count, then the colours.
    struct {
        UINT flags;
        UINT count;
        Gdiplus::ARGB entries[4];
    } palette = {Gdiplus::PaletteFlagsHasAlpha, 4, {0x00000000, 0xFFFF0000, 0x8000FF00, 0xFF0000FF}};

    for (const CCase& current : cases) {
        CSourceMemory source(current.imageRows, false);
        Gdiplus::Bitmap bitmap(3, 2, source.Stride(), current.format, source.Scan0());
        ASSERT_EQ(bitmap.GetLastStatus(), Gdiplus::Ok) << current.name;
        ASSERT_EQ(bitmap.SetPalette(reinterpret_cast<Gdiplus::ColorPalette*>(&palette)), Gdiplus::Ok) << current.name;

        const HBITMAP section = BitmapToDib(bitmap);
        ASSERT_NE(section, nullptr) << current.name;
        const CSectionPixels pixels = ReadSection(section);
        DeleteObject(section);

        ASSERT_EQ(pixels.width, 3) << current.name;
        ASSERT_EQ(pixels.height, 2) << current.name;
        for (LONG y = 0; y < 2; ++y)
            for (LONG x = 0; x < 3; ++x)
                EXPECT_EQ(pixels.Pixel(x, y), current.expected[y][x])
                    << std::hex << current.name << " at " << x << "," << y;
    }
}

TEST_F(BitmapToDibTest, UnhandledFormatsGiveATransparentSectionOfTheRightSize)
{
    struct CCase {
        const char* name;
        Gdiplus::PixelFormat format;
    };
    const CCase cases[] = {
        {"32-bit PARGB", PixelFormat32bppPARGB}, {"16-bit ARGB1555", PixelFormat16bppARGB1555},
        {"16-bit grey", PixelFormat16bppGrayScale}, {"48-bit RGB", PixelFormat48bppRGB},
        {"64-bit ARGB", PixelFormat64bppARGB},     {"64-bit PARGB", PixelFormat64bppPARGB},
    };
    for (const CCase& current : cases) {
        // Every source byte is 0x5A: any pixel that was read would show.
        CSourceMemory source({{}, {}, {}}, false);
        Gdiplus::Bitmap bitmap(3, 3, source.Stride(), current.format, source.Scan0());
        ASSERT_EQ(bitmap.GetLastStatus(), Gdiplus::Ok) << current.name;

        const HBITMAP section = BitmapToDib(bitmap);
        ASSERT_NE(section, nullptr) << current.name;
        const CSectionPixels pixels = ReadSection(section);
        DeleteObject(section);

        EXPECT_EQ(pixels.width, 3) << current.name;
        EXPECT_EQ(pixels.height, 3) << current.name;
        EXPECT_EQ(pixels.bitsPerPixel, 32) << current.name;
        EXPECT_EQ(pixels.memory, std::vector<std::uint32_t>(9, 0)) << current.name;
    }
}

TEST_F(BitmapToDibTest, ASourceThatCannotBeLockedGivesNullAndRecordsWhy)
{
    Gdiplus::Bitmap bitmap(4, 4, PixelFormat32bppARGB);
    Gdiplus::Rect area(0, 0, 4, 4);
    Gdiplus::BitmapData locked{};
    ASSERT_EQ(bitmap.LockBits(&area, Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB, &locked), Gdiplus::Ok);

    EXPECT_EQ(BitmapToDib(bitmap), nullptr);
    EXPECT_NE(bitmap.GetLastStatus(), Gdiplus::Ok);

    bitmap.UnlockBits(&locked);
}

/// The shipped picture decoded on its own, pixel by pixel through GDI+'s
/// GetPixel, as straight 0xAARRGGBB words of image rows top-down.
std::vector<std::uint32_t> ShippedPictureByGetPixel(UINT& width, UINT& height)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW(kSplashImageId), L"PNG");
    const DWORD size = SizeofResource(instance, resource);
    const void* bytes = LockResource(LoadResource(instance, resource));
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    std::memcpy(GlobalLock(block), bytes, size);
    GlobalUnlock(block);
    IStream* stream = nullptr;
    EXPECT_EQ(CreateStreamOnHGlobal(block, TRUE, &stream), S_OK);

    std::vector<std::uint32_t> pixels;
    {
        Gdiplus::Bitmap bitmap(stream);
        width = bitmap.GetWidth();
        height = bitmap.GetHeight();
        EXPECT_EQ(bitmap.GetPixelFormat(), PixelFormat32bppARGB) << "the shipped picture must stay RGBA";
        for (UINT y = 0; y < height; ++y) {
            for (UINT x = 0; x < width; ++x) {
                Gdiplus::Color colour;
                bitmap.GetPixel(static_cast<INT>(x), static_cast<INT>(y), &colour);
                pixels.push_back(colour.GetValue());
            }
        }
    }
    stream->Release();
    return pixels;
}

std::uint32_t Premultiplied(std::uint32_t pixel)
{
    const std::uint32_t alpha = pixel >> 24;
    const auto scale = [&](int shift) { return (((pixel >> shift) & 0xFF) * alpha / 255) << shift; };
    return (pixel & 0xFF000000u) | scale(16) | scale(8) | scale(0);
}

class LoadSplashBitmapTest : public BitmapToDibTest {};

TEST_F(LoadSplashBitmapTest, TheShippedPictureIsAPremultipliedBottomUp120By120Section)
{
    const HBITMAP section = LoadSplashBitmap(GetModuleHandleW(nullptr));
    ASSERT_NE(section, nullptr);
    const CSectionPixels pixels = ReadSection(section);
    DeleteObject(section);
    ASSERT_EQ(pixels.width, 120);
    ASSERT_EQ(pixels.height, 120);
    ASSERT_EQ(pixels.bitsPerPixel, 32);

    UINT width = 0;
    UINT height = 0;
    const std::vector<std::uint32_t> straight = ShippedPictureByGetPixel(width, height);
    ASSERT_EQ(width, 120u);
    ASSERT_EQ(height, 120u);

    int translucent = 0;
    int opaque = 0;
    for (LONG y = 0; y < 120; ++y) {
        for (LONG x = 0; x < 120; ++x) {
            const std::uint32_t source = straight[static_cast<std::size_t>(y * 120 + x)];
            ASSERT_EQ(pixels.Pixel(x, y), Premultiplied(source)) << std::hex << "image pixel " << std::dec << x << ","
                                                                << y << " (memory row " << 119 - y << ")";
            const std::uint32_t alpha = source >> 24;
            translucent += alpha > 0 && alpha < 255 && (source & 0xFFFFFF) != 0 ? 1 : 0;
            opaque += alpha == 255 ? 1 : 0;
        }
    }
    EXPECT_GT(translucent, 100) << "the comparison did not exercise premultiplication";
    EXPECT_GT(opaque, 1000);
    // The art's corners are transparent and the centre of the middle bar is white.
    EXPECT_EQ(pixels.Pixel(0, 0), 0u);
    EXPECT_EQ(pixels.Pixel(119, 119), 0u);
    EXPECT_EQ(pixels.Pixel(60, 42), 0xFFFFFFFFu);
    // Image row y is memory row 119 - y: the dark pill under the text (image
    // row 99) is in memory row 20, and image row 20 is clear at the left.
    const auto memoryPixel = [&](int x, int memoryRow) { return pixels.memory[static_cast<std::size_t>(memoryRow * 120 + x)]; };
    EXPECT_EQ(memoryPixel(10, 20) >> 24, 0xE0u) << std::hex << memoryPixel(10, 20);
    EXPECT_EQ(memoryPixel(10, 99), 0u) << std::hex << memoryPixel(10, 99);
}

TEST_F(LoadSplashBitmapTest, MissingEmptyOrUndecodablePicturesGiveNull)
{
    struct CCase {
        const char* name;
        HINSTANCE instance;
        WORD resourceId;
    };
    const CCase cases[] = {
        {"no such resource", GetModuleHandleW(nullptr), kAbsentPictureId},
        {"a module without pictures", GetModuleHandleW(L"kernel32.dll"), kSplashImageId},
        {"an empty resource", GetModuleHandleW(nullptr), kEmptyPictureId},
        {"bytes that are not an image", GetModuleHandleW(nullptr), kNotAnImageId},
    };
    for (const CCase& current : cases) {
        ASSERT_NE(current.instance, nullptr) << current.name;
        const HBITMAP section = LoadSplashBitmap(current.instance, current.resourceId);
        EXPECT_EQ(section, nullptr) << current.name;
        if (section != nullptr)
            DeleteObject(section);
    }
    // The failure resources are really there: their failure is the decoder's.
    EXPECT_NE(FindResourceW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kEmptyPictureId), L"PNG"), nullptr);
    EXPECT_NE(FindResourceW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kNotAnImageId), L"PNG"), nullptr);
}

} // namespace
