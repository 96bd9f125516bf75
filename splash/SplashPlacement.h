#pragma once
/// Where the splash picture goes: 10 pixels from the right and bottom edges of
/// the work area of the reference window's monitor (virtual-screen
/// coordinates, so a monitor left of or above the primary one gives negative
/// values), or of the primary screen's full size when there is no monitor.

/// What the platform reports about the screen the splash is placed on.
struct CSplashScreen {
    bool hasMonitor = false;  ///< a monitor was found for the reference window
    int workRight = 0;        ///< its work area's right edge (exclusive)
    int workBottom = 0;       ///< its work area's bottom edge (exclusive)
    int screenWidth = 0;      ///< the primary screen's width, used without a monitor
    int screenHeight = 0;     ///< the primary screen's height, used without a monitor
};

struct CScreenPoint {
    int x = 0;
    int y = 0;
};

constexpr int kSplashMargin = 10;

/// The top-left corner of a picture of pictureWidth × pictureHeight on screen.
CScreenPoint SplashPosition(const CSplashScreen& screen, int pictureWidth, int pictureHeight);
