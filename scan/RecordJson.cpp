#include "scan/RecordJson.h"

#include "scan/PluginInfo.h"
#include "scan/Vst2.h"
#include "server/OutputChannel.h"

#include <climits>
#include <cstdint>

namespace {

// Longest escape of one code unit: \u and four hex digits.
constexpr int kLongestEscape = 6;

// Writes the escape of unit into out and returns its length (1 when the unit stands for itself).
int EscapeUnit(char16_t unit, char16_t* out)
{
    char16_t shortEscape = 0;
    switch (unit) {
    case 0x08: shortEscape = u'b'; break;
    case 0x09: shortEscape = u't'; break;
    case 0x0A: shortEscape = u'n'; break;
    case 0x0C: shortEscape = u'f'; break;
    case 0x0D: shortEscape = u'r'; break;
    case u'"': shortEscape = u'"'; break;
    case u'/': shortEscape = u'/'; break;
    case u'\\': shortEscape = u'\\'; break;
    default: break;
    }
    if (shortEscape != 0) {
        out[0] = u'\\';
        out[1] = shortEscape;
        return 2;
    }
    if (unit >= 0x20 && unit <= 0x7E) {
        out[0] = unit;
        return 1;
    }
    static const char16_t kHexDigits[] = u"0123456789abcdef";
    out[0] = u'\\';
    out[1] = u'u';
    for (int digit = 0; digit < 4; ++digit) {
        out[2 + digit] = kHexDigits[(unit >> (12 - 4 * digit)) & 0xF];
    }
    return kLongestEscape;
}

// The text for a "%s" argument: never null, so the formatter never writes its null placeholder.
const char16_t* Text(const CString& text) { return text.GetText() != nullptr ? text.GetText() : u""; }

const char16_t* Boolean(bool value) { return value ? u"true" : u"false"; }

// "%.8X" takes the id's 32 bits as they are: -1 is FFFFFFFF.
unsigned HexId(std::int32_t id) { return static_cast<std::uint32_t>(id); }

void WriteShells(const CPluginInfo& record)
{
    LogRecord(u"  \"shells\": {\n");
    for (std::int32_t i = 0; i < record.shells.GetCount(); ++i) {
        const CShellInfo* shell = record.shells.GetAt(i);
        LogRecord(u"        \"%.8X\": \"%s\",\n", HexId(shell->id), Text(JsonEscape(shell->name)));
    }
    LogRecord(u"  },\n");
}

} // namespace

CString JsonEscape(const CString& text)
{
    const int length = text.GetLength();
    const char16_t* units = text.GetText();
    char16_t piece[kLongestEscape];
    std::int64_t escapedLength = 0;
    for (int i = 0; i < length; ++i) {
        escapedLength += EscapeUnit(units[i], piece);
    }

    CString escaped;
    char16_t* out = escaped.GetBuffer(escapedLength <= INT_MAX ? static_cast<int>(escapedLength) : -1);
    if (out == nullptr) {
        return escaped;
    }
    for (int i = 0; i < length; ++i) {
        out += EscapeUnit(units[i], out);
    }
    *out = 0;
    return escaped;
}

void WriteRecordJson(const CPluginInfo& record)
{
    LogRecord(u"{\n");
    LogRecord(u"  \"id\":        \"%.8X\",\n", HexId(record.id));
    LogRecord(u"  \"name\":      \"%s\",\n", Text(JsonEscape(record.name)));
    LogRecord(u"  \"vendor\":    \"%s\",\n", Text(JsonEscape(record.vendor)));
    LogRecord(u"  \"product\":   \"%s\",\n", Text(JsonEscape(record.product)));
    LogRecord(u"  \"version\":   \"%s\",\n", Text(JsonEscape(record.version)));
    LogRecord(u"  \"error\":     \"%s\",\n", Text(JsonEscape(record.error)));
    LogRecord(u"  \"numInputs\": %i,\n", record.numInputs);
    LogRecord(u"  \"numOutputs\":%i,\n", record.numOutputs);
    LogRecord(u"  \"wantsMidi\":  %s,\n", Boolean(record.wantsMidi));
    LogRecord(u"  \"sendsMidi\": %s,\n", Boolean(record.sendsMidi));
    LogRecord(u"  \"platform\":  \"%s\",\n", u"x64");
    LogRecord(u"  \"audio64\":   %s,\n", Boolean(record.audio64));
    LogRecord(u"  \"category\":  %i,\n", record.category);
    LogRecord(u"  \"synthEdit\": %s,\n", Boolean(record.synthEdit));
    if (record.category == kPlugCategoryShell) {
        WriteShells(record);
    }
    LogRecord(u"}\n");
}
