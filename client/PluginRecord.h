#pragma once
/// The host's typed copy of one plug-in record, as the server wrote it.
///
/// Strings are UTF-8 (the record's \u escapes decoded); the id is the plug-in's
/// 32-bit unique id, which the record carries as eight hexadecimal digits.

#include "wire/Protocol.h"

#include <cstdint>
#include <string>
#include <vector>

/// One sub-plug-in listed by a shell.
struct SSubPlugin {
    uint32_t id = 0;
    std::string name;

    bool operator==(const SSubPlugin& other) const { return id == other.id && name == other.name; }
};

struct SPluginRecord {
    uint32_t id = 0;
    std::string name;
    std::string vendor;
    std::string product;
    std::string version;
    std::string error;
    int32_t numInputs = 0;
    int32_t numOutputs = 0;
    bool wantsMidi = false;
    bool sendsMidi = false;
    std::string platform;
    bool audio64 = false;
    int32_t category = kRecordCategoryNone;
    bool synthEdit = false;
    std::vector<SSubPlugin> shells; ///< in the shell's order; only for the shell category

    /// A shell's record lists its sub-plug-ins.
    bool IsShell() const { return category == kPlugCategoryShell; }
    bool operator==(const SPluginRecord& other) const;
    bool operator!=(const SPluginRecord& other) const { return !(*this == other); }
};

/// Eight upper-case hexadecimal digits, as the record writes ids.
std::string HexId(uint32_t id);

/// The id as its four characters when they are all printable letters, digits or
/// simple punctuation (most plug-in ids are such codes), else HexId.
std::string DisplayId(uint32_t id);

/// Reads one to eight hexadecimal digits (either case) and nothing else.
bool ParseHexId(const std::string& text, uint32_t& id);
