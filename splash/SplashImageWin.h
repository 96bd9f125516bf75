#pragma once
/// Decoding of the splash picture: a PNG resource of the program turned by
/// GDI+ into a 32-bit bottom-up DIB section that a layered window can show
/// with per-pixel alpha.

#include "foundation/Win32.h"

#include <objbase.h>  // IStream, which the GDI+ wrapper classes take
#include <gdiplus.h>

/// The splash picture: image 101 of resource type "PNG".
constexpr WORD kSplashImageId = 101;

/// Finds image resourceId of type "PNG" in instance, decodes it with GDI+
/// (which must be running) and returns a premultiplied 32-bit bottom-up DIB
/// section that the caller owns. Null when the resource is missing or empty or
/// its bytes are not an image; nothing stays allocated then.
HBITMAP LoadSplashBitmap(HINSTANCE instance, WORD resourceId = kSplashImageId);

/// Copies bitmap's pixels into a new 32-bit bottom-up DIB section of the same
/// size, alpha kept and not applied. Formats that splash/RowConversion.h does
/// not convert come out fully transparent. Null when the section cannot be
/// made or the pixels cannot be locked (bitmap's last status then says why).
HBITMAP BitmapToDib(Gdiplus::Bitmap& bitmap);
