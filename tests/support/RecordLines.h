#pragma once
/// The record's lines as a host expects them, byte for byte, built from the
/// host's typed record independently of the server's writer: the one golden
/// record for the writer's tests, the reader's tests and the end-to-end runs.

#include "client/PluginRecord.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace record_lines {

/// The UTF-16 units of UTF-8 text (well-formed input; the tests make it).
inline std::u16string Utf16(const std::string& text)
{
    std::u16string units;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        char32_t point = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k)
            point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += 1 + extra;
        if (point < 0x10000) {
            units += static_cast<char16_t>(point);
        } else {
            units += static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
            units += static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
        }
    }
    return units;
}

/// units escaped for a JSON string: \b \t \n \f \r \" \/ \\, any other unit
/// below 0x20 or above 0x7E as \u with four lower-case hexadecimal digits.
inline std::string Escape(const std::u16string& units)
{
    const std::string named = "\bb\tt\nn\ff\rr\"\"//\\\\"; // each unit at an even place, its letter after it
    std::string escaped;
    for (const char16_t unit : units) {
        const std::size_t at = unit < 0x80 ? named.find(static_cast<char>(unit)) : std::string::npos;
        char piece[8];
        if (at != std::string::npos && at % 2 == 0)
            std::snprintf(piece, sizeof piece, "\\%c", named[at + 1]);
        else
            std::snprintf(piece, sizeof piece, unit < 0x20 || unit > 0x7E ? "\\u%04x" : "%c", static_cast<unsigned>(unit));
        escaped += piece;
    }
    return escaped;
}

inline std::string Quoted(const std::string& utf8) { return "\"" + Escape(Utf16(utf8)) + "\""; }
inline std::string Boolean(bool value) { return value ? "true" : "false"; }

/// The record's lines, each without the ">:" tag and without its "\n".
inline std::vector<std::string> Lines(const SPluginRecord& record)
{
    std::vector<std::string> lines = {
        "{",
        "  \"id\":        \"" + HexId(record.id) + "\",",
        "  \"name\":      " + Quoted(record.name) + ",",
        "  \"vendor\":    " + Quoted(record.vendor) + ",",
        "  \"product\":   " + Quoted(record.product) + ",",
        "  \"version\":   " + Quoted(record.version) + ",",
        "  \"error\":     " + Quoted(record.error) + ",",
        "  \"numInputs\": " + std::to_string(record.numInputs) + ",",
        "  \"numOutputs\":" + std::to_string(record.numOutputs) + ",",
        "  \"wantsMidi\":  " + Boolean(record.wantsMidi) + ",",
        "  \"sendsMidi\": " + Boolean(record.sendsMidi) + ",",
        "  \"platform\":  " + Quoted(record.platform) + ",",
        "  \"audio64\":   " + Boolean(record.audio64) + ",",
        "  \"category\":  " + std::to_string(record.category) + ",",
        "  \"synthEdit\": " + Boolean(record.synthEdit) + ",",
    };
    if (record.category == 10) {
        lines.push_back("  \"shells\": {");
        for (const SSubPlugin& sub : record.shells)
            lines.push_back("        \"" + HexId(sub.id) + "\": " + Quoted(sub.name) + ",");
        lines.push_back("  },");
    }
    lines.push_back("}");
    return lines;
}

/// The lines as the server writes them: each tagged ">:" and ended by "\n".
inline std::string Tagged(const SPluginRecord& record)
{
    std::string text;
    for (const std::string& line : Lines(record))
        text += ">:" + line + "\n";
    return text;
}

} // namespace record_lines
