#include "client/PlatformRouter.h"

#include "wire/Protocol.h"

CPlatformRouter::CPlatformRouter(FCheckLibrary checkLibrary, FMakeSession makeSession)
    : m_checkLibrary(std::move(checkLibrary)), m_makeSession(std::move(makeSession))
{
}

SScanOutcome CPlatformRouter::Scan(const std::string& request, const SScanObserver& observer)
{
    SPeCheck check;
    std::string error;
    const bool library = m_checkLibrary(request.substr(0, request.find(kShellIdMarker)), check, error) &&
                         check.verdict == EPeVerdict::Library;
    return SessionFor(library ? check.platform : kPlatformX64).Scan(request, observer);
}

void CPlatformRouter::Interrupt()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_interrupted = true;
    for (auto& session : m_sessions)
        session.second->Interrupt();
}

CScanSession& CPlatformRouter::SessionFor(const std::string& platform)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::unique_ptr<CScanSession>& session = m_sessions[platform];
    if (!session) {
        session = m_makeSession(platform);
        if (m_interrupted)
            session->Interrupt();
    }
    return *session;
}
