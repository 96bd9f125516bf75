#include "client/RecordReader.h"

#include "client/JsonMembers.h"

namespace {

/// The text without commas that stand directly (spacing aside) before a closing
/// brace or bracket; commas inside strings are kept.
std::string WithoutTrailingCommas(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            result.push_back(c);
            if (c == '\\' && i + 1 < text.size())
                result.push_back(text[++i]);
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == ',') {
            std::size_t next = i + 1;
            while (next < text.size() && (text[next] == ' ' || text[next] == '\t' || text[next] == '\n' ||
                                          text[next] == '\r'))
                ++next;
            if (next < text.size() && (text[next] == '}' || text[next] == ']'))
                continue;
        }
        result.push_back(c);
    }
    return result;
}

bool ReadShells(const CJsonObject& object, std::vector<SSubPlugin>& shells, std::string& error)
{
    const auto found = object.find(RecordMemberName(kMemberShells));
    if (found == object.end())
        return true;
    if (!found->is_object()) {
        error = "\"shells\" is not an object";
        return false;
    }
    for (const auto& item : found->items()) {
        SSubPlugin sub;
        if (!ParseHexId(item.key(), sub.id) || !item.value().is_string()) {
            error = "\"shells\" lists a sub-plug-in that is not an id and a name: " + item.key();
            return false;
        }
        sub.name = item.value().get<std::string>();
        shells.push_back(std::move(sub));
    }
    return true;
}

} // namespace

bool ReadRecordMembers(const CJsonObject& object, SPluginRecord& record, std::string& error)
{
    const auto name = RecordMemberName;
    return ReadHexId(object, name(kMemberId), record.id, error) &&
           ReadString(object, name(kMemberName), record.name, error) &&
           ReadString(object, name(kMemberVendor), record.vendor, error) &&
           ReadString(object, name(kMemberProduct), record.product, error) &&
           ReadString(object, name(kMemberVersion), record.version, error) &&
           ReadString(object, name(kMemberError), record.error, error) &&
           ReadInt32(object, name(kMemberNumInputs), record.numInputs, error) &&
           ReadInt32(object, name(kMemberNumOutputs), record.numOutputs, error) &&
           ReadBool(object, name(kMemberWantsMidi), record.wantsMidi, error) &&
           ReadBool(object, name(kMemberSendsMidi), record.sendsMidi, error) &&
           ReadString(object, name(kMemberPlatform), record.platform, error) &&
           ReadBool(object, name(kMemberAudio64), record.audio64, error) &&
           ReadInt32(object, name(kMemberCategory), record.category, error) &&
           ReadBool(object, name(kMemberSynthEdit), record.synthEdit, error);
}

bool CRecordReader::AddLine(const std::string& text)
{
    if (m_complete)
        return true;
    m_text += text;
    m_text += '\n';
    // Every string in the record is escaped, so only the record's own closing
    // line is a bare brace.
    m_complete = text == "}";
    return m_complete;
}

bool CRecordReader::Parse(SPluginRecord& record, std::string& error) const
{
    if (!m_complete) {
        error = m_text.empty() ? "the server answered without a record" : "the record is incomplete";
        return false;
    }
    return ParseRecordText(m_text, record, error);
}

bool ParseRecordText(const std::string& text, SPluginRecord& record, std::string& error)
{
    CJsonObject object;
    const CJsonEmptier emptier(object);
    try {
        object = CJsonObject::parse(WithoutTrailingCommas(text));
    } catch (const CJsonObject::exception& failure) { // parse_error, or out_of_range for a number like 1e400
        error = std::string("the record is not well-formed: ") + failure.what();
        return false;
    }
    if (!object.is_object()) {
        error = "the record is not an object";
        return false;
    }
    SPluginRecord parsed;
    const bool ok = ReadRecordMembers(object, parsed, error) && ReadShells(object, parsed.shells, error);
    if (!ok) {
        error = "the record's " + error;
        return false;
    }
    record = std::move(parsed);
    return true;
}
