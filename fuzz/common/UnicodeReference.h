#pragma once
/// Reference UTF-8 and UTF-16 conversions for the fuzz oracles, written from the
/// table of well-formed UTF-8 byte sequences rather than from the server's code.
///
/// Decoding replaces each maximal ill-formed subpart with one U+FFFD: a byte that
/// cannot start a sequence, or a start byte with the continuation bytes that
/// matched before the sequence broke off. Encoding replaces each unpaired
/// surrogate with U+FFFD.

#include <cstdint>
#include <string>

namespace unicode_reference {

/// One row of the table of well-formed byte sequences: the start bytes it covers
/// and the allowed range of each continuation byte.
struct SSequenceRow {
    unsigned char firstLow, firstHigh;
    int continuations;
    unsigned char low[3], high[3];
};

inline const SSequenceRow* FindRow(unsigned char lead)
{
    static const SSequenceRow kRows[] = {
        {0xC2, 0xDF, 1, {0x80}, {0xBF}},
        {0xE0, 0xE0, 2, {0xA0, 0x80}, {0xBF, 0xBF}},
        {0xE1, 0xEC, 2, {0x80, 0x80}, {0xBF, 0xBF}},
        {0xED, 0xED, 2, {0x80, 0x80}, {0x9F, 0xBF}},
        {0xEE, 0xEF, 2, {0x80, 0x80}, {0xBF, 0xBF}},
        {0xF0, 0xF0, 3, {0x90, 0x80, 0x80}, {0xBF, 0xBF, 0xBF}},
        {0xF1, 0xF3, 3, {0x80, 0x80, 0x80}, {0xBF, 0xBF, 0xBF}},
        {0xF4, 0xF4, 3, {0x80, 0x80, 0x80}, {0x8F, 0xBF, 0xBF}},
    };
    for (const SSequenceRow& row : kRows) {
        if (lead >= row.firstLow && lead <= row.firstHigh) {
            return &row;
        }
    }
    return nullptr;
}

inline void AppendCodePoint(std::u16string& units, std::uint32_t codePoint)
{
    if (codePoint < 0x10000) {
        units += static_cast<char16_t>(codePoint);
        return;
    }
    const std::uint32_t offset = codePoint - 0x10000;
    units += static_cast<char16_t>(0xD800 | (offset >> 10));
    units += static_cast<char16_t>(0xDC00 | (offset & 0x3FF));
}

/// Decodes bytes; each maximal ill-formed subpart becomes one U+FFFD.
inline std::u16string DecodeUtf8(const std::string& bytes)
{
    std::u16string units;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const unsigned char lead = static_cast<unsigned char>(bytes[at]);
        if (lead < 0x80) {
            units += lead;
            ++at;
            continue;
        }
        const SSequenceRow* row = FindRow(lead);
        int matched = 0;
        std::uint32_t codePoint = lead & (row != nullptr ? (0x7Fu >> (row->continuations + 1)) : 0u);
        while (row != nullptr && matched < row->continuations && at + 1 + matched < bytes.size()) {
            const unsigned char next = static_cast<unsigned char>(bytes[at + 1 + matched]);
            if (next < row->low[matched] || next > row->high[matched]) {
                break;
            }
            codePoint = codePoint << 6 | (next & 0x3Fu);
            ++matched;
        }
        const bool complete = row != nullptr && matched == row->continuations;
        AppendCodePoint(units, complete ? codePoint : 0xFFFD);
        at += 1 + matched;
    }
    return units;
}

/// Whether bytes are well-formed UTF-8 throughout.
inline bool IsWellFormedUtf8(const std::string& bytes)
{
    std::size_t at = 0;
    while (at < bytes.size()) {
        const unsigned char lead = static_cast<unsigned char>(bytes[at]);
        if (lead < 0x80) {
            ++at;
            continue;
        }
        const SSequenceRow* row = FindRow(lead);
        if (row == nullptr || at + row->continuations >= bytes.size()) {
            return false;
        }
        for (int k = 0; k < row->continuations; ++k) {
            const unsigned char next = static_cast<unsigned char>(bytes[at + 1 + k]);
            if (next < row->low[k] || next > row->high[k]) {
                return false;
            }
        }
        at += 1 + row->continuations;
    }
    return true;
}

inline bool IsHighSurrogate(char16_t unit) { return (unit & 0xFC00) == 0xD800; }
inline bool IsLowSurrogate(char16_t unit) { return (unit & 0xFC00) == 0xDC00; }

/// units with every unpaired surrogate replaced by U+FFFD.
inline std::u16string ReplaceUnpairedSurrogates(const std::u16string& units)
{
    std::u16string result;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i];
        if (IsHighSurrogate(unit) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
            result += unit;
            result += units[++i];
        } else {
            result += IsHighSurrogate(unit) || IsLowSurrogate(unit) ? char16_t(0xFFFD) : unit;
        }
    }
    return result;
}

/// Whether units are well-formed UTF-16 (every surrogate paired).
inline bool IsWellFormedUtf16(const std::u16string& units) { return ReplaceUnpairedSurrogates(units) == units; }

/// Encodes units as UTF-8; an unpaired surrogate becomes U+FFFD.
inline std::string EncodeUtf8(const std::u16string& units)
{
    const std::u16string clean = ReplaceUnpairedSurrogates(units);
    std::string bytes;
    for (std::size_t i = 0; i < clean.size(); ++i) {
        std::uint32_t codePoint = clean[i];
        if (IsHighSurrogate(clean[i])) {
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (clean[++i] - 0xDC00u);
        }
        if (codePoint < 0x80) {
            bytes += static_cast<char>(codePoint);
        } else if (codePoint < 0x800) {
            bytes += static_cast<char>(0xC0 | codePoint >> 6);
            bytes += static_cast<char>(0x80 | (codePoint & 0x3F));
        } else if (codePoint < 0x10000) {
            bytes += static_cast<char>(0xE0 | codePoint >> 12);
            bytes += static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
            bytes += static_cast<char>(0x80 | (codePoint & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | codePoint >> 18);
            bytes += static_cast<char>(0x80 | (codePoint >> 12 & 0x3F));
            bytes += static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
            bytes += static_cast<char>(0x80 | (codePoint & 0x3F));
        }
    }
    return bytes;
}

} // namespace unicode_reference
