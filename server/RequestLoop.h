#pragma once
/// The request loop: "ready:", read a request, pump window messages, scan it,
/// again, until the host closes the input.

#include "foundation/String.h"
#include "server/RequestReader.h"

/// What the loop asks of the rest of the server.
class IRequestHandler {
public:
    virtual ~IRequestHandler() = default;
    /// Dispatches pending window messages (the splash window stays draggable).
    virtual void PumpMessages() = 0;
    /// Scans one request; always ends with one record on the output channel.
    virtual void ScanRequest(const CString& text) = 0;
    /// Answers a request that was too long to serve; also ends with one record.
    virtual void RejectOversizedRequest() = 0;
};

/// Serves requests from source until it closes.
void RunRequestLoop(IRequestSource& source, IRequestHandler& handler);

/// Serves requests from source with the scan room's handling until it closes,
/// then frees the cached library. Every system's server runs this.
void ServeRequests(IRequestSource& source);

/// The server's name, "Tessivane Plugin Scan Server (<system> <platform>)";
/// without a system (null), "(<platform>)".
CString ServerTitle(const char16_t* system);
/// The server's first line: "info:" and its ServerTitle.
void LogBanner(const char16_t* system);
