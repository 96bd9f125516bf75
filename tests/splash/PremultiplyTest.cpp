#include "splash/Premultiply.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

struct CCase {
    std::uint32_t pixel;
    std::uint32_t expected;
};

const CCase kCases[] = {
    {0x80FF8040, 0x80804020},
    {0x7F7F7F7F, 0x7F3F3F3F},
    {0x00FFFFFF, 0x00000000},
    {0x01FFFFFF, 0x01010101},
    {0x00123456, 0x00000000},
    {0xFFFFFFFF, 0xFFFFFFFF},
    {0xFF123456, 0xFF123456},
    {0xFF000000, 0xFF000000},
    {0xFE0000FF, 0xFE0000FE},
};

TEST(Premultiply, ScalesEachColourByAlphaAndKeepsAlpha)
{
    for (const CCase& current : kCases)
        EXPECT_EQ(PremultiplyPixel(current.pixel), current.expected) << std::hex << current.pixel;
}

TEST(Premultiply, OpaquePixelsAreUnchanged)
{
    for (std::uint32_t colour = 0; colour < 0x1000000; colour += 0x010203)
        ASSERT_EQ(PremultiplyPixel(0xFF000000 | colour), 0xFF000000 | colour) << std::hex << colour;
}

TEST(Premultiply, TransparentPixelsBecomeZero)
{
    for (std::uint32_t colour = 0; colour < 0x1000000; colour += 0x010203)
        ASSERT_EQ(PremultiplyPixel(colour), 0u) << std::hex << colour;
}

TEST(Premultiply, RunsOverExactlyTheGivenPixels)
{
    std::uint32_t pixels[sizeof kCases / sizeof kCases[0] + 1];
    const std::size_t count = sizeof kCases / sizeof kCases[0];
    for (std::size_t index = 0; index < count; ++index)
        pixels[index] = kCases[index].pixel;
    pixels[count] = 0x80FFFFFF;

    PremultiplyPixels(pixels, count);

    for (std::size_t index = 0; index < count; ++index)
        EXPECT_EQ(pixels[index], kCases[index].expected) << "pixel " << index;
    EXPECT_EQ(pixels[count], 0x80FFFFFFu) << "pixel after the range changed";
}

} // namespace
