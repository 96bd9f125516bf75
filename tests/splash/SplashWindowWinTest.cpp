#include "splash/SplashWindowWin.h"
#include "tests/splash/GdiplusSessionWin.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr wchar_t kClassName[] = L"TessivaneScanServer";
constexpr wchar_t kWindowTitle[] = L"Tessivane Scan Server";

/// Each test starts with GDI+ running and no splash, and leaves none behind.
class SplashWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_gdiplus.IsRunning());
        ResetSplash();
    }
    void TearDown() override { ResetSplash(); }

    static HWND Splash() { return static_cast<HWND>(g_splashWindow); }

private:
    static void ResetSplash()
    {
        if (g_splashWindow != nullptr)
            DestroyWindow(static_cast<HWND>(g_splashWindow));
        if (g_splashBitmap != nullptr)
            DeleteObject(static_cast<HBITMAP>(g_splashBitmap));
        g_splashWindow = nullptr;
        g_splashBitmap = nullptr;
        g_ownerWindow = nullptr;
    }

    CGdiplusSession m_gdiplus;
};

std::wstring ClassNameOf(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring TitleOf(HWND window)
{
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    return title;
}

TEST_F(SplashWindowTest, ShowsTheBorderlessTopmostPictureTenPixelsFromTheWorkAreaCorner)
{
    const HWND foreground = GetForegroundWindow();

    CreateSplashWindow(GetModuleHandleW(nullptr), nullptr);

    ASSERT_NE(Splash(), nullptr) << "no window; is there a display?";
    ASSERT_NE(g_splashBitmap, nullptr);
    EXPECT_EQ(g_ownerWindow, static_cast<void*>(foreground));
    EXPECT_EQ(ClassNameOf(Splash()), kClassName);
    EXPECT_EQ(TitleOf(Splash()), kWindowTitle);

    const LONG_PTR extendedStyle = GetWindowLongPtrW(Splash(), GWL_EXSTYLE);
    EXPECT_EQ(extendedStyle & (WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST),
              WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST)
        << std::hex << extendedStyle;
    EXPECT_EQ(extendedStyle & WS_EX_APPWINDOW, 0) << "a taskbar button was asked for";
    const LONG_PTR style = GetWindowLongPtrW(Splash(), GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_VISIBLE), WS_POPUP | WS_VISIBLE) << std::hex << style;
    EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU), 0) << std::hex << style;
    EXPECT_EQ(GetWindow(Splash(), GW_OWNER), nullptr) << "the reference window must not own the splash";

    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(GetForegroundWindow(), MONITOR_DEFAULTTONEAREST), &monitor));
    RECT placed{};
    ASSERT_TRUE(GetWindowRect(Splash(), &placed));
    EXPECT_EQ(placed.left, monitor.rcWork.right - 130);
    EXPECT_EQ(placed.top, monitor.rcWork.bottom - 130);
    EXPECT_EQ(placed.right - placed.left, 120);
    EXPECT_EQ(placed.bottom - placed.top, 120);
}

TEST_F(SplashWindowTest, RemembersTheHostsWindowAsReference)
{
    const HWND host = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr,
                                      nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(host, nullptr);

    CreateSplashWindow(GetModuleHandleW(nullptr), host);

    EXPECT_EQ(g_ownerWindow, static_cast<void*>(host));
    ASSERT_NE(Splash(), nullptr);
    EXPECT_EQ(GetWindow(Splash(), GW_OWNER), nullptr) << "the host's window must not own the splash";
    DestroyWindow(host);
}

TEST_F(SplashWindowTest, EveryPointIsCaptionSoThePictureCanBeDragged)
{
    CreateSplashWindow(GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(Splash(), nullptr);
    RECT placed{};
    ASSERT_TRUE(GetWindowRect(Splash(), &placed));

    const POINT points[] = {{placed.left, placed.top},
                            {placed.left + 60, placed.top + 60},
                            {placed.right - 1, placed.bottom - 1},
                            {placed.left + 2, placed.bottom - 2}};
    for (const POINT& point : points) {
        const LPARAM where = MAKELPARAM(point.x, point.y);
        EXPECT_EQ(SplashWndProc(Splash(), WM_NCHITTEST, 0, where), HTCAPTION) << point.x << "," << point.y;
        EXPECT_EQ(SendMessageW(Splash(), WM_NCHITTEST, 0, where), HTCAPTION) << point.x << "," << point.y;
    }
}

TEST_F(SplashWindowTest, OtherMessagesTakeTheDefaultCourse)
{
    CreateSplashWindow(GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(Splash(), nullptr);

    EXPECT_EQ(SplashWndProc(Splash(), WM_GETTEXTLENGTH, 0, 0), static_cast<LRESULT>(wcslen(kWindowTitle)));
    SplashWndProc(Splash(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(Splash())) << "the default WM_CLOSE destroys the window";
    g_splashWindow = nullptr;

    MSG message{};
    EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        << "closing the splash must not end the server's loop";
}

TEST_F(SplashWindowTest, NoPictureMeansNoWindow)
{
    ASSERT_EQ(FindWindowW(kClassName, nullptr), nullptr) << "a splash of an earlier test is still there";

    const HWND foreground = GetForegroundWindow();

    CreateSplashWindow(GetModuleHandleW(L"kernel32.dll"), nullptr);

    EXPECT_EQ(g_splashBitmap, nullptr);
    EXPECT_EQ(g_splashWindow, nullptr);
    EXPECT_EQ(FindWindowW(kClassName, nullptr), nullptr);
    EXPECT_EQ(g_ownerWindow, static_cast<void*>(foreground));
}

} // namespace
