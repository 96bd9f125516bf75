// The host's record reader on arbitrary text (no zero bytes: a server line never
// holds one). ParseRecordText must never throw or crash, and must accept exactly
// the texts that nlohmann-json reads strictly once the commas before a closing
// brace or bracket are removed, and that hold every record member with its type:
// "id" as one to eight hexadecimal digits, the six texts, the three integers
// within 32 bits, the four booleans, and "shells", when present, an object of ids
// and names (a later duplicate member wins). Then the line-by-line CRecordReader
// must agree with ParseRecordText over the lines up to the record's closing "}".

#include "common/FuzzCheck.h"

#include "client/PluginRecord.h"
#include "client/RecordReader.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using CJson = nlohmann::ordered_json;

/// The text without the commas that stand before a closing brace or bracket.
std::string RemoveTrailingCommas(const std::string& text)
{
    std::string kept;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString && c == '\\') {
            kept += text.substr(i++, 2);
            continue;
        }
        inString = c == '"' ? !inString : inString;
        const std::size_t next = text.find_first_not_of(" \t\r\n", i + 1);
        if (inString || c != ',' || next == std::string::npos || (text[next] != '}' && text[next] != ']'))
            kept += c;
    }
    return kept;
}

bool ReadId(const CJson* value, std::uint32_t& id)
{
    if (value == nullptr || !value->is_string())
        return false;
    const std::string& text = value->get_ref<const std::string&>();
    if (text.empty() || text.size() > 8 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    id = static_cast<std::uint32_t>(std::stoul(text, nullptr, 16));
    return true;
}

bool Text(const CJson* value, std::string& text)
{
    if (value == nullptr || !value->is_string())
        return false;
    text = value->get<std::string>();
    return true;
}

bool Boolean(const CJson* value, bool& flag)
{
    if (value == nullptr || !value->is_boolean())
        return false;
    flag = value->get<bool>();
    return true;
}

bool Int32(const CJson* value, std::int32_t& number)
{
    if (value == nullptr || !value->is_number_integer())
        return false;
    const bool fits = value->is_number_unsigned() ? value->get<std::uint64_t>() <= INT32_MAX
                                                  : value->get<std::int64_t>() >= INT32_MIN;
    number = fits ? value->get<std::int32_t>() : 0;
    return fits;
}

bool Shells(const CJson* value, std::vector<SSubPlugin>& shells)
{
    if (value == nullptr)
        return true;
    if (!value->is_object())
        return false;
    for (const auto& member : value->items()) {
        SSubPlugin shell;
        const CJson key = member.key();
        if (!ReadId(&key, shell.id) || !Text(&member.value(), shell.name))
            return false;
        shells.push_back(shell);
    }
    return true;
}

/// Whether the reader must accept the text, and what it must read.
bool ExpectedRecord(const std::string& text, SPluginRecord& record)
{
    const CJson root = CJson::parse(RemoveTrailingCommas(text), nullptr, false);
    if (!root.is_object())
        return false;
    const auto find = [&root](const char* name) { return root.contains(name) ? &root.at(name) : nullptr; };
    return ReadId(find("id"), record.id) && Text(find("name"), record.name) && Text(find("vendor"), record.vendor) &&
           Text(find("product"), record.product) && Text(find("version"), record.version) &&
           Text(find("error"), record.error) && Int32(find("numInputs"), record.numInputs) &&
           Int32(find("numOutputs"), record.numOutputs) && Boolean(find("wantsMidi"), record.wantsMidi) &&
           Boolean(find("sendsMidi"), record.sendsMidi) && Text(find("platform"), record.platform) &&
           Boolean(find("audio64"), record.audio64) && Int32(find("category"), record.category) &&
           Boolean(find("synthEdit"), record.synthEdit) && Shells(find("shells"), record.shells);
}

/// Feeds the text line by line; the reader must agree with ParseRecordText over
/// the lines up to the one that completes the record.
void CheckLineReader(const std::string& text)
{
    CRecordReader reader;
    std::string fed;
    bool complete = false;
    for (std::size_t start = 0; start <= text.size() && !complete;) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        fed += line + "\n";
        complete = reader.AddLine(line);
        FUZZ_CHECK(complete == (line == "}"));
        start = end + 1;
    }
    FUZZ_CHECK(reader.IsComplete() == complete);
    FUZZ_CHECK(reader.HasStarted());

    SPluginRecord fromLines;
    std::string lineError;
    const bool parsed = reader.Parse(fromLines, lineError);
    if (!complete) {
        FUZZ_CHECK(!parsed && !lineError.empty());
        return;
    }
    SPluginRecord fromText;
    std::string textError;
    FUZZ_CHECK(parsed == ParseRecordText(fed, fromText, textError));
    FUZZ_CHECK(!parsed || fromLines == fromText);
}

std::string Describe(const SPluginRecord& record)
{
    std::string text = HexId(record.id) + " '" + Printable(record.name) + "' '" + Printable(record.vendor) + "' '" +
                       Printable(record.product) + "' '" + Printable(record.version) + "' '" +
                       Printable(record.error) + "' " + std::to_string(record.numInputs) + " " +
                       std::to_string(record.numOutputs) + " " + std::to_string(record.category) + " '" +
                       Printable(record.platform) + "' shells:";
    for (const SSubPlugin& shell : record.shells) {
        text += " " + HexId(shell.id) + "='" + Printable(shell.name) + "'";
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string text = input.substr(0, input.find('\0'));

    SPluginRecord record;
    std::string error;
    const bool accepted = ParseRecordText(text, record, error);
    FUZZ_CHECK(accepted || !error.empty());

    SPluginRecord expected;
    const bool expectedAccepted = ExpectedRecord(text, expected);
    FUZZ_CHECK_MSG(accepted == expectedAccepted,
                   std::string(accepted ? "accepted" : "rejected (" + error + ")") + ":\n" + Printable(text));
    FUZZ_CHECK_MSG(!accepted || record == expected,
                   "read   " + Describe(record) + "\nexpected " + Describe(expected) + "\n" + Printable(text));
    CheckLineReader(text);
    return 0;
}
