#pragma once
/// \file
/// One entry of the scanner's database: a plug-in library or a sub-plug-in of
/// a shell, the file as it was scanned, and how the scan ended.

#include "client/ScanOutcome.h"

#include <cstdint>
#include <string>

/// What tells a changed file from an unchanged one.
struct SFileStamp {
    uint64_t size = 0;     ///< bytes
    uint64_t modified = 0; ///< last write time, 100 ns units since 1601 (the platform's file time)

    /// Same size and same modification time: the file counts as unchanged.
    bool operator==(const SFileStamp& other) const { return size == other.size && modified == other.modified; }
    /// The file changed.
    bool operator!=(const SFileStamp& other) const { return !(*this == other); }
};

/// One plug-in or sub-plug-in as the database keeps it.
struct SDatabaseEntry {
    std::string path;         ///< the library's full path
    bool isSubPlugin = false; ///< a sub-plug-in of the shell at path
    uint32_t subId = 0;       ///< its id, for a sub-plug-in
    SFileStamp stamp;         ///< the library file as it was scanned
    SScanOutcome outcome;     ///< how its last scan ended, with the record
    std::string scannedAt;    ///< UTC, "2024-03-07T09:05:01Z"
    /// Its scan ended in the database's latest run (the run marks it); the file
    /// does not keep it, so an entry read from the file has false.
    bool scannedThisRun = false;

    /// "path", or "path>XXXXXXXX" for a sub-plug-in: the request that scans it.
    std::string Request() const { return isSubPlugin ? path + ">" + HexId(subId) : path; }
};
