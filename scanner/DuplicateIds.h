#pragma once
/// Unique ids shared by different plug-ins. A host tells plug-ins apart by
/// their ids, so two plug-ins with one id shadow each other in its lists and
/// in saved projects.

#include "client/ScanDatabase.h"

#include <cstdint>
#include <string>
#include <vector>

struct SDuplicateId {
    uint32_t id = 0;
    std::vector<const SDatabaseEntry*> entries; ///< two or more, in the order given
};

/// The ids that more than one scanned entry (a library or a sub-plug-in)
/// reports, in id order. Entries without a successful scan do not count.
std::vector<SDuplicateId> FindDuplicateIds(const std::vector<const SDatabaseEntry*>& entries);

/// The report's text: one block per id, one line per plug-in; empty when there
/// are none.
std::string FormatDuplicateIds(const std::vector<SDuplicateId>& duplicates);
