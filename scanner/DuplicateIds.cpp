#include "scanner/DuplicateIds.h"

#include "wire/Protocol.h"

#include <cstddef>
#include <map>
#include <utility>

namespace {

/// The report is written in pieces of about this many bytes.
constexpr std::size_t kReportPieceBytes = 64 * 1024;

bool AreTwoBuilds(const std::vector<const SDatabaseEntry*>& entries)
{
    if (entries.size() != 2)
        return false;
    const SPluginRecord& first = entries[0]->outcome.record;
    const SPluginRecord& second = entries[1]->outcome.record;
    const std::string platforms = OutcomePlatform(entries[0]->outcome) + OutcomePlatform(entries[1]->outcome);
    return (platforms == std::string(kPlatformX64) + kPlatformX86 || platforms == std::string(kPlatformX86) + kPlatformX64) &&
           first.name == second.name && first.vendor == second.vendor;
}

} // namespace

std::vector<SDuplicateId> FindDuplicateIds(const std::vector<const SDatabaseEntry*>& entries)
{
    // Counted first, so that only shared ids get lists, each made at its size:
    // copies of one plug-in make one list as long as the collection.
    const auto isScanned = [](const SDatabaseEntry* entry) {
        return entry->outcome.kind == EOutcome::Scanned && entry->outcome.hasRecord;
    };
    std::map<uint32_t, std::size_t> sharing;
    for (const SDatabaseEntry* entry : entries)
        if (isScanned(entry))
            ++sharing[entry->outcome.record.id];
    std::map<uint32_t, std::vector<const SDatabaseEntry*>> byId;
    for (const auto& item : sharing)
        if (item.second > 1)
            byId[item.first].reserve(item.second);
    for (const SDatabaseEntry* entry : entries) {
        const auto shared = isScanned(entry) ? byId.find(entry->outcome.record.id) : byId.end();
        if (shared != byId.end())
            shared->second.push_back(entry);
    }
    std::vector<SDuplicateId> duplicates;
    for (auto& item : byId) {
        const bool twoBuilds = AreTwoBuilds(item.second);
        duplicates.push_back(SDuplicateId{item.first, std::move(item.second), twoBuilds});
    }
    return duplicates;
}

void WriteDuplicateIds(const std::vector<SDuplicateId>& duplicates, const CPieceWriter& write)
{
    std::string text;
    const auto addLine = [&text, &write](const std::string& line) {
        text += line;
        if (text.size() >= kReportPieceBytes) {
            write(text);
            text.clear();
        }
    };
    for (const SDuplicateId& duplicate : duplicates) {
        std::string id = DisplayId(duplicate.id);
        if (id != HexId(duplicate.id))
            id += " (" + HexId(duplicate.id) + ")";
        if (duplicate.twoBuilds) {
            const SDatabaseEntry& loaded =
                *duplicate.entries[OutcomePlatform(duplicate.entries[0]->outcome) == kPlatformX64 ? 0 : 1];
            addLine("Unique id " + id + " of the x64 and x86 builds of " + loaded.outcome.record.name +
                    ": no conflict, a host loads the x64 build " + loaded.Request() + "\n");
            continue;
        }
        addLine("Duplicate unique id " + id + ":\n");
        for (const SDatabaseEntry* entry : duplicate.entries)
            addLine("  " + entry->outcome.record.name + "  " + entry->Request() + "\n");
    }
    if (!text.empty())
        write(text);
}

std::string FormatDuplicateIds(const std::vector<SDuplicateId>& duplicates)
{
    std::string text;
    WriteDuplicateIds(duplicates, [&text](const std::string& piece) { text += piece; });
    return text;
}
