// From the server's record writer to the host's record reader: an arbitrary
// record (well-formed texts, as every text the server builds is) written by
// WriteRecordJson and fed line by line into CRecordReader must be read back
// whole and equal: the id's 32 bits, every text as UTF-8 of its units (null as
// empty), the counts, the flags, "x64", the category, and for the shell category
// the sub-plug-ins in order (when their ids are distinct, as the probe makes them).

#include "common/FuzzCheck.h"
#include "common/RecordGenerator.h"
#include "common/RecordReference.h"
#include "common/UnicodeReference.h"
#include "support/RecordingSink.h"

#include "client/PluginRecord.h"
#include "client/RecordReader.h"
#include "scan/PluginInfo.h"
#include "scan/RecordJson.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <set>
#include <string>

namespace {

std::string Utf8(const CString& text) { return unicode_reference::EncodeUtf8(record_reference::Units(text)); }

bool HasDistinctShellIds(const CPluginInfo& record)
{
    std::set<std::int32_t> ids;
    for (std::int32_t i = 0; i < record.shells.GetCount(); ++i) {
        if (!ids.insert(record.shells.GetAt(i)->id).second) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    CPluginInfo record;
    record_generator::ConsumeRecord(provider, record_generator::ETexts::WellFormed, record);

    CRecordingSink sink;
    WriteRecordJson(record);

    CRecordReader reader;
    for (std::size_t i = 0; i < sink.writes.size(); ++i) {
        const std::string& line = sink.writes[i];
        FUZZ_CHECK(line.size() >= 3 && line.compare(0, 2, ">:") == 0 && line.back() == '\n');
        const bool complete = reader.AddLine(line.substr(2, line.size() - 3));
        FUZZ_CHECK(complete == (i + 1 == sink.writes.size()));
    }

    SPluginRecord read;
    std::string error;
    FUZZ_CHECK_MSG(reader.Parse(read, error), error);
    FUZZ_CHECK(read.id == static_cast<std::uint32_t>(record.id));
    FUZZ_CHECK(read.name == Utf8(record.name));
    FUZZ_CHECK(read.vendor == Utf8(record.vendor));
    FUZZ_CHECK(read.product == Utf8(record.product));
    FUZZ_CHECK(read.version == Utf8(record.version));
    FUZZ_CHECK(read.error == Utf8(record.error));
    FUZZ_CHECK(read.numInputs == record.numInputs && read.numOutputs == record.numOutputs);
    FUZZ_CHECK(read.wantsMidi == record.wantsMidi && read.sendsMidi == record.sendsMidi);
    FUZZ_CHECK(read.audio64 == record.audio64 && read.synthEdit == record.synthEdit);
    FUZZ_CHECK(read.platform == "x64");
    FUZZ_CHECK(read.category == record.category);
    if (record.category != kPlugCategoryShell) {
        FUZZ_CHECK(read.shells.empty());
    } else if (HasDistinctShellIds(record)) {
        FUZZ_CHECK(read.shells.size() == static_cast<std::size_t>(record.shells.GetCount()));
        for (std::int32_t i = 0; i < record.shells.GetCount(); ++i) {
            const SSubPlugin& shell = read.shells[static_cast<std::size_t>(i)];
            FUZZ_CHECK(shell.id == static_cast<std::uint32_t>(record.shells.GetAt(i)->id));
            FUZZ_CHECK(shell.name == Utf8(record.shells.GetAt(i)->name));
        }
    }
    return 0;
}
