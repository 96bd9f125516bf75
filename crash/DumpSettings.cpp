#include "crash/DumpSettings.h"

CString g_dumpFolder;
CString g_dumpBaseName;
