#include "server/ServerState.h"

void* g_inputHandle = nullptr;
void* g_outputHandle = nullptr;
CString g_dumpFolder;
CString g_dumpBaseName;
uintptr_t g_gdiplusToken = 0;
void* g_cachedLibrary = nullptr;
CString g_cachedLibraryPath;
