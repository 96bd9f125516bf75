#include "client/ServerConnection.h"

#include "client/ServerOutput.h"
#include "wire/Protocol.h"

EWaitResult CServerConnection::ReadUntilReady(std::vector<std::string>* lines, const LineCallback& onLine)
{
    const uint32_t timeoutMs = m_silenceTimeoutMs;
    if (!onLine) {
        std::vector<std::string> taken;
        const ELineWait waited = WaitForStopLine(kReadyLine, timeoutMs, lines != nullptr ? *lines : taken);
        if (waited == ELineWait::Nothing)
            Kill();
        return waited == ELineWait::Line ? EWaitResult::Ready
               : waited == ELineWait::Closed ? EWaitResult::Closed
                                             : EWaitResult::TimedOut;
    }
    for (;;) {
        std::string line;
        const ELineWait waited = WaitForLine(line, timeoutMs == 0 ? kWaitForever : timeoutMs);
        if (waited == ELineWait::Closed)
            return EWaitResult::Closed;
        if (waited == ELineWait::Nothing) {
            Kill();
            return EWaitResult::TimedOut;
        }
        if (line == kReadyLine)
            return EWaitResult::Ready;
        if (onLine)
            onLine(line);
        if (lines != nullptr)
            lines->push_back(std::move(line));
    }
}
