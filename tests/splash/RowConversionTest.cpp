#include "splash/PixelFormats.h"
#include "splash/RowConversion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint8_t kGarbage = 0xCD;

/// Source rows laid out in memory top-down (positive stride) or bottom-up
/// (negative stride), each row followed by padding bytes.
struct CSourceImage {
    std::vector<std::uint8_t> memory;
    CSourceRows rows;

    CSourceImage(const std::vector<std::vector<std::uint8_t>>& imageRows, std::uint32_t format, int width,
                 bool bottomUp)
    {
        const std::size_t stride = imageRows.front().size() + 3;
        const std::size_t height = imageRows.size();
        memory.assign(stride * height, kGarbage);
        for (std::size_t y = 0; y < height; ++y) {
            const std::size_t memoryRow = bottomUp ? height - 1 - y : y;
            std::memcpy(memory.data() + memoryRow * stride, imageRows[y].data(), imageRows[y].size());
        }
        rows.scan0 = memory.data() + (bottomUp ? (height - 1) * stride : 0);
        rows.stride = bottomUp ? -static_cast<std::ptrdiff_t>(stride) : static_cast<std::ptrdiff_t>(stride);
        rows.pixelFormat = format;
        rows.width = width;
        rows.height = static_cast<int>(height);
    }
};

/// The destination's pixel at image row y, column x of a bottom-up section.
std::uint32_t PixelAt(const std::vector<std::uint8_t>& destination, int width, int height, int x, int y)
{
    const std::uint8_t* pixel = destination.data() + (static_cast<std::size_t>(height - 1 - y) * width + x) * 4;
    return static_cast<std::uint32_t>(pixel[0]) | (static_cast<std::uint32_t>(pixel[1]) << 8) |
           (static_cast<std::uint32_t>(pixel[2]) << 16) | (static_cast<std::uint32_t>(pixel[3]) << 24);
}

struct CFormatCase {
    const char* name;
    std::uint32_t format;
    std::vector<std::vector<std::uint8_t>> imageRows;  // two rows of two pixels
    std::uint32_t expected[2][2];                      // [y][x]
};

std::vector<CFormatCase> ConvertedFormatCases()
{
    return {
        {"32-bit ARGB",
         kPixelFormat32bppARGB,
         {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x00}, {0x10, 0x20, 0x30, 0x80, 0xFF, 0xFF, 0xFF, 0xFF}},
         {{0x04030201, 0x00070605}, {0x80302010, 0xFFFFFFFF}}},
        {"16-bit RGB555",
         kPixelFormat16bppRGB555,
         {{0x00, 0x7C, 0xE0, 0x03}, {0x1F, 0x00, 0xFF, 0xFF}},
         {{0xFFF80000, 0xFF00F800}, {0xFF0000F8, 0xFFF8F8F8}}},
        {"16-bit RGB565",
         kPixelFormat16bppRGB565,
         {{0x00, 0xF8, 0xE0, 0x07}, {0x1F, 0x00, 0xFF, 0xFF}},
         {{0xFFF80000, 0xFF00FC00}, {0xFF0000F8, 0xFFF8FCF8}}},
        {"24-bit RGB",
         kPixelFormat24bppRGB,
         {{0x10, 0x20, 0x30, 0x01, 0x02, 0x03}, {0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF}},
         {{0xFF302010, 0xFF030201}, {0xFF0000FF, 0xFFFF0000}}},
        {"32-bit RGB",
         kPixelFormat32bppRGB,
         {{0x56, 0x34, 0x12, 0x00, 0x01, 0x02, 0x03, 0x7F}, {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x00}},
         {{0xFF123456, 0xFF030201}, {0xFF000000, 0xFFFFFFFF}}},
    };
}

TEST(RowConversion, ImageRowYLandsInMemoryRowHeightMinusOneMinusYForEitherStrideSign)
{
    for (const CFormatCase& current : ConvertedFormatCases()) {
        for (const bool bottomUp : {false, true}) {
            const CSourceImage source(current.imageRows, current.format, 2, bottomUp);
            std::vector<std::uint8_t> destination(2 * 2 * 4, kGarbage);

            ConvertRowsBottomUp(source.rows, destination.data());

            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 2; ++x)
                    EXPECT_EQ(PixelAt(destination, 2, 2, x, y), current.expected[y][x])
                        << current.name << (bottomUp ? " (negative stride)" : " (positive stride)") << " at " << x
                        << "," << y;
        }
    }
}

TEST(RowConversion, TallImageKeepsRowOrder)
{
    std::vector<std::vector<std::uint8_t>> imageRows;
    for (std::uint8_t y = 0; y < 5; ++y)
        imageRows.push_back({y, 0, 0, 0xFF});
    for (const bool bottomUp : {false, true}) {
        const CSourceImage source(imageRows, kPixelFormat32bppARGB, 1, bottomUp);
        std::vector<std::uint8_t> destination(5 * 4, kGarbage);

        ConvertRowsBottomUp(source.rows, destination.data());

        for (int memoryRow = 0; memoryRow < 5; ++memoryRow)
            EXPECT_EQ(destination[memoryRow * 4], 4 - memoryRow) << "memory row " << memoryRow;
    }
}

