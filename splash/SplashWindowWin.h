#pragma once
/// The splash window's platform side: its window procedure.

#include "foundation/Win32.h"
#include "splash/SplashWindow.h"

/// Every point of the window counts as caption (WM_NCHITTEST answers
/// HTCAPTION), so the user can drag the picture anywhere; every other message
/// takes the default course.
LRESULT CALLBACK SplashWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
