#pragma once
/// Readers of single source pixels for the conversion to a 32-bit section.
///
/// A reader reads one pixel at the source cursor (16-bit words little-endian),
/// advances the cursor by that pixel's size and returns it as 0xAARRGGBB.
/// Colour fields narrower than 8 bits are widened by a left shift alone, so
/// their low bits are zero (a 5-bit 31 becomes 0xF8, a 6-bit 63 becomes 0xFC).

#include <cstdint>

/// 16-bit xRRRRRGGGGGBBBBB; the top bit is ignored; opaque.
std::uint32_t ReadPixel555(const std::uint8_t*& source);
/// 16-bit RRRRRGGGGGGBBBBB; opaque.
std::uint32_t ReadPixel565(const std::uint8_t*& source);
/// Bytes blue, green, red; opaque.
std::uint32_t ReadPixel24(const std::uint8_t*& source);
/// A 32-bit word whose top byte is unused; made opaque.
std::uint32_t ReadPixel32(const std::uint8_t*& source);

/// The palette index of pixel column of an indexed row of 1, 4 or 8 bits per
/// pixel; narrower pixels are packed from the top bit of each byte down.
std::uint32_t ReadPaletteIndex(const std::uint8_t* row, int column, int bitsPerPixel);

/// Stores pixel as bytes blue, green, red, alpha and advances the cursor by 4.
void WritePixel(std::uint8_t*& destination, std::uint32_t pixel);
