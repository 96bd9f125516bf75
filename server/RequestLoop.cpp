#include "server/RequestLoop.h"

#include "process/OutputChannel.h"
#include "scan/LibraryCache.h"
#include "scan/ScanPlatform.h"
#include "scan/ScanRequest.h"
#include "wire/Protocol.h"

namespace {

class CServerRequestHandler : public IRequestHandler {
public:
    void PumpMessages() override { GetScanPlatform().PumpMessages(); }
    void ScanRequest(const CString& text) override { ::ScanRequest(text); }
    void RejectOversizedRequest() override { ::RejectOversizedRequest(); }
};

} // namespace

void RunRequestLoop(IRequestSource& source, IRequestHandler& handler)
{
    for (;;) {
        WriteReady();
        CAnsiString bytes;
        const ERequestStatus status = ReadRequest(source, bytes);
        if (status == ERequestStatus::Closed)
            return;
        handler.PumpMessages();
        if (status == ERequestStatus::Oversized)
            handler.RejectOversizedRequest();
        else
            handler.ScanRequest(CString::FromUtf8(bytes.GetText()));
    }
}

void ServeRequests(IRequestSource& source)
{
    CServerRequestHandler handler;
    RunRequestLoop(source, handler);
    ReleaseLibraryCache();
}

CString ServerTitle(const char16_t* system)
{
    if (system != nullptr)
        return CString::Format(u"Tessivane Plugin Scan Server (%s %s)", system, kServerPlatformUtf16);
    return CString::Format(u"Tessivane Plugin Scan Server (%s)", kServerPlatformUtf16);
}

void LogBanner(const char16_t* system) { LogInfo(u"%s\n", ServerTitle(system).GetText()); }
