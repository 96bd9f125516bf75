#pragma once
/// One worker's scanning over libraries of both platforms: each request goes to
/// the session of its library's platform (x64 libraries to one, x86 libraries to
/// another), and each session is made only when the first library of its
/// platform comes, so a folder of x64 plug-ins never starts an x86 server. A file
/// no server loads goes to the first platform's session, which answers it
/// without a server. A shell's sub-plug-ins are requests for the shell's file,
/// so they stay on the server of the shell's platform.

#include "client/PeCheck.h"
#include "client/ScanSession.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class CPlatformRouter : public CScanSession {
public:
    /// Reads the library's header; false when the file cannot be read.
    using FCheckLibrary = std::function<bool(const std::string& path, SPeCheck& check, std::string& error)>;
    /// Makes the session whose server loads libraries of the platform.
    using FMakeSession = std::function<std::unique_ptr<CScanSession>(const std::string& platform)>;

    CPlatformRouter(FCheckLibrary checkLibrary, FMakeSession makeSession);

    /// Scans the request on the session of its library's platform; see CScanSession.
    SScanOutcome Scan(const std::string& request, const SScanObserver& observer) override;
    /// Interrupts every session made so far and every one made later.
    void Interrupt() override;

private:
    CScanSession& SessionFor(const std::string& platform);

    FCheckLibrary m_checkLibrary;
    FMakeSession m_makeSession;
    std::mutex m_mutex; ///< guards the sessions against Interrupt from another thread
    std::map<std::string, std::unique_ptr<CScanSession>> m_sessions;
    bool m_interrupted = false;
};
