#include "scanner/TextColumns.h"

namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

} // namespace

std::size_t DisplayWidth(const std::string& text)
{
    std::size_t width = 0;
    for (const char c : text)
        width += IsContinuationByte(c) ? 0 : 1;
    return width;
}

std::string FitWidth(const std::string& text, std::size_t width)
{
    if (DisplayWidth(text) <= width)
        return text;
    const std::string ellipsis = "...";
    if (width <= ellipsis.size())
        return ellipsis.substr(0, width);
    const std::size_t kept = width - ellipsis.size();
    std::size_t columns = 0;
    std::size_t end = 0;
    while (end < text.size()) {
        std::size_t next = end + 1;
        while (next < text.size() && IsContinuationByte(text[next]))
            ++next;
        if (columns + 1 > kept)
            break;
        ++columns;
        end = next;
    }
    return text.substr(0, end) + ellipsis;
}

std::string PadRight(const std::string& text, std::size_t width)
{
    const std::size_t current = DisplayWidth(text);
    return current >= width ? text : text + std::string(width - current, ' ');
}

std::string FileNameOf(const std::string& path)
{
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}
