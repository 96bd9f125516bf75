#include "scan/ScanPlatform.h"

namespace {

IScanPlatform* g_scanPlatform = nullptr;

} // namespace

void SetScanPlatform(IScanPlatform* platform) { g_scanPlatform = platform; }

IScanPlatform& GetScanPlatform() { return *g_scanPlatform; }
