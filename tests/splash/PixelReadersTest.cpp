#include "splash/PixelReaders.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using PixelReader = std::uint32_t (*)(const std::uint8_t*&);

struct CWordCase {
    std::uint16_t word;
    std::uint32_t expected;
};

void ExpectWordCases(PixelReader reader, const CWordCase* cases, std::size_t count)
{
    for (std::size_t index = 0; index < count; ++index) {
        const CWordCase& current = cases[index];
        const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(current.word),
                                       static_cast<std::uint8_t>(current.word >> 8)};
        const std::uint8_t* cursor = bytes;
        EXPECT_EQ(reader(cursor), current.expected) << std::hex << "word 0x" << current.word;
        EXPECT_EQ(cursor, bytes + 2);
    }
}

TEST(PixelReaders, Rgb555WidensFiveBitFieldsAndIgnoresTheTopBit)
{
    const CWordCase cases[] = {
        {0x7FFF, 0xFFF8F8F8}, {0x7C00, 0xFFF80000}, {0x03E0, 0xFF00F800}, {0x001F, 0xFF0000F8},
        {0x8000, 0xFF000000}, {0xFFFF, 0xFFF8F8F8}, {0x0000, 0xFF000000}, {0x4210, 0xFF808080},
    };
    ExpectWordCases(ReadPixel555, cases, sizeof cases / sizeof cases[0]);
}

TEST(PixelReaders, Rgb565WidensFiveAndSixBitFields)
{
    const CWordCase cases[] = {
        {0xFFFF, 0xFFF8FCF8}, {0xF800, 0xFFF80000}, {0x07E0, 0xFF00FC00},
        {0x001F, 0xFF0000F8}, {0x0000, 0xFF000000}, {0x8410, 0xFF808080},
    };
    ExpectWordCases(ReadPixel565, cases, sizeof cases / sizeof cases[0]);
}

TEST(PixelReaders, TwentyFourBitReadsBlueGreenRedAndAddsAlpha)
{
    struct CCase {
        std::uint8_t bytes[3];
        std::uint32_t expected;
    };
    const CCase cases[] = {
        {{0x10, 0x20, 0x30}, 0xFF302010},
        {{0x00, 0x00, 0x00}, 0xFF000000},
        {{0xFF, 0x00, 0x80}, 0xFF8000FF},
    };
    for (const CCase& current : cases) {
        const std::uint8_t* cursor = current.bytes;
        EXPECT_EQ(ReadPixel24(cursor), current.expected);
        EXPECT_EQ(cursor, current.bytes + 3);
    }
}

TEST(PixelReaders, ThirtyTwoBitRgbSetsTheUnusedTopByteToOpaque)
{
    struct CCase {
        std::uint8_t bytes[4];
        std::uint32_t expected;
    };
    const CCase cases[] = {
        {{0x56, 0x34, 0x12, 0x00}, 0xFF123456},
        {{0x56, 0x34, 0x12, 0x7F}, 0xFF123456},
        {{0x00, 0x00, 0x00, 0xFF}, 0xFF000000},
    };
    for (const CCase& current : cases) {
        const std::uint8_t* cursor = current.bytes;
        EXPECT_EQ(ReadPixel32(cursor), current.expected);
        EXPECT_EQ(cursor, current.bytes + 4);
    }
}

TEST(PixelReaders, ConsecutiveReadsWalkTheRow)
{
    const std::uint8_t row[] = {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00};
    const std::uint8_t* cursor = row;
    EXPECT_EQ(ReadPixel555(cursor), 0xFFF80000u);
    EXPECT_EQ(ReadPixel555(cursor), 0xFF00F800u);
    EXPECT_EQ(ReadPixel555(cursor), 0xFF0000F8u);
    EXPECT_EQ(cursor, row + sizeof row);
}

TEST(PixelReaders, WritePixelStoresBlueGreenRedAlphaAndAdvances)
{
    struct CCase {
        std::uint32_t pixel;
        std::uint8_t expected[4];
    };
    const CCase cases[] = {
        {0x80FF8040, {0x40, 0x80, 0xFF, 0x80}},
        {0xFF302010, {0x10, 0x20, 0x30, 0xFF}},
        {0x00000000, {0x00, 0x00, 0x00, 0x00}},
    };
    for (const CCase& current : cases) {
        std::uint8_t bytes[5] = {0xCD, 0xCD, 0xCD, 0xCD, 0xCD};
        std::uint8_t* cursor = bytes;
        WritePixel(cursor, current.pixel);
        EXPECT_EQ(cursor, bytes + 4);
        for (int index = 0; index < 4; ++index)
            EXPECT_EQ(bytes[index], current.expected[index]) << "byte " << index;
        EXPECT_EQ(bytes[4], 0xCD) << "written past the pixel";
    }
}

TEST(PixelReaders, PaletteIndicesArePackedFromTheTopBit)
{
    struct CCase {
        int bitsPerPixel;
        int column;
        std::uint32_t expected;
    };
    const std::uint8_t row[] = {0xB4, 0xCD, 0x07};
    const CCase cases[] = {
        {1, 0, 1}, {1, 1, 0}, {1, 2, 1}, {1, 3, 1}, {1, 5, 1}, {1, 7, 0}, {1, 8, 1}, {1, 15, 1},
        {4, 0, 0xB}, {4, 1, 0x4}, {4, 2, 0xC}, {4, 3, 0xD}, {4, 5, 0x7},
        {8, 0, 0xB4}, {8, 1, 0xCD}, {8, 2, 0x07},
    };
    for (const CCase& current : cases)
        EXPECT_EQ(ReadPaletteIndex(row, current.column, current.bitsPerPixel), current.expected)
            << current.bitsPerPixel << " bits, column " << current.column;
}

} // namespace
