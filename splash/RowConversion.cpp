#include "splash/RowConversion.h"

#include "splash/PixelFormats.h"
#include "splash/PixelReaders.h"

#include <cstring>

namespace {

using PixelReader = std::uint32_t (*)(const std::uint8_t*&);

PixelReader ReaderFor(std::uint32_t format)
{
    switch (format) {
    case kPixelFormat16bppRGB555:
        return ReadPixel555;
    case kPixelFormat16bppRGB565:
        return ReadPixel565;
    case kPixelFormat24bppRGB:
        return ReadPixel24;
    case kPixelFormat32bppRGB:
        return ReadPixel32;
    default:
        return nullptr;
    }
}

bool IsReadableIndexedFormat(std::uint32_t format)
{
    const int bits = PixelFormatBits(format);
    return IsIndexedFormat(format) && (bits == 1 || bits == 4 || bits == 8);
}

void ConvertIndexedRow(const CSourceRows& source, const std::uint8_t* sourceRow, std::uint8_t* destinationRow)
{
    const int bits = PixelFormatBits(source.pixelFormat);
    for (int column = 0; column < source.width; ++column)
        WritePixel(destinationRow, source.palette->Lookup(ReadPaletteIndex(sourceRow, column, bits)));
}

void ConvertRow(const CSourceRows& source, const std::uint8_t* sourceRow, std::uint8_t* destinationRow)
{
    const std::size_t rowBytes = DestinationStride(source.width);
    if (source.pixelFormat == kPixelFormat32bppARGB) {
        std::memcpy(destinationRow, sourceRow, rowBytes);
        return;
    }
    if (const PixelReader reader = ReaderFor(source.pixelFormat)) {
        for (int column = 0; column < source.width; ++column)
            WritePixel(destinationRow, reader(sourceRow));
        return;
    }
    if (IsReadableIndexedFormat(source.pixelFormat) && source.palette != nullptr) {
        ConvertIndexedRow(source, sourceRow, destinationRow);
        return;
    }
    std::memset(destinationRow, 0, rowBytes);
}

} // namespace

bool IsConvertedFormat(std::uint32_t format)
{
    return format == kPixelFormat32bppARGB || ReaderFor(format) != nullptr || IsReadableIndexedFormat(format);
}

std::size_t DestinationStride(int width)
{
    return width > 0 ? static_cast<std::size_t>(width) * 4 : 0;
}

void ConvertRowsBottomUp(const CSourceRows& source, std::uint8_t* destination)
{
    if (source.width <= 0 || source.height <= 0)
        return;
    const std::size_t destinationStride = DestinationStride(source.width);
    for (int row = 0; row < source.height; ++row) {
        const std::uint8_t* sourceRow = source.scan0 + static_cast<std::ptrdiff_t>(row) * source.stride;
        std::uint8_t* destinationRow = destination + static_cast<std::size_t>(source.height - 1 - row) * destinationStride;
        ConvertRow(source, sourceRow, destinationRow);
    }
}
