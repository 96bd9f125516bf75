#include "client/EntryJson.h"

namespace {

CJsonObject RecordToJson(const SPluginRecord& record)
{
    CJsonObject json;
    json["id"] = HexId(record.id);
    json["name"] = record.name;
    json["vendor"] = record.vendor;
    json["product"] = record.product;
    json["version"] = record.version;
    json["error"] = record.error;
    json["numInputs"] = record.numInputs;
    json["numOutputs"] = record.numOutputs;
    json["wantsMidi"] = record.wantsMidi;
    json["sendsMidi"] = record.sendsMidi;
    json["platform"] = record.platform;
    json["audio64"] = record.audio64;
    json["category"] = record.category;
    json["synthEdit"] = record.synthEdit;
    if (record.IsShell() || !record.shells.empty()) {
        CJsonObject shells = CJsonObject::array();
        for (const SSubPlugin& sub : record.shells)
            shells.push_back(CJsonObject{{"id", HexId(sub.id)}, {"name", sub.name}});
        json["shells"] = std::move(shells);
    }
    return json;
}

bool ShellsFromJson(const CJsonObject& json, std::vector<SSubPlugin>& shells, std::string& error)
{
    if (!json.is_array()) {
        error = "\"shells\" is not an array";
        return false;
    }
    for (const CJsonObject& element : json) {
        SSubPlugin sub;
        if (!ReadHexId(element, "id", sub.id, error) || !ReadString(element, "name", sub.name, error)) {
            error = "a sub-plug-in in \"shells\": " + error;
            return false;
        }
        shells.push_back(std::move(sub));
    }
    return true;
}

bool RecordFromJson(const CJsonObject& json, SPluginRecord& record, std::string& error)
{
    if (!json.is_object()) {
        error = "\"record\" is not an object";
        return false;
    }
    bool ok = ReadHexId(json, "id", record.id, error) && ReadString(json, "name", record.name, error) &&
              ReadString(json, "vendor", record.vendor, error) &&
              ReadString(json, "product", record.product, error) &&
              ReadString(json, "version", record.version, error) && ReadString(json, "error", record.error, error) &&
              ReadInt32(json, "numInputs", record.numInputs, error) &&
              ReadInt32(json, "numOutputs", record.numOutputs, error) &&
              ReadBool(json, "wantsMidi", record.wantsMidi, error) &&
              ReadBool(json, "sendsMidi", record.sendsMidi, error) &&
              ReadString(json, "platform", record.platform, error) &&
              ReadBool(json, "audio64", record.audio64, error) &&
              ReadInt32(json, "category", record.category, error) &&
              ReadBool(json, "synthEdit", record.synthEdit, error);
    if (ok && json.contains("shells"))
        ok = ShellsFromJson(json.at("shells"), record.shells, error);
    if (!ok)
        error = "in \"record\", " + error;
    return ok;
}

} // namespace

CJsonObject EntryToJson(const SDatabaseEntry& entry)
{
    const SScanOutcome& outcome = entry.outcome;
    CJsonObject json;
    json["path"] = entry.path;
    if (entry.isSubPlugin)
        json["subId"] = HexId(entry.subId);
    json["fileSize"] = entry.stamp.size;
    json["fileTime"] = entry.stamp.modified;
    json["outcome"] = OutcomeName(outcome.kind);
    json["scannedAt"] = entry.scannedAt;
    if (!outcome.error.empty())
        json["error"] = outcome.error;
    if (outcome.hasRecord)
        json["record"] = RecordToJson(outcome.record);
    if (outcome.kind == EOutcome::Crashed)
        json["exitCode"] = outcome.exitCode;
    if (!outcome.dumpFiles.empty())
        json["dumps"] = outcome.dumpFiles;
    if (!outcome.lastLines.empty())
        json["lastLines"] = outcome.lastLines;
    if (!outcome.dialogs.empty())
        json["dialogs"] = outcome.dialogs;
    return json;
}

bool EntryFromJson(const CJsonObject& json, SDatabaseEntry& entry, std::string& error)
{
    if (!json.is_object()) {
        error = "entry that is not an object";
        return false;
    }
    SDatabaseEntry read;
    SScanOutcome& outcome = read.outcome;
    std::string outcomeName;
    std::string oldDump;
    read.isSubPlugin = json.contains("subId");
    bool ok = ReadString(json, "path", read.path, error) &&
              ReadHexId(json, "subId", read.subId, error, EPresence::Optional);
    // Named by its request as far as that could be read.
    const std::string name = read.path.empty() ? std::string("entry without a path")
                                               : "entry " + (ok ? read.Request() : read.path);
    ok = ok && ReadUInt64(json, "fileSize", read.stamp.size, error) &&
              ReadUInt64(json, "fileTime", read.stamp.modified, error) &&
              ReadString(json, "outcome", outcomeName, error) && ReadString(json, "scannedAt", read.scannedAt, error) &&
              ReadString(json, "error", outcome.error, error, EPresence::Optional) &&
              ReadStrings(json, "dumps", outcome.dumpFiles, error, EPresence::Optional) &&
              ReadString(json, "dumpFile", oldDump, error, EPresence::Optional) &&
              ReadStrings(json, "lastLines", outcome.lastLines, error, EPresence::Optional) &&
              ReadStrings(json, "dialogs", outcome.dialogs, error, EPresence::Optional);
    if (ok && !OutcomeFromName(outcomeName, outcome.kind)) {
        error = "\"outcome\" is unknown: " + outcomeName;
        ok = false;
    }
    // An exit code means something only for a crash, and is written only then.
    if (ok && outcome.kind == EOutcome::Crashed)
        ok = ReadUInt32(json, "exitCode", outcome.exitCode, error, EPresence::Optional);
    if (ok && json.contains("record")) {
        outcome.hasRecord = true;
        ok = RecordFromJson(json.at("record"), outcome.record, error);
    }
    if (!ok) {
        error = name + ": " + error;
        return false;
    }
    if (outcome.dumpFiles.empty() && !oldDump.empty())
        outcome.dumpFiles.push_back(oldDump);
    entry = std::move(read);
    return true;
}
