#pragma once
/// \file
/// One server's worth of scanning, as the scan run sees it: a request in, an
/// outcome out. The Windows client implements it with a real server process;
/// tests implement it with scripted outcomes.

#include "client/PeCheck.h"
#include "client/ScanOutcome.h"

#include <functional>
#include <string>
#include <vector>

/// Optional callbacks during one request, called on the scanning thread.
struct SScanObserver {
    /// Each output line of the server as it arrives (without its "\n").
    std::function<void(const std::string& line)> onLine;
    /// The titles of the visible windows the server shows while a request runs
    /// long, each time the set changes.
    std::function<void(const std::vector<std::string>& titles)> onDialogs;
};

/// Scans requests one at a time: the scan client, or a router over several.
class CScanSession {
public:
    virtual ~CScanSession() = default;
    /// Scans one request: a library path, or "path>XXXXXXXX" for a sub-plug-in
    /// of a shell. Always returns exactly one outcome. After a crash or a
    /// time-out the next request goes to a fresh server.
    virtual SScanOutcome Scan(const std::string& request, const SScanObserver& observer) = 0;
    /// Scan for a request whose library header the caller has just read
    /// (check): a session that reads it itself may take check instead, so a
    /// router in front of it does not cost a second read of the file.
    virtual SScanOutcome ScanChecked(const std::string& request, const SPeCheck& check, const SScanObserver& observer)
    {
        return Scan(request, observer);
    }
    /// Called from another thread when the run is interrupted: the request in
    /// progress, and any later one, ends soon (its server is killed). Their
    /// outcomes are not used.
    virtual void Interrupt() = 0;
};
