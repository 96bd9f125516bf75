#include "scan/ScanState.h"

int32_t g_currentShellId = 0;
bool g_wantMidiCalled = false;
