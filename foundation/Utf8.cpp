// Conversions between the two string types: UTF-8 both ways, written here so
// that every build converts alike, and the byte-for-byte widening of the 8-bit
// texts that plug-ins hand over.
//
// The decoder follows the platform's CP_UTF8 conversion: each maximal
// ill-formed subpart (a byte that cannot start a sequence, or the longest
// prefix of a sequence that breaks off) becomes one U+FFFD. Overlong forms,
// encoded surrogates and values above U+10FFFF are ill-formed.

#include "foundation/String.h"

#include <climits>
#include <cstdint>
#include <cstring>

namespace {

constexpr char16_t kReplacement = 0xFFFD;

/// Stores units while they fit into `room`.
class CWideWriter {
public:
    CWideWriter(char16_t* target, int room) : m_target(target), m_room(room) {}

    void Put(std::uint32_t codePoint)
    {
        if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            Store(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
            Store(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
        } else {
            Store(static_cast<char16_t>(codePoint));
        }
    }

private:
    void Store(char16_t unit)
    {
        if (m_used < m_room) {
            m_target[m_used++] = unit;
        }
    }

    char16_t* m_target;
    int m_room;
    int m_used = 0;
};

/// The rule for a sequence that starts with `lead`: its number of continuation
/// bytes (-1: the byte cannot start a sequence) and the range allowed for the
/// first continuation byte, which excludes overlongs, surrogates and values
/// above U+10FFFF.
struct SLeadRule {
    int continuations;
    std::uint32_t bits;
    unsigned char firstLow;
    unsigned char firstHigh;
};

SLeadRule RuleFor(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF) {
        return {1, lead & 0x1Fu, 0x80, 0xBF};
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return {2, lead & 0x0Fu, static_cast<unsigned char>(lead == 0xE0 ? 0xA0 : 0x80),
                static_cast<unsigned char>(lead == 0xED ? 0x9F : 0xBF)};
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return {3, lead & 0x07u, static_cast<unsigned char>(lead == 0xF0 ? 0x90 : 0x80),
                static_cast<unsigned char>(lead == 0xF4 ? 0x8F : 0xBF)};
    }
    return {-1, 0, 0, 0};
}

/// Decodes `count` bytes; ill-formed parts become U+FFFD.
void DecodeUtf8(const unsigned char* bytes, int count, CWideWriter& writer)
{
    int at = 0;
    while (at < count) {
        const unsigned char lead = bytes[at++];
        if (lead < 0x80) {
            writer.Put(lead);
            continue;
        }
        const SLeadRule rule = RuleFor(lead);
        std::uint32_t codePoint = rule.bits;
        unsigned char low = rule.firstLow;
        unsigned char high = rule.firstHigh;
        int taken = 0;
        // A byte that breaks the sequence is not consumed: it starts the next one.
        while (taken < rule.continuations && at < count && bytes[at] >= low && bytes[at] <= high) {
            codePoint = (codePoint << 6) | (bytes[at++] & 0x3Fu);
            ++taken;
            low = 0x80;
            high = 0xBF;
        }
        writer.Put(rule.continuations >= 0 && taken == rule.continuations ? codePoint : kReplacement);
    }
}

/// Stores bytes while they fit into `room`.
class CNarrowWriter {
public:
    CNarrowWriter(char* target, int room) : m_target(target), m_room(room) {}

    void Put(std::uint32_t codePoint)
    {
        if (codePoint < 0x80) {
            Store(codePoint);
        } else if (codePoint < 0x800) {
            Store(0xC0 | (codePoint >> 6));
            Store(0x80 | (codePoint & 0x3F));
        } else if (codePoint < 0x10000) {
            Store(0xE0 | (codePoint >> 12));
            Store(0x80 | ((codePoint >> 6) & 0x3F));
            Store(0x80 | (codePoint & 0x3F));
        } else {
            Store(0xF0 | (codePoint >> 18));
            Store(0x80 | ((codePoint >> 12) & 0x3F));
            Store(0x80 | ((codePoint >> 6) & 0x3F));
            Store(0x80 | (codePoint & 0x3F));
        }
    }

private:
    void Store(std::uint32_t byte)
    {
        if (m_used < m_room) {
            m_target[m_used++] = static_cast<char>(byte);
        }
    }

    char* m_target;
    int m_room;
    int m_used = 0;
};

bool IsHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

/// Encodes `count` units; an unpaired surrogate becomes U+FFFD.
void EncodeUtf8(const char16_t* units, int count, CNarrowWriter& writer)
{
    for (int at = 0; at < count; ++at) {
        const char16_t unit = units[at];
        if (IsHighSurrogate(unit) && at + 1 < count && IsLowSurrogate(units[at + 1])) {
            writer.Put(0x10000 + ((static_cast<std::uint32_t>(unit) - 0xD800) << 10) + (units[at + 1] - 0xDC00u));
            ++at;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            writer.Put(kReplacement);
        } else {
            writer.Put(unit);
        }
    }
}

/// Bytes before the terminator, or -1 when the size the caller derives from
/// them (at most factor * (length + 1) units) would not fit an int.
int MeasureBytes(const char* bytes, int factor)
{
    const std::size_t length = std::strlen(bytes);
    return length >= static_cast<std::size_t>(INT_MAX / factor) ? -1 : static_cast<int>(length);
}

} // namespace

CString CString::FromUtf8(const char* bytes)
{
    CString result;
    const int length = bytes ? MeasureBytes(bytes, 1) : -1;
    if (length < 0) {
        return result;
    }
    // A UTF-8 byte never yields more than one UTF-16 unit.
    char16_t* buffer = result.GetBuffer(length + 1);
    if (buffer) {
        CWideWriter writer(buffer, length + 1);
        DecodeUtf8(reinterpret_cast<const unsigned char*>(bytes), length + 1, writer);
    }
    return result;
}

CString CString::Widen(const char* bytes)
{
    CString result;
    const int length = bytes ? MeasureBytes(bytes, 2) : -1;
    if (length < 0) {
        return result;
    }
    char16_t* buffer = result.GetBuffer(2 * length + 1);
    if (buffer) {
        for (int i = 0; i <= length; ++i) {
            buffer[i] = static_cast<unsigned char>(bytes[i]);
        }
    }
    return result;
}

CAnsiString CAnsiString::ToUtf8(const CString& text)
{
    CAnsiString result;
    const char16_t* units = text.GetText();
    if (!units) {
        return result;
    }
    // Counted up to the terminator; the cached length is not relied on.
    int length = 0;
    while (units[length] != 0 && length < INT_MAX / 3 - 1) {
        ++length;
    }
    if (units[length] != 0) {
        return result;
    }
    // Three bytes per unit always suffice: a surrogate pair takes four for two units.
    char* buffer = result.GetBuffer(3 * (length + 1));
    if (buffer) {
        CNarrowWriter writer(buffer, 3 * (length + 1));
        EncodeUtf8(units, length + 1, writer);
    }
    return result;
}
