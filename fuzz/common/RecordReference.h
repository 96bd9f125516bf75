#pragma once
/// The record's text as the host expects it, built independently of the server's
/// writer: the escape table of a JSON string member and the record's lines.

#include "scan/PluginInfo.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace record_reference {

/// units escaped for a JSON string literal: \b \t \n \f \r \" \/ \\, any other
/// unit below 0x20 or above 0x7E as \u with four lower-case hexadecimal digits.
inline std::string Escape(const std::u16string& units)
{
    std::string escaped;
    for (const char16_t unit : units) {
        switch (unit) {
        case u'\b': escaped += "\\b"; continue;
        case u'\t': escaped += "\\t"; continue;
        case u'\n': escaped += "\\n"; continue;
        case u'\f': escaped += "\\f"; continue;
        case u'\r': escaped += "\\r"; continue;
        case u'"': escaped += "\\\""; continue;
        case u'/': escaped += "\\/"; continue;
        case u'\\': escaped += "\\\\"; continue;
        default: break;
        }
        if (unit >= 0x20 && unit <= 0x7E) {
            escaped += static_cast<char>(unit);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(unit));
            escaped += escape;
        }
    }
    return escaped;
}

inline std::u16string Units(const CString& text)
{
    return text.GetText() != nullptr ? std::u16string(text.GetText()) : std::u16string();
}

inline std::string Hex8(std::int32_t value)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<std::uint32_t>(value));
    return hex;
}

inline const char* Boolean(bool value) { return value ? "true" : "false"; }

/// The record's lines, each with its "\n", without the ">:" tag.
inline std::vector<std::string> Lines(const CPluginInfo& record)
{
    std::vector<std::string> lines;
    lines.push_back("{\n");
    lines.push_back("  \"id\":        \"" + Hex8(record.id) + "\",\n");
    lines.push_back("  \"name\":      \"" + Escape(Units(record.name)) + "\",\n");
    lines.push_back("  \"vendor\":    \"" + Escape(Units(record.vendor)) + "\",\n");
    lines.push_back("  \"product\":   \"" + Escape(Units(record.product)) + "\",\n");
    lines.push_back("  \"version\":   \"" + Escape(Units(record.version)) + "\",\n");
    lines.push_back("  \"error\":     \"" + Escape(Units(record.error)) + "\",\n");
    lines.push_back("  \"numInputs\": " + std::to_string(record.numInputs) + ",\n");
    lines.push_back("  \"numOutputs\":" + std::to_string(record.numOutputs) + ",\n");
    lines.push_back(std::string("  \"wantsMidi\":  ") + Boolean(record.wantsMidi) + ",\n");
    lines.push_back(std::string("  \"sendsMidi\": ") + Boolean(record.sendsMidi) + ",\n");
    lines.push_back("  \"platform\":  \"x64\",\n");
    lines.push_back(std::string("  \"audio64\":   ") + Boolean(record.audio64) + ",\n");
    lines.push_back("  \"category\":  " + std::to_string(record.category) + ",\n");
    lines.push_back(std::string("  \"synthEdit\": ") + Boolean(record.synthEdit) + ",\n");
    if (record.category == 10) {
        lines.push_back("  \"shells\": {\n");
        for (std::int32_t i = 0; i < record.shells.GetCount(); ++i) {
            const CShellInfo* shell = record.shells.GetAt(i);
            lines.push_back("        \"" + Hex8(shell->id) + "\": \"" + Escape(Units(shell->name)) + "\",\n");
        }
        lines.push_back("  },\n");
    }
    lines.push_back("}\n");
    return lines;
}

} // namespace record_reference
