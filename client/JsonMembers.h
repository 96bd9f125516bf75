#pragma once
/// Strict readers of one member of a JSON object, shared by the record reader
/// and the database. Each takes only its own JSON type: no true for 1, no 2.7
/// or 2.0 for 2, no number outside the target's range, no number for a text.
/// A failure sets error to a sentence that names the member ("\"numInputs\"
/// is out of range") and leaves out alone.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

using CJsonObject = nlohmann::ordered_json;

/// Empties the value's arrays and objects from the innermost out, which frees
/// it all without allocating: a non-empty array or object's own destructor
/// first allocates a list of its children, and that failing when memory has
/// run out would end the program.
void EmptyJson(CJsonObject& json) noexcept;

/// Empties the value (EmptyJson) when the scope ends, normally or by an
/// exception; declare it right after the value.
class CJsonEmptier {
public:
    explicit CJsonEmptier(CJsonObject& json) : m_json(json) {}
    ~CJsonEmptier() { EmptyJson(m_json); }
    CJsonEmptier(const CJsonEmptier&) = delete;
    CJsonEmptier& operator=(const CJsonEmptier&) = delete;

private:
    CJsonObject& m_json;
};

/// Whether a missing member is an error; an optional one that is missing
/// leaves out alone and reads as success.
enum class EPresence { Required, Optional };

bool ReadString(const CJsonObject& object, const char* name, std::string& out, std::string& error,
                EPresence presence = EPresence::Required);
bool ReadBool(const CJsonObject& object, const char* name, bool& out, std::string& error,
              EPresence presence = EPresence::Required);
bool ReadInt32(const CJsonObject& object, const char* name, int32_t& out, std::string& error,
               EPresence presence = EPresence::Required);
bool ReadUInt32(const CJsonObject& object, const char* name, uint32_t& out, std::string& error,
                EPresence presence = EPresence::Required);
bool ReadUInt64(const CJsonObject& object, const char* name, uint64_t& out, std::string& error,
                EPresence presence = EPresence::Required);
/// A text of one to eight hexadecimal digits, as records and the database write ids.
bool ReadHexId(const CJsonObject& object, const char* name, uint32_t& out, std::string& error,
               EPresence presence = EPresence::Required);
/// An array whose every element is a text.
bool ReadStrings(const CJsonObject& object, const char* name, std::vector<std::string>& out, std::string& error,
                 EPresence presence = EPresence::Required);
