#include "scanner/DuplicateIds.h"

#include "wire/Protocol.h"

#include <map>

namespace {

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
    std::map<uint32_t, std::vector<const SDatabaseEntry*>> byId;
    for (const SDatabaseEntry* entry : entries)
        if (entry->outcome.kind == EOutcome::Scanned && entry->outcome.hasRecord)
            byId[entry->outcome.record.id].push_back(entry);
    std::vector<SDuplicateId> duplicates;
    for (auto& item : byId)
        if (item.second.size() > 1)
            duplicates.push_back(SDuplicateId{item.first, item.second, AreTwoBuilds(item.second)});
    return duplicates;
}

std::string FormatDuplicateIds(const std::vector<SDuplicateId>& duplicates)
{
    std::string text;
    for (const SDuplicateId& duplicate : duplicates) {
        std::string id = DisplayId(duplicate.id);
        if (id != HexId(duplicate.id))
            id += " (" + HexId(duplicate.id) + ")";
        if (duplicate.twoBuilds) {
            const SDatabaseEntry& loaded =
                *duplicate.entries[OutcomePlatform(duplicate.entries[0]->outcome) == kPlatformX64 ? 0 : 1];
            text += "Unique id " + id + " of the x64 and x86 builds of " + loaded.outcome.record.name +
                    ": no conflict, a host loads the x64 build " + loaded.Request() + "\n";
            continue;
        }
        text += "Duplicate unique id " + id + ":\n";
        for (const SDatabaseEntry* entry : duplicate.entries)
            text += "  " + entry->outcome.record.name + "  " + entry->Request() + "\n";
    }
    return text;
}
