#include "client/ServerOutput.h"

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
        for (std::string& line : arrived)
            m_lines.push_back(std::move(line));
        arrived.clear();
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
