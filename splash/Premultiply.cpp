#include "splash/Premultiply.h"

namespace {

std::uint32_t ScaleChannel(std::uint32_t pixel, int shift, std::uint32_t alpha)
{
    const std::uint32_t channel = (pixel >> shift) & 0xFF;
    return (channel * alpha / 255) << shift;
}

} // namespace

std::uint32_t PremultiplyPixel(std::uint32_t pixel)
{
    const std::uint32_t alpha = pixel >> 24;
    return (pixel & 0xFF000000u) | ScaleChannel(pixel, 16, alpha) | ScaleChannel(pixel, 8, alpha) |
           ScaleChannel(pixel, 0, alpha);
}

void PremultiplyPixels(std::uint32_t* pixels, std::size_t count)
{
    for (std::size_t index = 0; index < count; ++index)
        pixels[index] = PremultiplyPixel(pixels[index]);
}
