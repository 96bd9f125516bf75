#include "splash/SplashPlacement.h"

CScreenPoint SplashPosition(const CSplashScreen& screen, int pictureWidth, int pictureHeight)
{
    const int right = screen.hasMonitor ? screen.workRight : screen.screenWidth;
    const int bottom = screen.hasMonitor ? screen.workBottom : screen.screenHeight;
    return CScreenPoint{right - pictureWidth - kSplashMargin, bottom - pictureHeight - kSplashMargin};
}
