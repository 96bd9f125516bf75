#include "process/ServerState.h"

void* g_inputHandle = nullptr;
void* g_outputHandle = nullptr;
uintptr_t g_gdiplusToken = 0;
