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

bool ReadId(const CJson& value, std::uint32_t& id)
{
    const std::string text = value.is_string() ? value.get<std::string>() : std::string();
    if (text.empty() || text.size() > 8 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    id = static_cast<std::uint32_t>(std::stoul(text, nullptr, 16));
    return true;
}

/// Whether the reader must accept the text, and what it must read.
bool ExpectedRecord(const std::string& input, SPluginRecord& r)
{
    const CJson root = CJson::parse(RemoveTrailingCommas(input), nullptr, false);
    if (!root.is_object() || !root.contains("id") || !ReadId(root["id"], r.id))
        return false;
    bool typed = true;
    const auto has = [&root, &typed](const char* name, bool (CJson::*is)() const noexcept) {
        return typed = typed && root.contains(name) && (root[name].*is)();
    };
    for (const auto& [name, to] : {std::pair("name", &r.name), {"vendor", &r.vendor}, {"product", &r.product},
                                   {"version", &r.version}, {"error", &r.error}, {"platform", &r.platform}})
        *to = has(name, &CJson::is_string) ? root[name].get<std::string>() : std::string();
    for (const auto& [name, to] : {std::pair("wantsMidi", &r.wantsMidi), {"sendsMidi", &r.sendsMidi},
                                   {"audio64", &r.audio64}, {"synthEdit", &r.synthEdit}})
        *to = has(name, &CJson::is_boolean) && root[name].get<bool>();
    for (const auto& [name, to] : {std::pair("numInputs", &r.numInputs), {"numOutputs", &r.numOutputs}, {"category", &r.category}}) {
        typed = has(name, &CJson::is_number_integer) && (root[name].is_number_unsigned() ? root[name].get<std::uint64_t>() <= INT32_MAX
                                                                                          : root[name].get<std::int64_t>() >= INT32_MIN);
        *to = typed ? root[name].get<std::int32_t>() : 0;
    }
    if (!typed || !root.contains("shells"))
        return typed;
    if (!root["shells"].is_object())
        return false;
    for (const auto& member : root["shells"].items()) {
        SSubPlugin shell;
        if (!ReadId(CJson(member.key()), shell.id) || !member.value().is_string())
            return false;
        shell.name = member.value().get<std::string>();
        r.shells.push_back(shell);
    }
    return true;
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
    FUZZ_CHECK_MSG(!accepted || record == expected, "read differently:\n" + Printable(text));
    CheckLineReader(text);
    return 0;
}
