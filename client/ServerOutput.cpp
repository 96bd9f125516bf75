#include "client/ServerOutput.h"

#include <algorithm>
#include <chrono>
#include <vector>

void CServerOutput::ReadAll(const std::function<int(char* buffer, int capacity)>& read)
{
    char buffer[4096];
    std::vector<std::string> arrived;
    for (;;) {
        const int count = read(buffer, static_cast<int>(sizeof buffer));
        std::lock_guard<std::mutex> lock(m_mutex);
        if (count <= 0) {
            m_closed = true;
            m_changed.notify_all();
            return;
        }
        m_splitter.Feed(buffer, static_cast<std::size_t>(count), arrived);
        if (arrived.empty())
            continue;
        m_lastLine = std::chrono::steady_clock::now();
        bool wake = m_stopLine.empty();
        for (std::string& line : arrived) {
            wake = wake || line == m_stopLine;
            m_lines.push_back(std::move(line));
        }
        arrived.clear();
        if (wake)
            m_changed.notify_all();
    }
}

ELineWait CServerOutput::WaitForLine(std::string& line, uint32_t waitMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto arrived = [this] { return !m_lines.empty() || m_closed; };
    if (!m_changed.wait_for(lock, std::chrono::milliseconds(waitMs), arrived))
        return ELineWait::Nothing;
    if (m_lines.empty())
        return ELineWait::Closed;
    line = std::move(m_lines.front());
    m_lines.pop_front();
    return ELineWait::Line;
}

ELineWait CServerOutput::WaitForStopLine(const std::string& stopLine, uint32_t silenceMs,
                                         std::vector<std::string>& lines)
{
    using CClock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> lock(m_mutex);
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
        const CClock::time_point deadline = lastLine + std::chrono::milliseconds(silenceMs);
        if (silenceMs == 0 || silenceMs == kWaitForever) {
            m_changed.wait(lock);
        } else if (m_changed.wait_until(lock, deadline) == std::cv_status::timeout && m_lines.empty() && !m_closed &&
                   m_lastLine <= lastLine) {
            m_stopLine.clear();
            return ELineWait::Nothing;
        }
    }
}

bool CServerOutput::WaitUntilClosed(uint32_t waitMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return m_closed; });
}

std::string CServerOutput::GetPending()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_splitter.GetPending();
}
