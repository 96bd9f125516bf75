#include "scan/RecordJson.h"

#include "scan/PluginInfo.h"
#include "support/RecordLines.h"
#include "support/RecordSupport.h"
#include "support/RecordingSink.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <climits>
#include <regex>
#include <string>
#include <vector>

namespace {

/// The server's record of the host's: empty texts stay null.
CString Units(const std::string& utf8)
{
    return utf8.empty() ? CString() : Text(record_lines::Utf16(utf8).c_str());
}

SPluginRecord Record(uint32_t id, const char* name, const char* vendor, int32_t inputs, int32_t outputs, int32_t category,
                     std::vector<SSubPlugin> shells = {})
{
    SPluginRecord record;
    record.id = id;
    record.name = name;
    record.vendor = vendor;
    record.product = "Fixture \"Suite\" \\ 1/2";
    record.version = "1.2.0";
    record.numInputs = inputs;
    record.numOutputs = outputs;
    record.wantsMidi = category == 2;
    record.sendsMidi = inputs < 0;
    record.audio64 = outputs > 2;
    record.synthEdit = category == 1;
    record.platform = "x64";
    record.category = category;
    record.shells = std::move(shells);
    return record;
}

TEST(RecordJson, EveryLineIsOneTaggedWrite)
{
    // Failures, quotes, slashes, Latin-1, shells, empty ones too: the end-to-end server table.
    const SPluginRecord cases[] = {
        // Controls, DEL, beyond the BMP (both surrogates), an unpaired surrogate as it stands.
        Record(0xABCDEF10, "\b\t\n\f\r\x01\x1F\x7F end", "\xE2\x82\xAC \xF0\x9F\x8E\xB9 \xEF\xBF\xBF \xED\xB0\x80", -3,
               INT_MAX, INT_MIN),
        Record(0xFFFFFFFE, "Shell, {with} [brackets]: ,}", "", 0, 2, 10,
               {{0x5A5A0001, "Strings \"Ensemble\""}, {0xFFFFFFFF, ""}, {0x80000000, "\xC3\x9C" "ber/Pad"}}),
        // Sub-plug-ins are written for the shell category only.
        Record(12, "Not a shell", "", 0, 2, 1, {{1, "left over"}}),
    };
    for (const SPluginRecord& expected : cases) {
        CPluginInfo record;
        record.id = static_cast<int32_t>(expected.id);
        record.name = Units(expected.name);
        record.vendor = Units(expected.vendor);
        record.product = Units(expected.product);
        record.version = Units(expected.version);
        record.error = Units(expected.error);
        record.numInputs = expected.numInputs;
        record.numOutputs = expected.numOutputs;
        record.wantsMidi = expected.wantsMidi;
        record.sendsMidi = expected.sendsMidi;
        record.audio64 = expected.audio64;
        record.category = expected.category;
        record.synthEdit = expected.synthEdit;
        for (const SSubPlugin& sub : expected.shells)
            AddShell(record, static_cast<int32_t>(sub.id), record_lines::Utf16(sub.name).c_str());
        CRecordingSink sink;
        WriteRecordJson(record);
        std::vector<std::string> lines;
        std::string json;
        for (const std::string& line : record_lines::Lines(expected)) {
            lines.push_back(">:" + line + "\n");
            json += line + "\n";
        }
        EXPECT_EQ(lines, sink.writes);
        // A strict reader reads the same values once the trailing commas are gone; unpaired surrogates it refuses.
        const auto read = nlohmann::json::parse(std::regex_replace(json, std::regex(",(\n *[}])"), "$1"), nullptr, false);
        ASSERT_EQ(expected.vendor.find("\xED\xB0") != std::string::npos, read.is_discarded());
        if (!read.is_discarded()) {
            EXPECT_EQ(expected.name, read["name"]);
            EXPECT_EQ(expected.vendor, read["vendor"]);
            EXPECT_EQ(expected.product, read["product"]);
            EXPECT_EQ(expected.category == 10 ? expected.shells.size() : 0, read.value("shells", nlohmann::json::object()).size());
        }
    }
    EXPECT_NE(nullptr, JsonEscape(CString()).GetText()) << "null text escapes to an empty one";
}

} // namespace
