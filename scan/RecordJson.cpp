#include "scan/RecordJson.h"

#include "process/OutputChannel.h"
#include "scan/PluginInfo.h"
#include "vst/Vst2.h"
#include "wire/Protocol.h"

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

/// Writes one member line: its name, its column gap and its JSON value, which
/// the record ends with a comma whatever follows.
void WriteMember(ERecordMember member, const char16_t* value)
{
    const SRecordMember& spelling = kRecordMembers[member];
    LogRecord(u"  \"%S\":%S%s,\n", spelling.name, spelling.gap, value);
}

void WriteMember(ERecordMember member, const CString& value) { WriteMember(member, Text(value)); }

CString Quoted(const CString& text) { return CString::Format(u"\"%s\"", Text(JsonEscape(text))); }

CString Number(std::int32_t value) { return CString::Format(u"%i", value); }

void WriteShells(const CPluginInfo& record)
{
    const SRecordMember& spelling = kRecordMembers[kMemberShells];
    LogRecord(u"  \"%S\":%S{\n", spelling.name, spelling.gap);
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
    WriteMember(kMemberId, CString::Format(u"\"%.8X\"", HexId(record.id)));
    WriteMember(kMemberName, Quoted(record.name));
    WriteMember(kMemberVendor, Quoted(record.vendor));
    WriteMember(kMemberProduct, Quoted(record.product));
    WriteMember(kMemberVersion, Quoted(record.version));
    WriteMember(kMemberError, Quoted(record.error));
    WriteMember(kMemberNumInputs, Number(record.numInputs));
    WriteMember(kMemberNumOutputs, Number(record.numOutputs));
    WriteMember(kMemberWantsMidi, (Boolean(record.wantsMidi)));
    WriteMember(kMemberSendsMidi, (Boolean(record.sendsMidi)));
    WriteMember(kMemberPlatform, CString::Format(u"\"%s\"", kServerPlatformUtf16));
    WriteMember(kMemberAudio64, (Boolean(record.audio64)));
    WriteMember(kMemberCategory, Number(record.category));
    WriteMember(kMemberSynthEdit, (Boolean(record.synthEdit)));
    if (record.category == kPlugCategoryShell) {
        WriteShells(record);
    }
    LogRecord(u"}\n");
}
