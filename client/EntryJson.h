#pragma once
/// The JSON form of one database entry, shared by the database file and the
/// scanner's --json output.
///
/// An entry: "path", "subId" (sub-plug-ins only, eight hex digits),
/// "fileSize", "fileTime" (100 ns units since 1601), "outcome" (OutcomeName),
/// "scannedAt", then what applies: "error", "record" (the plug-in record with
/// "shells" as an array of {"id", "name"}), "exitCode" (crashed only), "dumps"
/// (every dump of the request), "lastLines", "dialogs". Files written before
/// there was a list hold one "dumpFile" instead of "dumps"; it is still read.

#include "client/DatabaseEntry.h"
#include "client/JsonMembers.h"

#include <string>

CJsonObject EntryToJson(const SDatabaseEntry& entry);

/// False, with error set, when the JSON is not an entry: the error names the
/// entry (its request, as far as it could be read) and the member at fault.
bool EntryFromJson(const CJsonObject& json, SDatabaseEntry& entry, std::string& error);
