// The host's record reader on arbitrary text (no zero bytes: a server line never
// holds one). ParseRecordText must never throw or crash, and must accept exactly
// the texts that are JSON once the commas before a closing brace or bracket are
// removed and that hold every record member with its type: "id" as one to eight
// hexadecimal digits, the six texts, the three integers within 32 bits, the four
// booleans, and "shells", when present, an object of ids and names. The oracle is
// the strict reader of the fuzz targets plus those rules; a later duplicate member
// wins, and a lone surrogate escape anywhere makes the text unreadable (the
// reader's JSON library requires pairs). Then the line-by-line CRecordReader must
// agree with ParseRecordText over the lines up to the record's closing "}".

#include "common/FuzzCheck.h"
#include "common/StrictJson.h"
#include "common/UnicodeReference.h"

#include "client/PluginRecord.h"
#include "client/RecordReader.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace {

using EKind = SJsonValue::EKind;

/// Deepest nesting of braces and brackets outside strings.
int NestingDepth(const std::string& text)
{
    int depth = 0;
    int deepest = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            deepest = std::max(deepest, ++depth);
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return deepest;
}

bool HasLoneSurrogate(const SJsonValue& value)
{
    if (value.kind == EKind::String) {
        return !unicode_reference::IsWellFormedUtf16(value.text);
    }
    for (const SJsonValue& element : value.elements) {
        if (HasLoneSurrogate(element)) {
            return true;
        }
    }
    for (const auto& member : value.members) {
        if (!unicode_reference::IsWellFormedUtf16(member.first) || HasLoneSurrogate(member.second)) {
            return true;
        }
    }
    return false;
}

/// The members with later duplicates winning, in the order of first appearance.
std::vector<std::pair<std::u16string, const SJsonValue*>> Collapse(const SJsonValue& object)
{
    std::vector<std::pair<std::u16string, const SJsonValue*>> members;
    std::map<std::u16string, std::size_t> positions;
    for (const auto& member : object.members) {
        const auto found = positions.find(member.first);
        if (found == positions.end()) {
            positions[member.first] = members.size();
            members.emplace_back(member.first, &member.second);
        } else {
            members[found->second].second = &member.second;
        }
    }
    return members;
}

const SJsonValue* Find(const std::vector<std::pair<std::u16string, const SJsonValue*>>& members, const char16_t* name)
{
    for (const auto& member : members) {
        if (member.first == name) {
            return member.second;
        }
    }
    return nullptr;
}

bool ReadHexId(const std::u16string& text, std::uint32_t& id)
{
    if (text.empty() || text.size() > 8) {
        return false;
    }
    id = 0;
    for (const char16_t unit : text) {
        int digit = -1;
        if (unit >= u'0' && unit <= u'9') digit = unit - u'0';
        if (unit >= u'a' && unit <= u'f') digit = unit - u'a' + 10;
        if (unit >= u'A' && unit <= u'F') digit = unit - u'A' + 10;
        if (digit < 0) {
            return false;
        }
        id = id << 4 | static_cast<std::uint32_t>(digit);
    }
    return true;
}

bool Text(const SJsonValue* value, std::string& text)
{
    if (value == nullptr || value->kind != EKind::String) {
        return false;
    }
    text = unicode_reference::EncodeUtf8(value->text);
    return true;
}

bool Boolean(const SJsonValue* value, bool& flag)
{
    if (value == nullptr || (value->kind != EKind::True && value->kind != EKind::False)) {
        return false;
    }
    flag = value->kind == EKind::True;
    return true;
}

/// An integer written without fraction or exponent that fits 32 signed bits.
bool Int32(const SJsonValue* value, std::int32_t& number)
{
    if (value == nullptr || value->kind != EKind::Number ||
        value->number.find_first_of(".eE") != std::string::npos) {
        return false;
    }
    const bool negative = value->number[0] == '-';
    const std::string digits = value->number.substr(negative ? 1 : 0);
    if (digits.size() > 10) {
        return false;
    }
    const std::int64_t magnitude = std::stoll(digits);
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue < INT32_MIN || signedValue > INT32_MAX) {
        return false;
    }
    number = static_cast<std::int32_t>(signedValue);
    return true;
}

bool Shells(const SJsonValue* value, std::vector<SSubPlugin>& shells)
{
    if (value == nullptr) {
        return true;
    }
    if (value->kind != EKind::Object) {
        return false;
    }
    for (const auto& member : Collapse(*value)) {
        SSubPlugin shell;
        if (!ReadHexId(member.first, shell.id) || !Text(member.second, shell.name)) {
            return false;
        }
        shells.push_back(shell);
    }
    return true;
}

/// Whether the reader must accept the text, and what it must read.
bool ExpectedRecord(const std::string& text, SPluginRecord& record)
{
    const bool bom = text.compare(0, 3, "\xEF\xBB\xBF") == 0;
    SJsonValue root;
    if (!CStrictJsonReader::Parse(RemoveTrailingCommas(text.substr(bom ? 3 : 0)), root) || HasLoneSurrogate(root) ||
        root.kind != EKind::Object) {
        return false;
    }
    const auto members = Collapse(root);
    std::string id;
    return Text(Find(members, u"id"), id) && ReadHexId(std::u16string(id.begin(), id.end()), record.id) &&
           Text(Find(members, u"name"), record.name) && Text(Find(members, u"vendor"), record.vendor) &&
           Text(Find(members, u"product"), record.product) && Text(Find(members, u"version"), record.version) &&
           Text(Find(members, u"error"), record.error) && Int32(Find(members, u"numInputs"), record.numInputs) &&
           Int32(Find(members, u"numOutputs"), record.numOutputs) &&
           Boolean(Find(members, u"wantsMidi"), record.wantsMidi) &&
           Boolean(Find(members, u"sendsMidi"), record.sendsMidi) &&
           Text(Find(members, u"platform"), record.platform) && Boolean(Find(members, u"audio64"), record.audio64) &&
           Int32(Find(members, u"category"), record.category) &&
           Boolean(Find(members, u"synthEdit"), record.synthEdit) && Shells(Find(members, u"shells"), record.shells);
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

    // The strict reader stops at its nesting limit; deeper texts are only run.
    if (NestingDepth(text) < CStrictJsonReader::kMaxDepth) {
        SPluginRecord expected;
        const bool expectedAccepted = ExpectedRecord(text, expected);
        FUZZ_CHECK_MSG(accepted == expectedAccepted, std::string(accepted ? "accepted" : "rejected (" + error + ")") +
                                                         ":\n" + Printable(text));
        FUZZ_CHECK_MSG(!accepted || record == expected,
                       "read   " + Describe(record) + "\nexpected " + Describe(expected) + "\n" + Printable(text));
    }
    CheckLineReader(text);
    return 0;
}
