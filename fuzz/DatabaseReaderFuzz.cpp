// The database reader on arbitrary text. CScanDatabase::FromJson must never
// throw or crash. A file it refuses leaves nothing behind but an error. A file
// it takes: every entry of its "plugins" list is either kept or left out with a
// line that names the member at fault (quoted), in the list's order; every
// entry kept goes through the entry writer and reader to the same entry; and
// the database written and read again is the same, with nothing left out.

#include "common/FuzzCheck.h"

#include "client/EntryJson.h"
#include "client/ScanDatabase.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

/// Every member an entry or its record has; a rejection names one of them.
constexpr const char* kMembers[] = {
    "path", "subId", "fileSize", "fileTime", "outcome", "scannedAt", "error", "record", "exitCode",
    "dumps", "dumpFile", "lastLines", "dialogs", "id", "name", "vendor", "product", "version",
    "numInputs", "numOutputs", "wantsMidi", "sendsMidi", "platform", "audio64", "category", "synthEdit", "shells",
};

bool NamesAMember(const std::string& problem)
{
    for (const char* member : kMembers)
        if (problem.find(std::string("\"") + member + "\"") != std::string::npos)
            return true;
    return false;
}

bool SameEntry(const SDatabaseEntry& a, const SDatabaseEntry& b)
{
    const SScanOutcome& x = a.outcome;
    const SScanOutcome& y = b.outcome;
    return a.path == b.path && a.isSubPlugin == b.isSubPlugin && a.subId == b.subId && a.stamp == b.stamp &&
           a.scannedAt == b.scannedAt && x.kind == y.kind && x.hasRecord == y.hasRecord && x.record == y.record &&
           x.error == y.error && x.exitCode == y.exitCode && x.dumpFiles == y.dumpFiles &&
           x.lastLines == y.lastLines && x.dialogs == y.dialogs;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    CScanDatabase database;
    std::string error;
    std::vector<std::string> rejected;
    if (!database.FromJson(text, error, rejected)) {
        FUZZ_CHECK(!error.empty() && rejected.empty() && database.Size() == 0);
        return 0;
    }

    // Taken, so it is JSON with a "plugins" list.
    const CJsonObject document = CJsonObject::parse(text);
    std::size_t next = 0;
    for (const CJsonObject& item : document.at("plugins")) {
        SDatabaseEntry entry;
        std::string problem;
        if (EntryFromJson(item, entry, problem))
            continue;
        FUZZ_CHECK_MSG(next < rejected.size() && rejected[next] == problem, problem);
        FUZZ_CHECK_MSG(!item.is_object() || NamesAMember(problem), problem);
        ++next;
    }
    FUZZ_CHECK(next == rejected.size());

    for (const SDatabaseEntry* entry : database.Entries()) {
        SDatabaseEntry again;
        std::string problem;
        FUZZ_CHECK_MSG(EntryFromJson(EntryToJson(*entry), again, problem), problem);
        FUZZ_CHECK_MSG(SameEntry(*entry, again), EntryToJson(*entry).dump());
    }
    const std::string written = database.ToJson();
    CScanDatabase reread;
    FUZZ_CHECK_MSG(reread.FromJson(written, error, rejected), error);
    FUZZ_CHECK(rejected.empty());
    FUZZ_CHECK(reread.ToJson() == written);
    return 0;
}
