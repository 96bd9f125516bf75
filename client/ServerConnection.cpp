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

ELineWait CServerConnection::WaitForLine(std::string& line, uint32_t waitMs)
{
    CServerOutput* const output = Output();
    return output != nullptr ? output->WaitForLine(line, waitMs) : ELineWait::Closed;
}

ELineWait CServerConnection::WaitForLines(const std::string& stopLine, std::vector<std::string>& lines,
                                          uint32_t waitMs)
{
    CServerOutput* const output = Output();
    return output != nullptr ? output->TakeLines(stopLine, waitMs, lines) : ELineWait::Closed;
}

ELineWait CServerConnection::WaitForStopLine(const std::string& stopLine, uint32_t silenceMs,
                                             std::vector<std::string>& lines)
{
    CServerOutput* const output = Output();
    return output != nullptr ? output->WaitForStopLine(stopLine, silenceMs, lines) : ELineWait::Closed;
}

std::string CServerConnection::GetPendingOutput() const
{
    CServerOutput* const output = Output();
    return output != nullptr ? output->GetPending() : std::string();
}
