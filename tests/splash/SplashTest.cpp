#include "splash/PixelFormats.h"
#include "splash/PixelReaders.h"
#include "splash/Premultiply.h"
#include "splash/RowConversion.h"
#include "splash/SplashPlacement.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

TEST(Splash, PremultiplyScalesColoursByAlphaTruncatingAndStopsAtTheCount)
{
    std::vector<std::uint32_t> pixels = {0x80FF8040, 0x807F7F7F, 0x01FFFFFF, 0x00123456,
                                         0xFF123456, 0xFE0000FF, 0x80FFFFFF};
    PremultiplyPixels(pixels.data(), pixels.size() - 1);
    EXPECT_EQ(pixels, (std::vector<std::uint32_t>{0x80804020, 0x803F3F3F, 0x01010101, 0, 0xFF123456, 0xFE0000FE,
                                                   0x80FFFFFF}));
}

TEST(Splash, RowsLandBottomUpWithEitherStrideSignAndUnconvertedRowsAreZero)
{
    const std::uint32_t colours[] = {0x00000000, 0xFFFF0000, 0x8000FF00, 0xFF0000FF};
    CIndexedPalette palette;
    palette.Assign(colours, 4);
    const std::vector<std::uint8_t> fill(8, 0xAA);
    // Image rows 0 and 1 of two pixels each, and the pixels expected at [image row][column].
    const struct { std::uint32_t format; const CIndexedPalette* palette; bool converted;
                   std::vector<std::uint8_t> rows[2]; std::uint32_t expected[2][2]; } cases[] = {
        {kPixelFormat32bppARGB, nullptr, true, {{1, 2, 3, 4, 5, 6, 7, 0}, {0x10, 0x20, 0x30, 0x80, 9, 8, 7, 0xFF}},
         {{0x04030201, 0x00070605}, {0x80302010, 0xFF070809}}},
        {kPixelFormat16bppRGB555, nullptr, true, {{0x00, 0x7C, 0xE0, 0x03}, {0xFF, 0x7F, 0xA7, 0x8C}},
         {{0xFFF80000, 0xFF00F800}, {0xFFF8F8F8, 0xFF182838}}},
        {kPixelFormat16bppRGB565, nullptr, true, {{0x00, 0xF8, 0xE0, 0x07}, {0xFF, 0xFF, 0xA7, 0x18}},
         {{0xFFF80000, 0xFF00FC00}, {0xFFF8FCF8, 0xFF181438}}},
        {kPixelFormat24bppRGB, nullptr, true, {{0x10, 0x20, 0x30, 1, 2, 3}, {0xFF, 0, 0, 0, 0, 0xFF}},
         {{0xFF302010, 0xFF030201}, {0xFF0000FF, 0xFFFF0000}}},
        {kPixelFormat32bppRGB, nullptr, true, {{0x56, 0x34, 0x12, 0, 1, 2, 3, 0x7F}, {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0}},
         {{0xFF123456, 0xFF030201}, {0xFF000000, 0xFFFFFFFF}}},
        {kPixelFormat1bppIndexed, &palette, true, {{0x80}, {0x40}}, {{0xFFFF0000, 0}, {0, 0xFFFF0000}}},
        // Index 15 lies beyond the palette's four entries.
        {kPixelFormat4bppIndexed, &palette, true, {{0x23}, {0x3F}}, {{0x8000FF00, 0xFF0000FF}, {0xFF0000FF, 0}}},
        {kPixelFormat8bppIndexed, &palette, true, {{3, 1}, {200, 2}}, {{0xFF0000FF, 0xFFFF0000}, {0, 0x8000FF00}}},
        {kPixelFormat8bppIndexed, nullptr, true, {{1, 1}, {1, 1}}, {}},
        // 32-bit PARGB, 16-bit ARGB1555, 64-bit ARGB and 16-bit indexed rows are not converted.
        {0x000E200B, nullptr, false, {fill, fill}, {}}, {0x00061007, nullptr, false, {fill, fill}, {}},
        {0x0034400D, nullptr, false, {fill, fill}, {}}, {0x00031003, &palette, false, {fill, fill}, {}},
    };
    for (const auto& current : cases) {
        EXPECT_EQ(IsConvertedFormat(current.format), current.converted) << std::hex << current.format;
        for (const bool bottomUp : {false, true}) {
            std::uint8_t memory[2][16];  // rows of at most 8 bytes, then padding that must not be read
            std::memset(memory, 0xCD, sizeof memory);
            std::memcpy(memory[bottomUp ? 1 : 0], current.rows[0].data(), current.rows[0].size());
            std::memcpy(memory[bottomUp ? 0 : 1], current.rows[1].data(), current.rows[1].size());
            const std::ptrdiff_t stride = bottomUp ? -static_cast<std::ptrdiff_t>(sizeof memory[0]) : sizeof memory[0];
            const CSourceRows source{memory[bottomUp ? 1 : 0], stride, current.format, 2, 2, current.palette};
            std::uint32_t destination[2][2];  // [memory row][column], bytes blue, green, red, alpha
            std::memset(destination, 0xCD, sizeof destination);
            ConvertRowsBottomUp(source, reinterpret_cast<std::uint8_t*>(destination));
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 2; ++x)
                    EXPECT_EQ(destination[1 - y][x], current.expected[y][x])
                        << std::hex << current.format << (bottomUp ? " bottom-up" : " top-down") << " at " << x << ","
                        << y;
        }
    }
}

