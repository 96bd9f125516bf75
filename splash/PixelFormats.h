#pragma once
/// The decoder's pixel format codes that the picture conversion tells apart.
///
/// A code packs, from the top: flags (bits 16-31), bits per pixel (bits 8-15)
/// and an index (bits 0-7). The values are the platform's GDI+ PixelFormat
/// constants; the Windows side checks that they agree.

#include <cstdint>

constexpr std::uint32_t kPixelFormatIndexedFlag = 0x00010000;

constexpr std::uint32_t kPixelFormat1bppIndexed = 0x00030101;
constexpr std::uint32_t kPixelFormat4bppIndexed = 0x00030402;
constexpr std::uint32_t kPixelFormat8bppIndexed = 0x00030803;
constexpr std::uint32_t kPixelFormat16bppRGB555 = 0x00021005;
constexpr std::uint32_t kPixelFormat16bppRGB565 = 0x00021006;
constexpr std::uint32_t kPixelFormat24bppRGB = 0x00021808;
constexpr std::uint32_t kPixelFormat32bppRGB = 0x00022009;
constexpr std::uint32_t kPixelFormat32bppARGB = 0x0026200A;

/// Bits that one pixel of the format occupies in a source row.
constexpr int PixelFormatBits(std::uint32_t format) { return static_cast<int>((format >> 8) & 0xFF); }

/// Whether the format's pixels are indices into a palette.
constexpr bool IsIndexedFormat(std::uint32_t format) { return (format & kPixelFormatIndexedFlag) != 0; }
