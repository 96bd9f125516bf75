#include "splash/SplashWindowWin.h"

#include "splash/SplashImageWin.h"
#include "splash/SplashPlacement.h"
#include "wire/Protocol.h"

void* g_ownerWindow = nullptr;
void* g_splashWindow = nullptr;
void* g_splashBitmap = nullptr;

namespace {

const wchar_t* const kClassName = AsWide(kSplashWindowClassUtf16);
const wchar_t* const kWindowTitle = AsWide(kSplashWindowTitleUtf16);
constexpr DWORD kExtendedStyle = WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
constexpr DWORD kStyle = WS_POPUP | WS_VISIBLE;

/// The work area of the monitor nearest to the reference window, or the
/// primary screen's size when there is no monitor.
CSplashScreen ScreenOf(HWND referenceWindow)
{
    CSplashScreen screen;
    const HMONITOR monitor = MonitorFromWindow(referenceWindow, MONITOR_DEFAULTTONEAREST);
    if (monitor != nullptr) {
        MONITORINFO info{};
        info.cbSize = sizeof info;
        GetMonitorInfoW(monitor, &info);
        screen.hasMonitor = true;
        screen.workRight = info.rcWork.right;
        screen.workBottom = info.rcWork.bottom;
    } else {
        screen.screenWidth = GetSystemMetrics(SM_CXSCREEN);
        screen.screenHeight = GetSystemMetrics(SM_CYSCREEN);
    }
    return screen;
}

void RegisterSplashClass(HINSTANCE instance)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = SplashWndProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);
}

/// Hands the premultiplied picture to the layered window, which keeps showing
/// it without any painting by the program.
void ShowPicture(HWND window, HBITMAP picture, SIZE size)
{
    const HDC display = CreateDCW(L"display", nullptr, nullptr, nullptr);
    const HDC memory = CreateCompatibleDC(display);
    const HGDIOBJ former = SelectObject(memory, picture);
    POINT origin{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(window, nullptr, nullptr, &size, memory, &origin, 0, &blend, ULW_ALPHA);
    SelectObject(memory, former);
    DeleteDC(memory);
    DeleteDC(display);
}

} // namespace

LRESULT CALLBACK SplashWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCHITTEST)
        return HTCAPTION;
    return DefWindowProcW(window, message, wParam, lParam);
}

void CreateSplashWindow(void* instance, void* ownerWindow)
{
    const HWND reference = ownerWindow != nullptr ? static_cast<HWND>(ownerWindow) : GetForegroundWindow();
    g_ownerWindow = reference;

    const auto module = static_cast<HINSTANCE>(instance);
    const HBITMAP picture = LoadSplashBitmap(module);
    g_splashBitmap = picture;
    // Without its picture a layered window shows nothing yet still takes the
    // clicks over its corner of the screen: better no window at all.
    if (picture == nullptr)
        return;

    BITMAP description{};
    GetObjectW(picture, sizeof description, &description);
    const SIZE size{description.bmWidth, description.bmHeight};
    const CScreenPoint position = SplashPosition(ScreenOf(reference), size.cx, size.cy);

    RegisterSplashClass(module);
    const HWND window = CreateWindowExW(kExtendedStyle, kClassName, kWindowTitle, kStyle, position.x, position.y,
                                        size.cx, size.cy, GetDesktopWindow(), nullptr, module, nullptr);
    g_splashWindow = window;
    ShowPicture(window, picture, size);
    SetActiveWindow(window);
}
