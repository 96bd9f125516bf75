#include "client/PluginRecord.h"

#include <cstdio>

bool SPluginRecord::operator==(const SPluginRecord& other) const
{
    return id == other.id && name == other.name && vendor == other.vendor && product == other.product &&
           version == other.version && error == other.error && numInputs == other.numInputs &&
           numOutputs == other.numOutputs && wantsMidi == other.wantsMidi && sendsMidi == other.sendsMidi &&
           platform == other.platform && audio64 == other.audio64 && category == other.category &&
           synthEdit == other.synthEdit && shells == other.shells;
}

std::string HexId(uint32_t id)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(id));
    return text;
}

std::string DisplayId(uint32_t id)
{
    std::string code;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((id >> shift) & 0xFF);
        const bool readable = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                              c == '_' || c == '-' || c == '+' || c == '.' || c == ' ';
        if (!readable)
            return HexId(id);
        code.push_back(c);
    }
    // A code of spaces, or one with leading or trailing spaces, reads badly.
    if (code.front() == ' ' || code.back() == ' ')
        return HexId(id);
    return code;
}

bool ParseHexId(const std::string& text, uint32_t& id)
{
    if (text.empty() || text.size() > 8)
        return false;
    uint32_t value = 0;
    for (const char c : text) {
        uint32_t digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<uint32_t>(c - 'A' + 10);
        else
            return false;
        value = (value << 4) | digit;
    }
    id = value;
    return true;
}
