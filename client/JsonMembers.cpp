#include "client/JsonMembers.h"

#include "client/PluginRecord.h"

#include <limits>

namespace {

bool Fail(const char* name, const char* problem, std::string& error)
{
    error = std::string("\"") + name + "\" " + problem;
    return false;
}

/// The member, or null; when it is missing, whether that is allowed decides ok.
const CJsonObject* Find(const CJsonObject& object, const char* name, EPresence presence, bool& ok,
                        std::string& error)
{
    // find answers end() for anything but an object.
    const auto found = object.find(name);
    if (found != object.end())
        return &*found;
    ok = presence == EPresence::Optional || Fail(name, "is missing", error);
    return nullptr;
}

template <class TInteger>
bool ReadInteger(const CJsonObject& object, const char* name, TInteger& out, std::string& error, EPresence presence)
{
    bool ok = true;
    const CJsonObject* value = Find(object, name, presence, ok, error);
    if (value == nullptr)
        return ok;
    if (!value->is_number_integer())
        return Fail(name, "is not an integer", error);
    constexpr auto kMax = static_cast<uint64_t>(std::numeric_limits<TInteger>::max());
    if (value->is_number_unsigned()) {
        const auto number = value->get<uint64_t>();
        if (number > kMax)
            return Fail(name, "is out of range", error);
        out = static_cast<TInteger>(number);
        return true;
    }
    const auto number = value->get<int64_t>();
    const bool inRange = number >= 0 ? static_cast<uint64_t>(number) <= kMax
                                     : std::numeric_limits<TInteger>::is_signed &&
                                           number >= static_cast<int64_t>(std::numeric_limits<TInteger>::min());
    if (!inRange)
        return Fail(name, "is out of range", error);
    out = static_cast<TInteger>(number);
    return true;
}

} // namespace

void EmptyJson(CJsonObject& json) noexcept
{
    if (!json.is_array() && !json.is_object())
        return;
    for (CJsonObject& child : json)
        EmptyJson(child);
    json.clear();
}

bool ReadString(const CJsonObject& object, const char* name, std::string& out, std::string& error,
                EPresence presence)
{
    bool ok = true;
    const CJsonObject* value = Find(object, name, presence, ok, error);
    if (value == nullptr)
        return ok;
    if (!value->is_string())
        return Fail(name, "is not a text", error);
    out = value->get<std::string>();
    return true;
}

bool ReadBool(const CJsonObject& object, const char* name, bool& out, std::string& error, EPresence presence)
{
    bool ok = true;
    const CJsonObject* value = Find(object, name, presence, ok, error);
    if (value == nullptr)
        return ok;
    if (!value->is_boolean())
        return Fail(name, "is not true or false", error);
    out = value->get<bool>();
    return true;
}

bool ReadInt32(const CJsonObject& object, const char* name, int32_t& out, std::string& error, EPresence presence)
{
    return ReadInteger(object, name, out, error, presence);
}

bool ReadUInt32(const CJsonObject& object, const char* name, uint32_t& out, std::string& error, EPresence presence)
{
    return ReadInteger(object, name, out, error, presence);
}

bool ReadUInt64(const CJsonObject& object, const char* name, uint64_t& out, std::string& error, EPresence presence)
{
    return ReadInteger(object, name, out, error, presence);
}

bool ReadHexId(const CJsonObject& object, const char* name, uint32_t& out, std::string& error, EPresence presence)
{
    bool ok = true;
    const CJsonObject* value = Find(object, name, presence, ok, error);
    if (value == nullptr)
        return ok;
    uint32_t id = 0;
    if (!value->is_string() || !ParseHexId(value->get<std::string>(), id))
        return Fail(name, "is not a hexadecimal id", error);
    out = id;
    return true;
}

bool ReadStrings(const CJsonObject& object, const char* name, std::vector<std::string>& out, std::string& error,
                 EPresence presence)
{
    bool ok = true;
    const CJsonObject* value = Find(object, name, presence, ok, error);
    if (value == nullptr)
        return ok;
    if (!value->is_array())
        return Fail(name, "is not a list of texts", error);
    std::vector<std::string> texts;
    for (const CJsonObject& element : *value) {
        if (!element.is_string())
            return Fail(name, "is not a list of texts", error);
        texts.push_back(element.get<std::string>());
    }
    out = std::move(texts);
    return true;
}
