#include "client/PlatformRouter.h"

#include "wire/Protocol.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace {

/// The platform of the server that loads the file; empty when none does. read
/// tells whether the file's header could be read (into check).
std::string PlatformOf(const CPlatformRouter::FCheckLibrary& checkLibrary, const std::string& path, SPeCheck& check,
                       bool& read)
{
    std::string error;
    read = checkLibrary(path, check, error);
    return read && check.verdict == EPeVerdict::Library ? check.platform : "";
}

std::string PlatformOf(const CPlatformRouter::FCheckLibrary& checkLibrary, const std::string& path)
{
    SPeCheck check;
    bool read = false;
    return PlatformOf(checkLibrary, path, check, read);
}

} // namespace

CPlatformRouter::CPlatformRouter(FCheckLibrary checkLibrary, FMakeSession makeSession)
    : m_checkLibrary(std::move(checkLibrary)), m_makeSession(std::move(makeSession))
{
}

SScanOutcome CPlatformRouter::Scan(const std::string& request, const SScanObserver& observer)
{
    SPeCheck check;
    bool read = false;
    std::string platform = PlatformOf(m_checkLibrary, request.substr(0, request.find(kShellIdMarker)), check, read);
    if (platform.empty())
        platform = m_session ? m_platform : kPlatformX64;
    if (!m_session || platform != m_platform) {
        std::unique_ptr<CScanSession> ended;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ended = std::move(m_session);
        }
        ended.reset();
        std::unique_ptr<CScanSession> made = m_makeSession(platform);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_interrupted)
            made->Interrupt();
        m_session = std::move(made);
        m_platform = platform;
    }
    // A file that could not be read is read again by the session, which words why.
    return read ? m_session->ScanChecked(request, check, observer) : m_session->Scan(request, observer);
}

void CPlatformRouter::Interrupt()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_interrupted = true;
    if (m_session)
        m_session->Interrupt();
}

void OrderByPlatform(std::vector<SLibraryFile>& files, const CPlatformRouter::FCheckLibrary& checkLibrary)
{
    // In place, the x86 libraries set aside: a large collection's list is not copied again.
    std::vector<SLibraryFile> x86;
    std::size_t kept = 0;
    for (SLibraryFile& file : files) {
        if (PlatformOf(checkLibrary, file.path) == kPlatformX86)
            x86.push_back(std::move(file));
        else if (&files[kept++] != &file)
            files[kept - 1] = std::move(file);
    }
    files.erase(files.begin() + static_cast<std::ptrdiff_t>(kept), files.end());
    files.insert(files.end(), std::make_move_iterator(x86.begin()), std::make_move_iterator(x86.end()));
}
