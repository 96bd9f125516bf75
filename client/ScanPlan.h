#pragma once
/// What a scan run does with each library it finds, given the database: the
/// incremental rules.
///
/// A library is scanned when it is new, when its size or modification time
/// changed, or when asked to rescan everything. An unchanged library keeps its
/// entry, including a crash or a time-out, unless asked to retry those. An
/// unchanged shell whose sub-plug-ins were not all scanned (an interrupted run)
/// scans just the missing ones.

#include "client/ScanDatabase.h"

#include <cstdint>
#include <string>
#include <vector>

/// A library file found by the walk.
struct SLibraryFile {
    std::string path;
    SFileStamp stamp;
};

struct SPlanOptions {
    bool rescanAll = false;     ///< scan every library again
    bool retryProblems = false; ///< scan unchanged crashed and timed-out entries again
};

enum class EPlanAction {
    Skip,           ///< the database entries stand
    ScanLibrary,    ///< scan the library (and, for a shell, all its sub-plug-ins)
    ScanSubPlugins, ///< scan only subPlugins of the unchanged shell
};

struct SLibraryPlan {
    EPlanAction action = EPlanAction::ScanLibrary;
    std::vector<uint32_t> subPlugins; ///< ScanSubPlugins: the ids to scan, in the shell's order
};

/// Whether an entry must be scanned again for a library file with this stamp.
bool NeedsScan(const SDatabaseEntry& entry, const SFileStamp& stamp, const SPlanOptions& options);

/// What to do with one library.
SLibraryPlan PlanLibrary(const CScanDatabase& database, const SLibraryFile& file, const SPlanOptions& options);
