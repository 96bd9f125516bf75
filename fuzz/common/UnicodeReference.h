#pragma once
/// Reference UTF-8 and UTF-16 conversions for the fuzz oracles, done by the C
/// library's iconv (which accepts exactly the well-formed sequences) rather than
/// by the server's code. On top of it, the one mapping iconv does not make:
/// decoding replaces each maximal ill-formed subpart (a byte that cannot start a
/// sequence, or the longest prefix of a sequence that breaks off) with one U+FFFD,
/// and encoding replaces each unpaired surrogate with U+FFFD.

#include <iconv.h>

#include <cstdint>
#include <string>

namespace unicode_reference {

/// iconv of the whole of input, from UTF-8 to UTF-16LE or back; false when any of it is ill-formed.
inline bool Convert(bool toUtf8, const std::string& input, std::string& output)
{
    static const iconv_t kDecoder = iconv_open("UTF-16LE", "UTF-8");
    static const iconv_t kEncoder = iconv_open("UTF-8", "UTF-16LE");
    const iconv_t converter = toUtf8 ? kEncoder : kDecoder;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    std::string in = input;
    output.assign(2 * input.size() + 4, '\0');
    char* inAt = &in[0];
    char* outAt = &output[0];
    std::size_t inLeft = in.size();
    std::size_t outLeft = output.size();
    const bool converted = iconv(converter, &inAt, &inLeft, &outAt, &outLeft) != static_cast<std::size_t>(-1);
    output.resize(output.size() - outLeft);
    return converted && inLeft == 0;
}

inline bool IsWellFormedUtf8(const std::string& bytes)
{
    std::string ignored;
    return Convert(false, bytes, ignored);
}

/// Whether prefix begins some well-formed sequence: only a sequence's second byte
/// has a narrowed range, and 0x80, 0x90 or 0xA0 there completes every lead that allows one.
inline bool IsSequencePrefix(const std::string& prefix)
{
    for (const char second : {'\x80', '\x90', '\xA0'}) {
        for (std::size_t length = prefix.size() + 1; length <= 4; ++length) {
            std::string sequence = prefix + std::string(length - prefix.size(), '\x80');
            if (prefix.size() == 1) {
                sequence[1] = second;
            }
            if (IsWellFormedUtf8(sequence)) {
                return true;
            }
        }
    }
    return false;
}

inline std::u16string Units(const std::string& utf16le)
{
    std::u16string units;
    for (std::size_t i = 0; i + 1 < utf16le.size(); i += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(utf16le[i]) | static_cast<unsigned char>(utf16le[i + 1]) << 8);
    }
    return units;
}

/// Decodes bytes; each maximal ill-formed subpart becomes one U+FFFD.
inline std::u16string DecodeUtf8(const std::string& bytes)
{
    std::u16string units;
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t length = 1;
        std::string utf16;
        while (length <= 4 && at + length <= bytes.size() && !Convert(false, bytes.substr(at, length), utf16)) {
            ++length;
        }
        if (length <= 4 && at + length <= bytes.size()) {
            units += Units(utf16);
        } else {
            for (length = 1; at + length < bytes.size() && IsSequencePrefix(bytes.substr(at, length + 1)); ++length) {
            }
            units += u'\uFFFD';
        }
        at += length;
    }
    return units;
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
            result += IsHighSurrogate(unit) || IsLowSurrogate(unit) ? u'\uFFFD' : unit;
        }
    }
    return result;
}

/// Whether units are well-formed UTF-16 (every surrogate paired).
inline bool IsWellFormedUtf16(const std::u16string& units) { return ReplaceUnpairedSurrogates(units) == units; }

/// Encodes units as UTF-8; an unpaired surrogate becomes U+FFFD.
inline std::string EncodeUtf8(const std::u16string& units)
{
    std::string utf16;
    for (const char16_t unit : ReplaceUnpairedSurrogates(units)) {
        utf16 += static_cast<char>(unit & 0xFF);
        utf16 += static_cast<char>(unit >> 8);
    }
    std::string bytes;
    Convert(true, utf16, bytes);
    return bytes;
}

} // namespace unicode_reference
