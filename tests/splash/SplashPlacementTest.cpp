#include "splash/SplashPlacement.h"

#include <gtest/gtest.h>

namespace {

struct CCase {
    const char* name;
    CSplashScreen screen;
    int width;
    int height;
    CScreenPoint expected;
};

TEST(SplashPlacement, TenPixelsFromTheBottomRightOfTheWorkAreaOrElseTheScreen)
{
    const CCase cases[] = {
        {"primary monitor above a taskbar", {true, 1920, 1040, 1920, 1080}, 120, 120, {1790, 910}},
        {"monitor left of the primary one", {true, 0, 1080, 1920, 1080}, 120, 120, {-130, 950}},
        {"no monitor: the primary screen's full size", {false, 1920, 1040, 2560, 1440}, 120, 120, {2430, 1310}},
        {"monitor above the primary one, wide picture", {true, 1280, -24, 1920, 1080}, 200, 60, {1070, -94}},
    };
    for (const CCase& current : cases) {
        const CScreenPoint position = SplashPosition(current.screen, current.width, current.height);
        EXPECT_EQ(position.x, current.expected.x) << current.name;
        EXPECT_EQ(position.y, current.expected.y) << current.name;
    }
}

} // namespace
