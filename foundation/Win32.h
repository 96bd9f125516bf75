#pragma once
/// The one gateway to the Windows API. Windows-only files include this header
/// and nothing else of the platform's; portable code never includes it.
///
/// Portable code keeps wide text as char16_t (UTF-16 code units). On Windows,
/// wchar_t has the same size and representation, so the helpers below only
/// change the pointer's type at the boundary.

#ifndef _WIN32
#error "foundation/Win32.h is for Windows-only files"
#endif

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif

#include <windows.h>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 code units");

/// Views portable UTF-16 text as the platform's wide text.
inline const wchar_t* AsWide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* AsWide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

/// Views the platform's wide text as portable UTF-16 text.
inline const char16_t* AsUtf16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }
inline char16_t* AsUtf16(wchar_t* text) { return reinterpret_cast<char16_t*>(text); }
