#include "client/EntryJson.h"

namespace {

using COrderedJson = nlohmann::ordered_json;

COrderedJson RecordToJson(const SPluginRecord& record)
{
    COrderedJson json;
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
    if (record.IsShell()) {
        COrderedJson shells = COrderedJson::array();
        for (const SSubPlugin& sub : record.shells)
            shells.push_back(COrderedJson{{"id", HexId(sub.id)}, {"name", sub.name}});
        json["shells"] = std::move(shells);
    }
    return json;
}

/// Reads a member of the expected type; a missing optional member leaves value alone.
template <class TValue>
bool Member(const COrderedJson& json, const char* name, TValue& value, bool required, std::string& error)
{
    const auto found = json.find(name);
    if (found == json.end()) {
        if (required)
            error = std::string("missing \"") + name + "\"";
        return !required;
    }
    try {
        value = found->get<TValue>();
    } catch (const COrderedJson::exception&) {
        error = std::string("\"") + name + "\" has the wrong type";
        return false;
    }
    return true;
}

bool HexMember(const COrderedJson& json, const char* name, uint32_t& id, std::string& error)
{
    std::string text;
    if (!Member(json, name, text, true, error))
        return false;
    if (!ParseHexId(text, id)) {
        error = std::string("\"") + name + "\" is not a hexadecimal id";
        return false;
    }
    return true;
}

bool RecordFromJson(const COrderedJson& json, SPluginRecord& record, std::string& error)
{
    if (!json.is_object()) {
        error = "\"record\" is not an object";
        return false;
    }
    const bool ok = HexMember(json, "id", record.id, error) && Member(json, "name", record.name, true, error) &&
                    Member(json, "vendor", record.vendor, true, error) &&
                    Member(json, "product", record.product, true, error) &&
                    Member(json, "version", record.version, true, error) &&
                    Member(json, "error", record.error, true, error) &&
                    Member(json, "numInputs", record.numInputs, true, error) &&
                    Member(json, "numOutputs", record.numOutputs, true, error) &&
                    Member(json, "wantsMidi", record.wantsMidi, true, error) &&
                    Member(json, "sendsMidi", record.sendsMidi, true, error) &&
                    Member(json, "platform", record.platform, true, error) &&
                    Member(json, "audio64", record.audio64, true, error) &&
                    Member(json, "category", record.category, true, error) &&
                    Member(json, "synthEdit", record.synthEdit, true, error);
    if (!ok)
        return false;
    const auto shells = json.find("shells");
    if (shells == json.end())
        return true;
    if (!shells->is_array()) {
        error = "\"shells\" is not an array";
        return false;
    }
    for (const COrderedJson& item : *shells) {
        SSubPlugin sub;
        if (!item.is_object() || !HexMember(item, "id", sub.id, error) || !Member(item, "name", sub.name, true, error))
            return false;
        record.shells.push_back(std::move(sub));
    }
    return true;
}

} // namespace

COrderedJson EntryToJson(const SDatabaseEntry& entry)
{
    const SScanOutcome& outcome = entry.outcome;
    COrderedJson json;
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
    if (outcome.kind == EOutcome::Crashed) {
        json["exitCode"] = outcome.exitCode;
        json["dumpFile"] = outcome.dumpFile;
    }
    if (!outcome.lastLines.empty())
        json["lastLines"] = outcome.lastLines;
    if (!outcome.dialogs.empty())
        json["dialogs"] = outcome.dialogs;
    return json;
}

bool EntryFromJson(const COrderedJson& json, SDatabaseEntry& entry, std::string& error)
{
    if (!json.is_object()) {
        error = "an entry is not an object";
        return false;
    }
    SDatabaseEntry read;
    std::string outcomeName;
    bool ok = Member(json, "path", read.path, true, error) &&
              Member(json, "fileSize", read.stamp.size, true, error) &&
              Member(json, "fileTime", read.stamp.modified, true, error) &&
              Member(json, "outcome", outcomeName, true, error) &&
              Member(json, "scannedAt", read.scannedAt, true, error) &&
              Member(json, "error", read.outcome.error, false, error) &&
              Member(json, "exitCode", read.outcome.exitCode, false, error) &&
              Member(json, "dumpFile", read.outcome.dumpFile, false, error) &&
              Member(json, "lastLines", read.outcome.lastLines, false, error) &&
              Member(json, "dialogs", read.outcome.dialogs, false, error);
    if (ok && json.contains("subId")) {
        read.isSubPlugin = true;
        ok = HexMember(json, "subId", read.subId, error);
    }
    if (ok && !OutcomeFromName(outcomeName, read.outcome.kind)) {
        error = "unknown outcome \"" + outcomeName + "\"";
        ok = false;
    }
    if (ok && json.contains("record")) {
        read.outcome.hasRecord = true;
        ok = RecordFromJson(json.at("record"), read.outcome.record, error);
    }
    if (!ok) {
        error = "entry " + (read.path.empty() ? std::string("without a path") : read.path) + ": " + error;
        return false;
    }
    entry = std::move(read);
    return true;
}
