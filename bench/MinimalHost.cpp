#include "bench/MinimalHost.h"

#include "wire/Protocol.h"

bool CMinimalHost::Start(const std::string& server) { return Launch(server) && ReadUntilReady(); }

bool CMinimalHost::Request(const std::string& request) { return WriteInput(request + "\n") && ReadUntilReady(); }

bool CMinimalHost::ReadUntilReady()
{
    for (;;) {
        std::size_t lineStart = 0;
        for (std::size_t end = m_pending.find('\n'); end != std::string::npos; end = m_pending.find('\n', lineStart)) {
            const bool ready = m_pending.compare(lineStart, end - lineStart, kReadyLine) == 0;
            lineStart = end + 1;
            if (ready) {
                m_pending.erase(0, lineStart);
                return true;
            }
        }
        m_pending.erase(0, lineStart);
        if (!ReadMore())
            return false;
    }
}

bool CMinimalHost::Stop()
{
    CloseInput();
    // The server may write on its way out; whatever it writes is read, or a
    // server whose writes wait for the reader would wait forever.
    while (ReadMore())
        m_pending.clear();
    return EndedWithZero();
}
