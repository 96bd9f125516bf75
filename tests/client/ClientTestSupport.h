#pragma once
// Builders of outcomes and database entries shared by the client's and the scanner's unit tests.

#include "client/ScanDatabase.h"

#include <cstdint>
#include <string>
#include <vector>

inline SScanOutcome ScannedOutcome(uint32_t id, const std::string& name, std::vector<SSubPlugin> shells = {})
{
    SScanOutcome outcome;
    outcome.kind = EOutcome::Scanned;
    outcome.hasRecord = true;
    outcome.record.id = id;
    outcome.record.name = name;
    outcome.record.vendor = "Vostrel Software";
    outcome.record.version = "1.0.0.0";
    outcome.record.platform = "x64";
    outcome.record.numOutputs = 2;
    outcome.record.category = shells.empty() ? 1 : 10;
    outcome.record.shells = std::move(shells);
    return outcome;
}

inline SScanOutcome ProblemOutcome(EOutcome kind, const std::string& error, std::vector<std::string> dumps = {})
{
    SScanOutcome outcome;
    outcome.kind = kind;
    outcome.error = error;
    outcome.exitCode = kind == EOutcome::Crashed ? 9 : 0;
    outcome.dumpFiles = std::move(dumps);
    return outcome;
}

/// The entry of a library, or (subId non-zero) of the shell's sub-plug-in.
inline SDatabaseEntry Entry(const std::string& path, SFileStamp stamp, SScanOutcome outcome, uint32_t subId = 0)
{
    SDatabaseEntry entry;
    entry.path = path;
    entry.isSubPlugin = subId != 0;
    entry.subId = subId;
    entry.stamp = stamp;
    entry.outcome = std::move(outcome);
    entry.scannedAt = "2024-03-07T09:05:01Z";
    return entry;
}

/// The requests of entries, in order ("path" or "path>XXXXXXXX").
inline std::vector<std::string> Requests(const std::vector<const SDatabaseEntry*>& entries)
{
    std::vector<std::string> requests;
    for (const SDatabaseEntry* entry : entries)
        requests.push_back(entry->Request());
    return requests;
}
