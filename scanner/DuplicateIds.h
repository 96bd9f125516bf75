#pragma once
/// Unique ids shared by different plug-ins. A host tells plug-ins apart by
/// their ids, so two plug-ins with one id shadow each other in its lists and
/// in saved projects. The x64 and the x86 build of one plug-in share their id
/// on purpose: that is no conflict, as a host loads the x64 build.

#include "client/ScanDatabase.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct SDuplicateId {
    uint32_t id = 0;
    std::vector<const SDatabaseEntry*> entries; ///< two or more, in the order given
    /// The entries are one x64 and one x86 build of the same plug-in (same name
    /// and vendor): not a conflict.
    bool twoBuilds = false;
};


/// The ids that more than one scanned entry (a library or a sub-plug-in)
/// reports, in id order. Entries without a successful scan do not count.
std::vector<SDuplicateId> FindDuplicateIds(const std::vector<const SDatabaseEntry*>& entries);

/// Takes the next piece of a report: whole lines.
using CPieceWriter = std::function<void(const std::string& piece)>;

/// The report given to write in pieces of tens of kilobytes, each ending with
/// a whole line: one block per id, one line per plug-in, and one line per pair
/// of builds saying which one a host loads; nothing when there are none. Copies
/// of one plug-in make a block of thousands of lines, never held whole.
void WriteDuplicateIds(const std::vector<SDuplicateId>& duplicates, const CPieceWriter& write);
/// WriteDuplicateIds' lines as one text; empty when there are none.
std::string FormatDuplicateIds(const std::vector<SDuplicateId>& duplicates);