// The pixel readers are the row conversion table's; palette indices beyond a row's first byte are these.
TEST(Splash, PaletteKeepsAtMost256EntriesIndicesCrossBytesAndRowSizesAreNeverNegative)
{
    const std::uint8_t row[] = {0xB4, 0xCD};
    const struct { int bits, column; std::uint32_t expected; } indices[] = {
        {1, 0, 1}, {1, 1, 0}, {1, 7, 0}, {1, 8, 1}, {1, 9, 1}, {4, 0, 0xB}, {4, 3, 0xD}, {8, 1, 0xCD}};
    for (const auto& current : indices)
        EXPECT_EQ(ReadPaletteIndex(row, current.column, current.bits), current.expected)
            << current.bits << " bits, column " << current.column;
    const std::vector<std::uint32_t> colours(300, 0xFF00FF00);
    CIndexedPalette palette;
    palette.Assign(colours.data(), colours.size());
    EXPECT_EQ(palette.Lookup(0), 0xFF00FF00u);
    EXPECT_EQ(palette.Lookup(255), 0xFF00FF00u);
    EXPECT_EQ(palette.Lookup(256), 0u);
    palette.Assign(colours.data(), 2);
    EXPECT_EQ(palette.Lookup(2), 0u) << "an entry of the former, longer palette survived";
    EXPECT_EQ(DestinationStride(-5), 0u);
    EXPECT_EQ(DestinationStride(120), 480u);
}

TEST(Splash, PlacedTenPixelsFromTheBottomRightOfTheWorkAreaOrElseTheScreen)
{
    const struct { CSplashScreen screen; int width, height, x, y; } cases[] = {
        {{true, 1920, 1040, 1920, 1080}, 120, 120, 1790, 910},   // primary monitor above a taskbar
        {{true, 0, 1080, 1920, 1080}, 120, 120, -130, 950},      // monitor left of the primary one
        {{false, 1920, 1040, 2560, 1440}, 120, 120, 2430, 1310}, // no monitor: the screen's full size
        {{true, 1280, -24, 1920, 1080}, 200, 60, 1070, -94},     // monitor above, wide picture
    };
    for (const auto& current : cases) {
        const CScreenPoint position = SplashPosition(current.screen, current.width, current.height);
        EXPECT_EQ(position.x, current.x) << current.screen.workRight;
        EXPECT_EQ(position.y, current.y) << current.screen.workBottom;
    }
}

} // namespace
