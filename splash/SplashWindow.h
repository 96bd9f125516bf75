#pragma once
/// The splash window: a small always-on-top picture that tells the user a scan
/// is going on. It lives from start-up to shutdown; the rest of the program
/// only brings it forward before each probe and destroys it at the end.
///
/// Handles are kept as plain pointers so that portable code can name them.
/// All three globals are set on the process's single thread by
/// CreateSplashWindow and are null until then.

/// The window whose monitor decides where the splash goes (the host's window,
/// or the foreground window at start-up). Neither owner nor parent of the splash.
extern void* g_ownerWindow;
/// The splash window (an HWND), or null when there is none.
extern void* g_splashWindow;
/// The premultiplied 32-bit picture it shows (an HBITMAP), kept for the process's life.
extern void* g_splashBitmap;

/// Shows the splash picture 10 pixels from the bottom-right corner of the work
/// area of the monitor that holds ownerWindow (null: the foreground window).
/// instance is the module whose resources hold the picture. When the picture
/// cannot be made, no window is made either and g_splashWindow stays null.
void CreateSplashWindow(void* instance, void* ownerWindow);
