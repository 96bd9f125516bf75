// WriteRecordJson on arbitrary records (any id and counts, texts of arbitrary
// UTF-16 units or null, any category, up to 40 sub-plug-ins with any ids and
// names). Every write is one line, ">:" and printable ASCII up to its "\n"; the
// lines are the expected layout byte for byte; and their text, once the commas
// before a closing brace are removed, is strict JSON whose members come in the
// record's order with the record's values, every text reading back unit for unit.

#include "common/FuzzCheck.h"
#include "common/RecordGenerator.h"
#include "common/RecordReference.h"
#include "common/StrictJson.h"
#include "support/RecordingSink.h"

#include "scan/PluginInfo.h"
#include "scan/RecordJson.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ref = record_reference;

namespace {

const SJsonValue& Member(const SJsonValue& object, std::size_t index, const char16_t* name)
{
    FUZZ_CHECK(index < object.members.size());
    FUZZ_CHECK_MSG(object.members[index].first == name,
                   "member " + std::to_string(index) + " is '" + Printable(object.members[index].first) + "'");
    return object.members[index].second;
}

void CheckText(const SJsonValue& value, const CString& text)
{
    FUZZ_CHECK(value.kind == SJsonValue::EKind::String);
    FUZZ_CHECK_MSG(value.text == ref::Units(text),
                   "read back '" + Printable(value.text) + "', written '" + Printable(ref::Units(text)) + "'");
}

void CheckNumber(const SJsonValue& value, std::int32_t number)
{
    FUZZ_CHECK(value.kind == SJsonValue::EKind::Number);
    FUZZ_CHECK(value.number == std::to_string(number));
}

void CheckBoolean(const SJsonValue& value, bool flag)
{
    FUZZ_CHECK(value.kind == (flag ? SJsonValue::EKind::True : SJsonValue::EKind::False));
}

void CheckHex(const SJsonValue& value, std::int32_t id)
{
    FUZZ_CHECK(value.kind == SJsonValue::EKind::String);
    FUZZ_CHECK(value.text.size() == 8 && std::stoul(std::string(value.text.begin(), value.text.end()), nullptr, 16) ==
                                             static_cast<std::uint32_t>(id));
}

void CheckParsedRecord(const SJsonValue& root, const CPluginInfo& record)
{
    FUZZ_CHECK(root.kind == SJsonValue::EKind::Object);
    const bool shell = record.category == 10;
    FUZZ_CHECK(root.members.size() == (shell ? 15u : 14u));
    CheckHex(Member(root, 0, u"id"), record.id);
    CheckText(Member(root, 1, u"name"), record.name);
    CheckText(Member(root, 2, u"vendor"), record.vendor);
    CheckText(Member(root, 3, u"product"), record.product);
    CheckText(Member(root, 4, u"version"), record.version);
    CheckText(Member(root, 5, u"error"), record.error);
    CheckNumber(Member(root, 6, u"numInputs"), record.numInputs);
    CheckNumber(Member(root, 7, u"numOutputs"), record.numOutputs);
    CheckBoolean(Member(root, 8, u"wantsMidi"), record.wantsMidi);
    CheckBoolean(Member(root, 9, u"sendsMidi"), record.sendsMidi);
    const SJsonValue& platform = Member(root, 10, u"platform");
    FUZZ_CHECK(platform.kind == SJsonValue::EKind::String && platform.text == u"x64");
    CheckBoolean(Member(root, 11, u"audio64"), record.audio64);
    CheckNumber(Member(root, 12, u"category"), record.category);
    CheckBoolean(Member(root, 13, u"synthEdit"), record.synthEdit);
    if (!shell) {
        return;
    }
    const SJsonValue& shells = Member(root, 14, u"shells");
    FUZZ_CHECK(shells.kind == SJsonValue::EKind::Object);
    FUZZ_CHECK(shells.members.size() == static_cast<std::size_t>(record.shells.GetCount()));
    for (std::int32_t i = 0; i < record.shells.GetCount(); ++i) {
        const CShellInfo* info = record.shells.GetAt(i);
        const std::u16string& key = shells.members[static_cast<std::size_t>(i)].first;
        FUZZ_CHECK(std::string(key.begin(), key.end()) == ref::Hex8(info->id));
        CheckText(shells.members[static_cast<std::size_t>(i)].second, info->name);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    CPluginInfo record;
    record_generator::ConsumeRecord(provider, record_generator::ETexts::AnyUnits, record);

    CRecordingSink sink;
    WriteRecordJson(record);

    const std::vector<std::string> expected = ref::Lines(record);
    FUZZ_CHECK_MSG(sink.writes.size() == expected.size(), std::to_string(sink.writes.size()) + " lines written, expected " +
                                                              std::to_string(expected.size()));
    std::string json;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::string& line = sink.writes[i];
        FUZZ_CHECK_MSG(line.size() >= 3 && line.compare(0, 2, ">:") == 0 && line.back() == '\n', Printable(line));
        for (std::size_t at = 0; at + 1 < line.size(); ++at) {
            FUZZ_CHECK_MSG(line[at] >= 0x20 && line[at] <= 0x7E, "not printable ASCII: " + Printable(line));
        }
        FUZZ_CHECK_MSG(line.substr(2) == expected[i], "line " + std::to_string(i) + " is '" + Printable(line) +
                                                          "', expected '" + Printable(expected[i]) + "'");
        json += line.substr(2);
    }

    SJsonValue root;
    FUZZ_CHECK_MSG(CStrictJsonReader::Parse(RemoveTrailingCommas(json), root), "not JSON:\n" + json);
    CheckParsedRecord(root, record);
    return 0;
}
