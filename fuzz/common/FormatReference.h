#pragma once
/// Small text helpers for the format and log oracles.

#include <string>

namespace format_reference {

inline std::u16string FromAscii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

/// Each byte becomes the unit of the same value.
inline std::u16string WidenBytes(const std::string& bytes)
{
    std::u16string units;
    for (const char byte : bytes) {
        units += static_cast<char16_t>(static_cast<unsigned char>(byte));
    }
    return units;
}

/// message as an output line carries it: every carriage return, and every line feed
/// but a final one, becomes '?', so that no text inside a message can start a line of
/// its own.
inline std::u16string OnOneLine(std::u16string message)
{
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (message[i] == u'\r' || (message[i] == u'\n' && i + 1 < message.size())) {
            message[i] = u'?';
        }
    }
    return message;
}

} // namespace format_reference
