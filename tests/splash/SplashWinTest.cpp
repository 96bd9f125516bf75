#include "splash/SplashImageWin.h"
#include "splash/SplashWindowWin.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

constexpr WORD kEmptyPictureId = 201;  // the resources of SplashTestResources.rc
constexpr WORD kNotAnImageId = 202;

/// GDI+ running for the length of a test, as the server runs it from start-up to shutdown.
class CGdiplus {
public:
    CGdiplus() { Gdiplus::GdiplusStartup(&m_token, &m_input, nullptr); }
    ~CGdiplus() { Gdiplus::GdiplusShutdown(m_token); }

private:
    Gdiplus::GdiplusStartupInput m_input;
    ULONG_PTR m_token = 0;
};

/// Takes a section and returns its pixels as image rows from the top; empty
/// unless it is a 32-bit bottom-up section.
std::vector<std::uint32_t> TakeImageRows(HBITMAP section)
{
    DIBSECTION about{};
    std::vector<std::uint32_t> pixels;
    if (GetObjectW(section, sizeof about, &about) == sizeof about && about.dsBmih.biHeight > 0 &&
        about.dsBm.bmBitsPixel == 32) {
        const auto* words = static_cast<const std::uint32_t*>(about.dsBm.bmBits);
        for (LONG row = about.dsBm.bmHeight - 1; row >= 0; --row)
            pixels.insert(pixels.end(), words + row * about.dsBm.bmWidth, words + (row + 1) * about.dsBm.bmWidth);
    }
    DeleteObject(section);
    return pixels;
}

// The shipped picture as a user sees it is the screenshot test's; the formats are the row conversion's table's.
TEST(SplashWin, IndexedBitmapsTakeTheirPaletteAndBadPicturesGiveNoWindow)
{
    const CGdiplus gdiplus;
    struct { UINT flags, count; Gdiplus::ARGB entries[2]; } palette = {Gdiplus::PaletteFlagsHasAlpha, 2,
                                                                       {0x80FF0000, 0xFF00FF00}};
    BYTE memory[4] = {1, 0};
    Gdiplus::Bitmap bitmap(2, 1, sizeof memory, PixelFormat8bppIndexed, memory);
    ASSERT_EQ(bitmap.SetPalette(reinterpret_cast<Gdiplus::ColorPalette*>(&palette)), Gdiplus::Ok);
    EXPECT_EQ(TakeImageRows(BitmapToDib(bitmap)), (std::vector<std::uint32_t>{0xFF00FF00, 0x80FF0000}));
    for (const WORD id : {WORD{999}, kEmptyPictureId, kNotAnImageId})
        EXPECT_EQ(LoadSplashBitmap(GetModuleHandleW(nullptr), id), nullptr) << id;
    EXPECT_NE(FindResourceW(nullptr, MAKEINTRESOURCEW(kNotAnImageId), L"PNG"), nullptr) << "not the decoder's failure";
    CreateSplashWindow(GetModuleHandleW(L"kernel32.dll"), nullptr);
    EXPECT_EQ(g_ownerWindow, static_cast<void*>(GetForegroundWindow()));
    EXPECT_EQ(g_splashBitmap, nullptr);
    EXPECT_EQ(g_splashWindow, nullptr) << "a window without its picture";
}

TEST(SplashWin, TheHostsWindowIsTheReferenceButNotTheOwnerOfATopmostToolPicture)
{
    const CGdiplus gdiplus;
    const HWND host = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr, nullptr,
                                      nullptr, nullptr);
    CreateSplashWindow(GetModuleHandleW(nullptr), host);
    const HWND splash = static_cast<HWND>(g_splashWindow);
    ASSERT_NE(splash, nullptr) << "no window; is there a display?";
    EXPECT_EQ(g_ownerWindow, static_cast<void*>(host));
    EXPECT_EQ(GetWindow(splash, GW_OWNER), nullptr) << "the host's window must not own the splash";
    EXPECT_EQ(FindWindowW(L"TessivaneScanServer", L"Tessivane Scan Server"), splash);
    const LONG_PTR layeredTopmostTool = WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
    EXPECT_EQ(GetWindowLongPtrW(splash, GWL_EXSTYLE) & (layeredTopmostTool | WS_EX_APPWINDOW), layeredTopmostTool);
    EXPECT_EQ(GetWindowLongPtrW(splash, GWL_STYLE) & (WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_THICKFRAME),
              WS_POPUP | WS_VISIBLE);
    // Its place and its dragging are the screenshot test's.
    SendMessageW(splash, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(splash));
    MSG message{};
    EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "closing ended the server's loop";
    DeleteObject(static_cast<HBITMAP>(g_splashBitmap));
    g_splashWindow = g_splashBitmap = g_ownerWindow = nullptr;
    DestroyWindow(host);
}

} // namespace
