#include "server/RequestLoop.h"

#include "process/OutputChannel.h"

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
