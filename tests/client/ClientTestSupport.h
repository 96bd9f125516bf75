#pragma once
// Builders of outcomes and database entries shared by the client's unit tests.

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

inline SScanOutcome ProblemOutcome(EOutcome kind, const std::string& error)
{
    SScanOutcome outcome;
    outcome.kind = kind;
    outcome.error = error;
    return outcome;
}

inline SDatabaseEntry Entry(const std::string& path, SFileStamp stamp, SScanOutcome outcome)
{
    SDatabaseEntry entry;
    entry.path = path;
    entry.stamp = stamp;
    entry.outcome = std::move(outcome);
    entry.scannedAt = "2024-03-07T09:05:01Z";
    return entry;
}

inline SDatabaseEntry SubEntry(const std::string& path, uint32_t id, SFileStamp stamp, SScanOutcome outcome)
{
    SDatabaseEntry entry = Entry(path, stamp, std::move(outcome));
    entry.isSubPlugin = true;
    entry.subId = id;
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
