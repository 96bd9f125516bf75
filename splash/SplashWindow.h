#pragma once
/// The splash window: a small always-on-top picture in the corner of the
/// owner's monitor while the server runs.

extern void* g_ownerWindow;  ///< window whose monitor places the splash
extern void* g_splashWindow; ///< the splash window, or null
extern void* g_splashBitmap; ///< its premultiplied picture, or null

/// Builds and shows the splash window; ownerWindow may be null (the foreground
/// window is used then).
void CreateSplashWindow(void* instance, void* ownerWindow);
