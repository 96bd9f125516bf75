#pragma once
/// Conversion of a decoded picture's locked rows into the pixel area of a
/// bottom-up 32-bit section.
///
/// The destination holds height rows of width × 4 bytes, each pixel a
/// 0xAARRGGBB word stored blue, green, red, alpha. Image row y (0 is the top)
/// lands in memory row height − 1 − y, which a bottom-up section shows as row
/// y from the top: the picture is upright. Alpha is copied, not applied.

#include "splash/IndexedPalette.h"

#include <cstddef>
#include <cstdint>

/// Source rows as the decoder hands them out while they are locked.
struct CSourceRows {
    const std::uint8_t* scan0 = nullptr;       ///< the top image row
    std::ptrdiff_t stride = 0;                 ///< bytes from one image row to the next; negative when stored bottom-up
    std::uint32_t pixelFormat = 0;             ///< a code of splash/PixelFormats.h
    int width = 0;
    int height = 0;
    const CIndexedPalette* palette = nullptr;  ///< colours of an indexed format; null: indexed rows stay transparent
};

/// Whether rows of format are converted: 32-bit ARGB is copied whole; 16-bit
/// RGB555 and RGB565, 24-bit RGB and 32-bit RGB go through the pixel readers;
/// 1-, 4- and 8-bit indexed rows through the palette. Any other format comes
/// out fully transparent.
bool IsConvertedFormat(std::uint32_t format);

/// Bytes per destination row: width × 4, or 0 for a width of 0 or less.
std::size_t DestinationStride(int width);

/// Writes every destination row from source; rows of a format that is not
/// converted are zeroed. Does nothing when width or height is 0 or less.
void ConvertRowsBottomUp(const CSourceRows& source, std::uint8_t* destination);
