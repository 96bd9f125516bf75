// The record writer on arbitrary input. JsonEscape of any UTF-16 units (lone
// surrogates included) is the escape table unit for unit, leaves its source as it
// was, and when the units are well-formed reads back through nlohmann-json. A
// record with well-formed texts (as every text the server builds is; any id,
// counts, category, up to 40 sub-plug-ins) is written one tagged line per write,
// exactly the host's expected lines; without the commas before a closing brace
// the text is strict JSON with the record's members in order and values; and the
// host's CRecordReader reads it back equal.

#include "common/FuzzCheck.h"
#include "common/RecordGenerator.h"
#include "common/StringChecks.h"
#include "common/UnicodeReference.h"
#include "support/RecordLines.h"
#include "support/RecordingSink.h"

#include "client/RecordReader.h"
#include "scan/RecordJson.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace {

using COrderedJson = nlohmann::ordered_json;

std::string Utf8(const CString& text) { return unicode_reference::EncodeUtf8(CheckedText(text)); }

void CheckEscape(const CString& text)
{
    const std::u16string units = CheckedText(text);
    const CString copy = text;
    const int references = text.GetReferenceCount();
    const CString escaped = JsonEscape(text);
    FUZZ_CHECK(escaped.GetText() != nullptr);
    const std::u16string escapedUnits = CheckedText(escaped);
    const std::string ascii(escapedUnits.begin(), escapedUnits.end());
    FUZZ_CHECK_MSG(ascii == record_lines::Escape(units), "escaped '" + Printable(units) + "' as '" + Printable(escapedUnits) + "'");
    FUZZ_CHECK(text.GetText() == copy.GetText() && text.GetReferenceCount() == references && CheckedText(text) == units);
    if (unicode_reference::IsWellFormedUtf16(units)) {
        const COrderedJson value = COrderedJson::parse("\"" + ascii + "\"", nullptr, false);
        FUZZ_CHECK_MSG(value.is_string() && value.get<std::string>() == unicode_reference::EncodeUtf8(units), ascii);
    }
}

SPluginRecord HostRecord(const CPluginInfo& record)
{
    SPluginRecord host;
    host.id = static_cast<uint32_t>(record.id);
    host.name = Utf8(record.name);
    host.vendor = Utf8(record.vendor);
    host.product = Utf8(record.product);
    host.version = Utf8(record.version);
    host.error = Utf8(record.error);
    host.numInputs = record.numInputs;
    host.numOutputs = record.numOutputs;
    host.wantsMidi = record.wantsMidi;
    host.sendsMidi = record.sendsMidi;
    host.platform = "x64";
    host.audio64 = record.audio64;
    host.category = record.category;
    host.synthEdit = record.synthEdit;
    for (int i = 0; host.IsShell() && i < record.shells.GetCount(); ++i)
        host.shells.push_back({static_cast<uint32_t>(record.shells.GetAt(i)->id), Utf8(record.shells.GetAt(i)->name)});
    return host;
}

/// The record as a strict reader must see it; a repeated sub-plug-in id keeps its first place and last name.
COrderedJson Json(const SPluginRecord& r)
{
    COrderedJson json = {{"id", HexId(r.id)},         {"name", r.name},           {"vendor", r.vendor},
                         {"product", r.product},       {"version", r.version},     {"error", r.error},
                         {"numInputs", r.numInputs},   {"numOutputs", r.numOutputs}, {"wantsMidi", r.wantsMidi},
                         {"sendsMidi", r.sendsMidi},   {"platform", r.platform},   {"audio64", r.audio64},
                         {"category", r.category},     {"synthEdit", r.synthEdit}};
    if (r.IsShell()) {
        json["shells"] = COrderedJson::object();
        for (const SSubPlugin& sub : r.shells)
            json["shells"][HexId(sub.id)] = sub.name;
    }
    return json;
}

bool HasDistinctIds(const SPluginRecord& record)
{
    for (std::size_t i = 0; i < record.shells.size(); ++i) {
        for (std::size_t k = 0; k < i; ++k) {
            if (record.shells[i].id == record.shells[k].id)
                return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    CheckEscape(record_generator::ConsumeText(provider, record_generator::ETexts::AnyUnits));
    CPluginInfo record;
    record_generator::ConsumeRecord(provider, record_generator::ETexts::WellFormed, record);
    const SPluginRecord expected = HostRecord(record);

    CRecordingSink sink;
    WriteRecordJson(record);
    FUZZ_CHECK(HostRecord(record) == expected);
    const std::vector<std::string> lines = record_lines::Lines(expected);
    FUZZ_CHECK(sink.writes.size() == lines.size());
    std::string strict;
    CRecordReader reader;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        FUZZ_CHECK_MSG(sink.writes[i] == ">:" + lines[i] + "\n", "line " + std::to_string(i) + ": " + Printable(sink.writes[i]));
        const bool beforeBrace = i + 1 < lines.size() && lines[i + 1].find_first_not_of(' ') == lines[i + 1].find('}');
        strict += beforeBrace && lines[i].back() == ',' ? lines[i].substr(0, lines[i].size() - 1) : lines[i];
        FUZZ_CHECK(reader.AddLine(lines[i]) == (i + 1 == lines.size()));
    }
    const COrderedJson parsed = COrderedJson::parse(strict, nullptr, false);
    FUZZ_CHECK_MSG(!parsed.is_discarded() && parsed == Json(expected), "not the record:\n" + strict);

    SPluginRecord read;
    std::string error;
    FUZZ_CHECK_MSG(reader.Parse(read, error), error);
    FUZZ_CHECK(!HasDistinctIds(expected) || read == expected);
    return 0;
}