TEST(RowConversion, FormatsWithoutAConversionComeOutTransparent)
{
    struct CCase {
        const char* name;
        std::uint32_t format;
    };
    const CCase cases[] = {
        {"32-bit PARGB", 0x000E200B}, {"16-bit ARGB1555", 0x00061007}, {"16-bit grey", 0x00101004},
        {"48-bit RGB", 0x0010300C},   {"64-bit ARGB", 0x0034400D},     {"64-bit PARGB", 0x001A400E},
        {"16-bit indexed", 0x00031003},
    };
    const std::vector<std::vector<std::uint8_t>> imageRows(3, std::vector<std::uint8_t>(16, 0xAA));
    for (const CCase& current : cases) {
        EXPECT_FALSE(IsConvertedFormat(current.format)) << current.name;
        const CSourceImage source(imageRows, current.format, 2, false);
        std::vector<std::uint8_t> destination(2 * 3 * 4, kGarbage);

        ConvertRowsBottomUp(source.rows, destination.data());

        EXPECT_EQ(destination, std::vector<std::uint8_t>(destination.size(), 0)) << current.name;
    }

    const CSourceImage unreadable(imageRows, kPixelFormat8bppIndexed, 2, false);
    std::vector<std::uint8_t> destination(2 * 3 * 4, kGarbage);
    ConvertRowsBottomUp(unreadable.rows, destination.data());
    EXPECT_EQ(destination, std::vector<std::uint8_t>(destination.size(), 0)) << "indexed rows without a palette";
}

TEST(RowConversion, IndexedRowsTakeTheirColoursFromThePalette)
{
    const std::uint32_t colours[] = {0x00000000, 0xFFFF0000, 0x8000FF00, 0xFF0000FF};
    CIndexedPalette palette;
    palette.Assign(colours, 4);

    struct CCase {
        const char* name;
        std::uint32_t format;
        std::vector<std::vector<std::uint8_t>> imageRows;  // two rows of three pixels
        std::uint32_t expected[2][3];
    };
    const CCase cases[] = {
        {"1-bit", kPixelFormat1bppIndexed, {{0xA0}, {0x40}},
         {{0xFFFF0000, 0x00000000, 0xFFFF0000}, {0x00000000, 0xFFFF0000, 0x00000000}}},
        {"4-bit", kPixelFormat4bppIndexed, {{0x12, 0x30}, {0x39, 0x10}},
         {{0xFFFF0000, 0x8000FF00, 0xFF0000FF}, {0xFF0000FF, 0x00000000, 0xFFFF0000}}},
        {"8-bit", kPixelFormat8bppIndexed, {{3, 2, 1}, {0, 200, 3}},
         {{0xFF0000FF, 0x8000FF00, 0xFFFF0000}, {0x00000000, 0x00000000, 0xFF0000FF}}},
    };
    for (const CCase& current : cases) {
        EXPECT_TRUE(IsConvertedFormat(current.format)) << current.name;
        for (const bool bottomUp : {false, true}) {
            CSourceImage source(current.imageRows, current.format, 3, bottomUp);
            source.rows.palette = &palette;
            std::vector<std::uint8_t> destination(3 * 2 * 4, kGarbage);

            ConvertRowsBottomUp(source.rows, destination.data());

            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x)
                    EXPECT_EQ(PixelAt(destination, 3, 2, x, y), current.expected[y][x])
                        << current.name << " at " << x << "," << y;
        }
    }
}

TEST(RowConversion, PaletteKeepsAtMost256EntriesAndUnknownIndicesAreTransparent)
{
    std::vector<std::uint32_t> colours(300);
    for (std::size_t index = 0; index < colours.size(); ++index)
        colours[index] = 0xFF000000u | static_cast<std::uint32_t>(index);
    CIndexedPalette palette;

    palette.Assign(colours.data(), colours.size());
    EXPECT_EQ(palette.Lookup(0), 0xFF000000u);
    EXPECT_EQ(palette.Lookup(255), 0xFF0000FFu);
    EXPECT_EQ(palette.Lookup(256), 0u);

    palette.Assign(colours.data() + 7, 2);
    EXPECT_EQ(palette.Lookup(1), 0xFF000008u);
    EXPECT_EQ(palette.Lookup(2), 0u) << "an entry of the former, longer palette survived";
}

TEST(RowConversion, EmptyPicturesTouchNothing)
{
    const std::vector<std::vector<std::uint8_t>> imageRows(1, std::vector<std::uint8_t>(4, 0x11));
    for (const int width : {0, -1}) {
        CSourceImage source(imageRows, kPixelFormat32bppARGB, width, false);
        std::vector<std::uint8_t> destination(8, kGarbage);
        ConvertRowsBottomUp(source.rows, destination.data());
        source.rows.width = 1;
        source.rows.height = width;
        ConvertRowsBottomUp(source.rows, destination.data());
        EXPECT_EQ(destination, std::vector<std::uint8_t>(8, kGarbage)) << "width or height " << width;
    }
    EXPECT_EQ(DestinationStride(0), 0u);
    EXPECT_EQ(DestinationStride(-5), 0u);
    EXPECT_EQ(DestinationStride(120), 480u);
}

} // namespace
