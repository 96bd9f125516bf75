#include "foundation/Win32.h"
#include "server/ScanServerMain.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return ScanServerMain(instance); }
