#include "client/ServerOutput.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

/// How much of the output one read takes at most.
constexpr int kReadCapacity = 4096;

/// The moment waitMs from now.
std::chrono::steady_clock::time_point DeadlineAfter(uint32_t waitMs)
{
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
}

} // namespace

bool CServerOutput::Accept(const char* bytes, int count)
{
    if (count <= 0) {
        m_closed = true;
        return true;
    }
    m_splitter.Feed(bytes, static_cast<std::size_t>(count), m_arrived);
    if (m_arrived.empty())
        return false;
    m_lastLine = CClock::now();
    bool wanted = m_stopLine.empty();
    for (std::string& line : m_arrived) {
        wanted = wanted || line == m_stopLine;
        m_lines.push_back(std::move(line));
    }
    m_arrived.clear();
    return wanted;
}

void CServerOutput::ReadAll(const std::function<int(char* buffer, int capacity)>& read)
{
    char buffer[kReadCapacity];
    for (;;) {
        const int count = read(buffer, kReadCapacity);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (Accept(buffer, count))
            m_changed.notify_all();
        if (count <= 0)
            return;
    }
}

bool CServerOutput::AwaitChange(std::unique_lock<std::mutex>& lock, CClock::time_point deadline)
{
    if (!m_pull)
        return m_changed.wait_until(lock, deadline) == std::cv_status::no_timeout;
    const CClock::time_point now = CClock::now();
    if (now >= deadline)
        return false;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    const uint32_t waitMs = left >= static_cast<long long>(kWaitForever) ? kWaitForever : static_cast<uint32_t>(left);
    char buffer[kReadCapacity];
    const int count = m_pull(buffer, kReadCapacity, waitMs);
    if (count == kNothingYet)
        return false;
    Accept(buffer, count);
    return true;
}

ELineWait CServerOutput::TakeLines(const std::string& stopLine, uint32_t waitMs, std::vector<std::string>& lines)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const CClock::time_point deadline = DeadlineAfter(waitMs);
    m_stopLine = stopLine;
    bool taken = false;
    bool stopped = false;
    const auto take = [&] {
        while (!m_lines.empty() && !stopped) {
            stopped = stopLine.empty() || m_lines.front() == stopLine;
            lines.push_back(std::move(m_lines.front()));
            m_lines.pop_front();
            taken = true;
        }
    };
    for (;;) {
        take();
        if (stopped || m_closed)
            break;
        if (!AwaitChange(lock, deadline)) {
            take();
            break;
        }
    }
    m_stopLine.clear();
    return taken ? ELineWait::Line : m_closed ? ELineWait::Closed : ELineWait::Nothing;
}

ELineWait CServerOutput::WaitForLine(std::string& line, uint32_t waitMs)
{
    std::vector<std::string> lines;
    const ELineWait waited = TakeLines(std::string(), waitMs, lines);
    if (waited == ELineWait::Line)
        line = std::move(lines.front());
    return waited;
}

ELineWait CServerOutput::WaitForStopLine(const std::string& stopLine, uint32_t silenceMs,
                                         std::vector<std::string>& lines)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const bool endless = silenceMs == 0 || silenceMs == kWaitForever;
    CClock::time_point lastLine = CClock::now();
    m_stopLine = stopLine;
    for (;;) {
        if (!m_lines.empty())
            lastLine = std::max(lastLine, m_lastLine);
        while (!m_lines.empty()) {
            std::string line = std::move(m_lines.front());
            m_lines.pop_front();
            if (line == stopLine) {
                m_stopLine.clear();
                return ELineWait::Line;
            }
            lines.push_back(std::move(line));
        }
        if (m_closed) {
            m_stopLine.clear();
            return ELineWait::Closed;
        }
        const CClock::time_point deadline =
            endless ? DeadlineAfter(kWaitForever) : lastLine + std::chrono::milliseconds(silenceMs);
        if (!AwaitChange(lock, deadline) && !endless && m_lines.empty() && !m_closed && m_lastLine <= lastLine) {
            m_stopLine.clear();
            return ELineWait::Nothing;
        }
    }
}

bool CServerOutput::WaitUntilClosed(uint32_t waitMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const CClock::time_point deadline = DeadlineAfter(waitMs);
    while (!m_closed) {
        if (!AwaitChange(lock, deadline) && !m_closed)
            return false;
    }
    return true;
}

std::string CServerOutput::GetPending()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_splitter.GetPending();
}
