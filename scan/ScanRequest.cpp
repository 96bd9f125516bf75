#include "scan/ScanRequest.h"

#include "server/OutputChannel.h"

void ScanRequest(const CString& text)
{
    LogInfo(u"Scanning plugin: '%s'\n", text.GetText() != nullptr ? text.GetText() : u"");
}

void RejectOversizedRequest() { LogError(u"Request too long, ignoring\n"); }

void ReleaseLibraryCache() {}
