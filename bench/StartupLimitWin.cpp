// StartupLimit.exe: the least a scan server can do before its first "ready:"
// when it does the start-up work the server must do, in the server's order:
// start GDI+, decode the splash picture from the embedded PNG resource into a
// premultiplied 32-bit bitmap, show it in a layered top-most tool window near
// the bottom-right corner of the work area and make that window the active
// one, write the banner and "ready:" to the output handle (each written and
// flushed). Then it waits until its input
// closes, withdraws the window, stops GDI+ and exits with 0. It takes the
// server's first two arguments and ignores the rest.
//
// Each step is the plainest call sequence that does it (GDI+ converts and
// premultiplies the pixels itself), so the server's own code is measured
// against the platform's cost of the same work.

#include "bench/LimitCommandLineWin.h"
#include "splash/SplashImageWin.h"
#include "splash/SplashPlacement.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstring>

namespace {

/// The picture as a premultiplied top-down DIB section; null on failure.
HBITMAP DecodePicture(HINSTANCE instance, SIZE& size)
{
    const HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW(kSplashImageId), L"PNG");
    const DWORD bytes = resource != nullptr ? SizeofResource(instance, resource) : 0;
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (bytes == 0 || block == nullptr)
        return nullptr;
    std::memcpy(GlobalLock(block), LockResource(LoadResource(instance, resource)), bytes);
    GlobalUnlock(block);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream))) {
        GlobalFree(block);
        return nullptr;
    }
    HBITMAP section = nullptr;
    {
        Gdiplus::Bitmap bitmap(stream);
        if (bitmap.GetLastStatus() != Gdiplus::Ok) {
            stream->Release();
            return nullptr;
        }
        size = SIZE{static_cast<LONG>(bitmap.GetWidth()), static_cast<LONG>(bitmap.GetHeight())};
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = size.cx;
        info.bmiHeader.biHeight = -size.cy;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* pixels = nullptr;
        section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
        Gdiplus::Rect area(0, 0, size.cx, size.cy);
        Gdiplus::BitmapData target{};
        target.Width = static_cast<UINT>(size.cx);
        target.Height = static_cast<UINT>(size.cy);
        target.Stride = size.cx * 4;
        target.PixelFormat = PixelFormat32bppPARGB;
        target.Scan0 = pixels;
        bitmap.LockBits(&area, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                        PixelFormat32bppPARGB, &target);
        bitmap.UnlockBits(&target);
    }
    stream->Release();
    return section;
}

HWND ShowWindowWithPicture(HINSTANCE instance, HBITMAP picture, SIZE size)
{
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(GetForegroundWindow(), MONITOR_DEFAULTTONEAREST), &monitor);
    POINT position{monitor.rcWork.right - size.cx - kSplashMargin, monitor.rcWork.bottom - size.cy - kSplashMargin};

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"StartupLimit";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, windowClass.lpszClassName,
                                        L"StartupLimit", WS_POPUP | WS_VISIBLE, position.x, position.y, size.cx,
                                        size.cy, nullptr, nullptr, instance, nullptr);
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HGDIOBJ former = SelectObject(memory, picture);
    POINT origin{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(window, screen, &position, &size, memory, &origin, 0, &blend, ULW_ALPHA);
    SelectObject(memory, former);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    SetActiveWindow(window);
    return window;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    const SLimitHandles handles = ReadLimitHandles();
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);

    SIZE size{};
    const HBITMAP picture = DecodePicture(instance, size);
    const HWND window = picture != nullptr ? ShowWindowWithPicture(instance, picture, size) : nullptr;

    static const char kBanner[] = "info:Tessivane Plugin Scan Server (x64)\n";
    WriteLimitLine(handles.output, kBanner, sizeof kBanner - 1);
    WriteReadyLine(handles.output);
    WaitForInputEnd(handles.input);

    if (window != nullptr)
        DestroyWindow(window);
    Gdiplus::GdiplusShutdown(token);
    return 0;
}
