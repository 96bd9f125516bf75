#include "client/RecordReader.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <limits>

namespace {

using COrderedJson = nlohmann::ordered_json;

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

bool ReadString(const COrderedJson& object, const char* member, std::string& value, std::string& error)
{
    const auto found = object.find(member);
    if (found == object.end() || !found->is_string()) {
        error = std::string("the record has no string \"") + member + "\"";
        return false;
    }
    value = found->get<std::string>();
    return true;
}

bool ReadBool(const COrderedJson& object, const char* member, bool& value, std::string& error)
{
    const auto found = object.find(member);
    if (found == object.end() || !found->is_boolean()) {
        error = std::string("the record has no boolean \"") + member + "\"";
        return false;
    }
    value = found->get<bool>();
    return true;
}

bool ReadInt32(const COrderedJson& object, const char* member, int32_t& value, std::string& error)
{
    const auto found = object.find(member);
    if (found == object.end() || !found->is_number_integer()) {
        error = std::string("the record has no integer \"") + member + "\"";
        return false;
    }
    if (found->is_number_unsigned()) {
        const auto number = found->get<uint64_t>();
        if (number > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
            error = std::string("\"") + member + "\" is out of range";
            return false;
        }
        value = static_cast<int32_t>(number);
        return true;
    }
    const auto number = found->get<int64_t>();
    if (number < std::numeric_limits<int32_t>::min() || number > std::numeric_limits<int32_t>::max()) {
        error = std::string("\"") + member + "\" is out of range";
        return false;
    }
    value = static_cast<int32_t>(number);
    return true;
}

bool ReadId(const COrderedJson& object, uint32_t& id, std::string& error)
{
    std::string text;
    if (!ReadString(object, "id", text, error))
        return false;
    if (!ParseHexId(text, id)) {
        error = "the record's \"id\" is not hexadecimal: " + text;
        return false;
    }
    return true;
}

bool ReadShells(const COrderedJson& object, std::vector<SSubPlugin>& shells, std::string& error)
{
    const auto found = object.find("shells");
    if (found == object.end())
        return true;
    if (!found->is_object()) {
        error = "the record's \"shells\" is not an object";
        return false;
    }
    for (const auto& item : found->items()) {
        SSubPlugin sub;
        if (!ParseHexId(item.key(), sub.id) || !item.value().is_string()) {
            error = "the record lists a sub-plug-in that is not an id and a name: " + item.key();
            return false;
        }
        sub.name = item.value().get<std::string>();
        shells.push_back(std::move(sub));
    }
    return true;
}

} // namespace

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
    COrderedJson object;
    try {
        object = COrderedJson::parse(WithoutTrailingCommas(text));
    } catch (const COrderedJson::exception& failure) { // parse_error, or out_of_range for a number like 1e400
        error = std::string("the record is not well-formed: ") + failure.what();
        return false;
    }
    if (!object.is_object()) {
        error = "the record is not an object";
        return false;
    }
    SPluginRecord parsed;
    const bool ok = ReadId(object, parsed.id, error) && ReadString(object, "name", parsed.name, error) &&
                    ReadString(object, "vendor", parsed.vendor, error) &&
                    ReadString(object, "product", parsed.product, error) &&
                    ReadString(object, "version", parsed.version, error) &&
                    ReadString(object, "error", parsed.error, error) &&
                    ReadInt32(object, "numInputs", parsed.numInputs, error) &&
                    ReadInt32(object, "numOutputs", parsed.numOutputs, error) &&
                    ReadBool(object, "wantsMidi", parsed.wantsMidi, error) &&
                    ReadBool(object, "sendsMidi", parsed.sendsMidi, error) &&
                    ReadString(object, "platform", parsed.platform, error) &&
                    ReadBool(object, "audio64", parsed.audio64, error) &&
                    ReadInt32(object, "category", parsed.category, error) &&
                    ReadBool(object, "synthEdit", parsed.synthEdit, error) &&
                    ReadShells(object, parsed.shells, error);
    if (!ok)
        return false;
    record = std::move(parsed);
    return true;
}
