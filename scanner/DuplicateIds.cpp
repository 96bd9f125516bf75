#include "scanner/DuplicateIds.h"

#include <map>

std::vector<SDuplicateId> FindDuplicateIds(const std::vector<const SDatabaseEntry*>& entries)
{
    std::map<uint32_t, std::vector<const SDatabaseEntry*>> byId;
    for (const SDatabaseEntry* entry : entries)
        if (entry->outcome.kind == EOutcome::Scanned && entry->outcome.hasRecord)
            byId[entry->outcome.record.id].push_back(entry);
    std::vector<SDuplicateId> duplicates;
    for (auto& item : byId)
        if (item.second.size() > 1)
            duplicates.push_back(SDuplicateId{item.first, std::move(item.second)});
    return duplicates;
}

std::string FormatDuplicateIds(const std::vector<SDuplicateId>& duplicates)
{
    std::string text;
    for (const SDuplicateId& duplicate : duplicates) {
        text += "Duplicate unique id " + DisplayId(duplicate.id);
        if (DisplayId(duplicate.id) != HexId(duplicate.id))
            text += " (" + HexId(duplicate.id) + ")";
        text += ":\n";
        for (const SDatabaseEntry* entry : duplicate.entries)
            text += "  " + entry->outcome.record.name + "  " + entry->Request() + "\n";
    }
    return text;
}
