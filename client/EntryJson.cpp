#include "client/EntryJson.h"

#include "client/RecordReader.h"
#include "wire/Protocol.h"

namespace {

// Every object is made an object first: one that operator[] turns from null into
// an object is left broken when that allocation fails. And every value that may
// hold members is emptied before it is destroyed on a failure (see EmptyJson).

/// Sets json's member name to value; value is emptied when that fails.
void SetMember(CJsonObject& json, const char* name, CJsonObject&& value)
{
    const CJsonEmptier emptier(value); // null once moved: nothing left to empty
    json[name] = std::move(value);
}

/// Fills json, an object, with the record's members. The caller empties it
/// when this throws: a filled value's destructor allocates (see EmptyJson).
void FillRecordJson(const SPluginRecord& record, CJsonObject& json)
{
    json[RecordMemberName(kMemberId)] = HexId(record.id);
    json[RecordMemberName(kMemberName)] = record.name;
    json[RecordMemberName(kMemberVendor)] = record.vendor;
    json[RecordMemberName(kMemberProduct)] = record.product;
    json[RecordMemberName(kMemberVersion)] = record.version;
    json[RecordMemberName(kMemberError)] = record.error;
    json[RecordMemberName(kMemberNumInputs)] = record.numInputs;
    json[RecordMemberName(kMemberNumOutputs)] = record.numOutputs;
    json[RecordMemberName(kMemberWantsMidi)] = record.wantsMidi;
    json[RecordMemberName(kMemberSendsMidi)] = record.sendsMidi;
    json[RecordMemberName(kMemberPlatform)] = record.platform;
    json[RecordMemberName(kMemberAudio64)] = record.audio64;
    json[RecordMemberName(kMemberCategory)] = record.category;
    json[RecordMemberName(kMemberSynthEdit)] = record.synthEdit;
    if (record.IsShell() || !record.shells.empty()) {
        CJsonObject shells = CJsonObject::array();
        const CJsonEmptier emptyShells(shells);
        for (const SSubPlugin& sub : record.shells) {
            // Member by member: the pairs of a braced list would be arrays
            // whose destructors allocate (see EmptyJson).
            CJsonObject item = CJsonObject::object();
            const CJsonEmptier emptier(item);
            item["id"] = HexId(sub.id);
            item["name"] = sub.name;
            shells.push_back(std::move(item));
        }
        SetMember(json, RecordMemberName(kMemberShells), std::move(shells));
    }
}

/// An object that fill fills from value; emptied before it is destroyed when
/// fill throws.
template <typename TValue>
CJsonObject FilledObject(const TValue& value, void (*fill)(const TValue&, CJsonObject&))
{
    CJsonObject json = CJsonObject::object();
    try {
        fill(value, json);
    } catch (...) {
        EmptyJson(json);
        throw;
    }
    return json;
}

CJsonObject RecordToJson(const SPluginRecord& record) { return FilledObject(record, FillRecordJson); }

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
    bool ok = ReadRecordMembers(json, record, error);
    const char* shells = RecordMemberName(kMemberShells);
    if (ok && json.contains(shells))
        ok = ShellsFromJson(json.at(shells), record.shells, error);
    if (!ok)
        error = "in \"record\", " + error;
    return ok;
}

} // namespace

namespace {

/// Fills json, an object, with the entry's members (see FillRecordJson).
void FillEntryJson(const SDatabaseEntry& entry, CJsonObject& json)
{
    const SScanOutcome& outcome = entry.outcome;
    json["path"] = entry.path;
    if (entry.isSubPlugin)
        json["subId"] = HexId(entry.subId);
    json["fileSize"] = entry.stamp.size;
    json["fileTime"] = entry.stamp.modified;
    json["outcome"] = OutcomeName(outcome.kind);
    if (!outcome.platform.empty())
        json["platform"] = outcome.platform;
    json["scannedAt"] = entry.scannedAt;
    if (!outcome.error.empty())
        json["error"] = outcome.error;
    if (outcome.hasRecord)
        SetMember(json, "record", RecordToJson(outcome.record));
    if (outcome.kind == EOutcome::Crashed)
        json["exitCode"] = outcome.exitCode;
    if (!outcome.dumpFiles.empty())
        SetMember(json, "dumps", CJsonObject(outcome.dumpFiles));
    if (!outcome.lastLines.empty())
        SetMember(json, "lastLines", CJsonObject(outcome.lastLines));
    if (!outcome.dialogs.empty())
        SetMember(json, "dialogs", CJsonObject(outcome.dialogs));
}

} // namespace

CJsonObject EntryToJson(const SDatabaseEntry& entry) { return FilledObject(entry, FillEntryJson); }

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
              ReadString(json, "outcome", outcomeName, error) &&
              ReadString(json, "platform", outcome.platform, error, EPresence::Optional) &&
              ReadString(json, "scannedAt", read.scannedAt, error) &&
              ReadString(json, "error", outcome.error, error, EPresence::Optional) &&
              ReadStrings(json, "dumps", outcome.dumpFiles, error, EPresence::Optional) &&
              ReadString(json, "dumpFile", oldDump, error, EPresence::Optional) &&
              ReadStrings(json, "lastLines", outcome.lastLines, error, EPresence::Optional) &&
              ReadStrings(json, "dialogs", outcome.dialogs, error, EPresence::Optional);
    if (ok && !OutcomeFromName(outcomeName, outcome.kind)) {
        error = "\"outcome\" is unknown: " + outcomeName;
        ok = false;
    }
    if (ok && !outcome.platform.empty() && outcome.platform != kPlatformX64 && outcome.platform != kPlatformX86) {
        error = "\"platform\" is unknown: " + outcome.platform;
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
