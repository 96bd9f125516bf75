#pragma once
/// Premultiplication of 0xAARRGGBB pixels, the form in which a layered window
/// with per-pixel alpha takes its picture.

#include <cstddef>
#include <cstdint>

/// Each of red, green and blue becomes colour × alpha / 255, truncated; alpha stays.
std::uint32_t PremultiplyPixel(std::uint32_t pixel);

/// Premultiplies count pixels in place.
void PremultiplyPixels(std::uint32_t* pixels, std::size_t count);
