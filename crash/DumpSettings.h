#pragma once
/// Where the crash filter writes its dumps. Set once at start-up, read by the
/// filter on whatever thread crashed.

#include "foundation/String.h"

extern CString g_dumpFolder;   ///< folder for crash dumps; empty: no dumps
extern CString g_dumpBaseName; ///< "ScanServer-x64"
