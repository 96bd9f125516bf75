#include "splash/PixelReaders.h"

namespace {

constexpr std::uint32_t kOpaque = 0xFF000000u;

std::uint32_t ReadWord16(const std::uint8_t*& source)
{
    const std::uint32_t word = static_cast<std::uint32_t>(source[0]) | (static_cast<std::uint32_t>(source[1]) << 8);
    source += 2;
    return word;
}

std::uint32_t Pack(std::uint32_t red, std::uint32_t green, std::uint32_t blue)
{
    return kOpaque | (red << 16) | (green << 8) | blue;
}

} // namespace

std::uint32_t ReadPixel555(const std::uint8_t*& source)
{
    const std::uint32_t word = ReadWord16(source);
    return Pack(((word >> 10) & 0x1F) << 3, ((word >> 5) & 0x1F) << 3, (word & 0x1F) << 3);
}

std::uint32_t ReadPixel565(const std::uint8_t*& source)
{
    const std::uint32_t word = ReadWord16(source);
    return Pack((word >> 11) << 3, ((word >> 5) & 0x3F) << 2, (word & 0x1F) << 3);
}

std::uint32_t ReadPixel24(const std::uint8_t*& source)
{
    const std::uint32_t pixel = Pack(source[2], source[1], source[0]);
    source += 3;
    return pixel;
}

std::uint32_t ReadPixel32(const std::uint8_t*& source)
{
    const std::uint32_t word = static_cast<std::uint32_t>(source[0]) | (static_cast<std::uint32_t>(source[1]) << 8) |
                               (static_cast<std::uint32_t>(source[2]) << 16);
    source += 4;
    return kOpaque | word;
}

std::uint32_t ReadPaletteIndex(const std::uint8_t* row, int column, int bitsPerPixel)
{
    const int pixelsPerByte = 8 / bitsPerPixel;
    const std::uint32_t byte = row[column / pixelsPerByte];
    const int shift = 8 - bitsPerPixel * (column % pixelsPerByte + 1);
    const std::uint32_t mask = (1u << bitsPerPixel) - 1;
    return (byte >> shift) & mask;
}

void WritePixel(std::uint8_t*& destination, std::uint32_t pixel)
{
    destination[0] = static_cast<std::uint8_t>(pixel);
    destination[1] = static_cast<std::uint8_t>(pixel >> 8);
    destination[2] = static_cast<std::uint8_t>(pixel >> 16);
    destination[3] = static_cast<std::uint8_t>(pixel >> 24);
    destination += 4;
}
