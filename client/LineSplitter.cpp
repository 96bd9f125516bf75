#include "client/LineSplitter.h"

void CLineSplitter::Feed(const char* bytes, std::size_t count, std::vector<std::string>& lines)
{
    const char* end = bytes + count;
    for (const char* cursor = bytes; cursor != end; ++cursor) {
        if (*cursor == '\n') {
            lines.push_back(std::move(m_pending));
            m_pending.clear();
        } else {
            m_pending.push_back(*cursor);
        }
    }
}

std::string LineTag(const std::string& line)
{
    const std::size_t colon = line.find(':');
    return colon == std::string::npos ? std::string() : line.substr(0, colon);
}

std::string LineText(const std::string& line)
{
    const std::size_t colon = line.find(':');
    return colon == std::string::npos ? line : line.substr(colon + 1);
}
