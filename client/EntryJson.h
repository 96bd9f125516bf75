#pragma once
/// The JSON form of one database entry, shared by the database file and the
/// scanner's --json output.
///
/// An entry: "path", "subId" (sub-plug-ins only, eight hex digits),
/// "fileSize", "fileTime" (100 ns units since 1601), "outcome" (OutcomeName),
/// "scannedAt", then what applies: "error", "record" (the plug-in record with
/// "shells" as an array of {"id", "name"}), "exitCode", "dumpFile",
/// "lastLines", "dialogs".

#include "client/ScanDatabase.h"

#include <nlohmann/json.hpp>

#include <string>

nlohmann::ordered_json EntryToJson(const SDatabaseEntry& entry);

/// False, with error set, when the JSON is not an entry.
bool EntryFromJson(const nlohmann::ordered_json& json, SDatabaseEntry& entry, std::string& error);
