#pragma once
/// \file
/// One worker's scanning over libraries of both platforms: each library goes to
/// a session of its platform (x64 libraries to one whose server is 64-bit, x86
/// libraries to one whose server is 32-bit). A worker keeps one session at a
/// time: when a library of the other platform comes, the session it had is
/// ended (its server with it) before the next is made, so a run of N workers
/// never has more than N servers, of both kinds together, and a folder of x64
/// plug-ins never starts an x86 server. Files no server loads are answered by
/// the session at hand, without a server. A shell's sub-plug-ins are requests
/// for the shell's file, so they stay on the server of the shell's platform.

#include "client/LibraryFiles.h"
#include "client/PeCheck.h"
#include "client/ScanSession.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

/// A session that hands each request to a session of its library's platform.
class CPlatformRouter : public CScanSession {
public:
    /// Reads the library's header; false when the file cannot be read.
    using FCheckLibrary = std::function<bool(const std::string& path, SPeCheck& check, std::string& error)>;
    /// Makes a session whose server loads libraries of the platform.
    using FMakeSession = std::function<std::unique_ptr<CScanSession>(const std::string& platform)>;

    /// checkLibrary reads a library's header; makeSession makes the session of a platform when one is needed.
    CPlatformRouter(FCheckLibrary checkLibrary, FMakeSession makeSession);

    /// Scans the request on a session of its library's platform; see CScanSession.
    SScanOutcome Scan(const std::string& request, const SScanObserver& observer) override;
    /// Interrupts the session at hand and every one made later.
    void Interrupt() override;

private:
    FCheckLibrary m_checkLibrary;
    FMakeSession m_makeSession;
    std::mutex m_mutex; ///< guards the session against Interrupt from another thread
    std::unique_ptr<CScanSession> m_session;
    std::string m_platform; ///< m_session's platform
    bool m_interrupted = false;
};

/// Puts the x86 libraries after every other file, keeping each group's order, so
/// that the workers of a run change platform once, near its end.
void OrderByPlatform(std::vector<SLibraryFile>& files, const CPlatformRouter::FCheckLibrary& checkLibrary);
