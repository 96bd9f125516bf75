#pragma once
/// \file
/// The host's typed copy of one plug-in record, as the server wrote it.
///
/// Strings are UTF-8 (the record's `\uXXXX` escapes decoded); the id is the plug-in's
/// 32-bit unique id, which the record carries as eight hexadecimal digits.

#include "wire/Protocol.h"

#include <cstdint>
#include <string>
#include <vector>

/// One sub-plug-in listed by a shell.
struct SSubPlugin {
    uint32_t id = 0;  ///< its unique id, the one a `path>id` request names
    std::string name; ///< as the shell named it; may be empty

    /// Same id and name.
    bool operator==(const SSubPlugin& other) const { return id == other.id && name == other.name; }
};

/// One plug-in's record: the members of the record's JSON, in its order.
struct SPluginRecord {
    uint32_t id = 0;        ///< "id": the unique id
    std::string name;       ///< "name": the effect's name
    std::string vendor;     ///< "vendor"
    std::string product;    ///< "product"
    std::string version;    ///< "version": the plug-in's, or the file's version resource
    std::string error;      ///< "error": empty when the scan succeeded
    int32_t numInputs = 0;  ///< "numInputs": audio inputs
    int32_t numOutputs = 0; ///< "numOutputs": audio outputs
    bool wantsMidi = false; ///< "wantsMidi": it receives MIDI events
    bool sendsMidi = false; ///< "sendsMidi": it sends MIDI events
    std::string platform;   ///< "platform": the server's, "x64" or "x86"
    bool audio64 = false;   ///< "audio64": it processes 64-bit samples
    int32_t category = kRecordCategoryNone; ///< "category": the plug-in's category; -1 without one
    bool synthEdit = false; ///< "synthEdit": the library carries SynthEdit's marker
    std::vector<SSubPlugin> shells; ///< in the shell's order; only for the shell category

    /// A shell's record lists its sub-plug-ins.
    bool IsShell() const { return category == kPlugCategoryShell; }
    /// Every member equal.
    bool operator==(const SPluginRecord& other) const;
    /// Some member differs.
    bool operator!=(const SPluginRecord& other) const { return !(*this == other); }
};

/// Eight upper-case hexadecimal digits, as the record writes ids.
std::string HexId(uint32_t id);

/// The id as its four characters when they are all printable letters, digits or
/// simple punctuation (most plug-in ids are such codes), else HexId.
std::string DisplayId(uint32_t id);

/// Reads one to eight hexadecimal digits (either case) and nothing else.
bool ParseHexId(const std::string& text, uint32_t& id);
