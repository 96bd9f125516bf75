#pragma once
/// A strict JSON reader for the fuzz oracles (RFC 8259 grammar, nothing more):
/// no trailing commas, no leading zeros, no raw control characters in strings,
/// only the escapes the grammar lists, \u with exactly four hexadecimal digits,
/// raw non-ASCII bytes only as well-formed UTF-8. Strings decode to UTF-16 units;
/// a \u escape gives its unit as is, so an escaped lone surrogate survives.
/// Object members keep their order and duplicates.
///
/// RemoveTrailingCommas turns the record's "comma before a closing brace" form
/// into strict JSON; it skips string literals, so commas inside texts stay.

#include "UnicodeReference.h"

#include <string>
#include <utility>
#include <vector>

struct SJsonValue {
    enum class EKind { Null, False, True, Number, String, Array, Object };
    EKind kind = EKind::Null;
    std::string number;   ///< a number's text as written
    std::u16string text;  ///< a string's decoded units
    std::vector<SJsonValue> elements;
    std::vector<std::pair<std::u16string, SJsonValue>> members;
};

class CStrictJsonReader {
public:
    /// Reads text as exactly one value with optional whitespace around it; false
    /// when the text is not strict JSON (or nests deeper than kMaxDepth).
    static bool Parse(const std::string& text, SJsonValue& value)
    {
        CStrictJsonReader reader(text);
        reader.SkipSpace();
        if (!reader.ReadValue(value, 0)) {
            return false;
        }
        reader.SkipSpace();
        return reader.m_at == text.size();
    }

    static constexpr int kMaxDepth = 64;

private:
    explicit CStrictJsonReader(const std::string& text) : m_text(text) {}

    int Peek() const { return m_at < m_text.size() ? static_cast<unsigned char>(m_text[m_at]) : -1; }

    bool Take(char expected)
    {
        if (Peek() != static_cast<unsigned char>(expected)) {
            return false;
        }
        ++m_at;
        return true;
    }

    void SkipSpace()
    {
        while (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r') {
            ++m_at;
        }
    }

    bool TakeWord(const char* word)
    {
        for (; *word != 0; ++word) {
            if (!Take(*word)) {
                return false;
            }
        }
        return true;
    }

    bool ReadValue(SJsonValue& value, int depth)
    {
        if (depth > kMaxDepth) {
            return false;
        }
        switch (Peek()) {
        case '{': return ReadObject(value, depth);
        case '[': return ReadArray(value, depth);
        case '"': value.kind = SJsonValue::EKind::String; return ReadString(value.text);
        case 't': value.kind = SJsonValue::EKind::True; return TakeWord("true");
        case 'f': value.kind = SJsonValue::EKind::False; return TakeWord("false");
        case 'n': value.kind = SJsonValue::EKind::Null; return TakeWord("null");
        default: value.kind = SJsonValue::EKind::Number; return ReadNumber(value.number);
        }
    }

    bool ReadObject(SJsonValue& value, int depth)
    {
        value.kind = SJsonValue::EKind::Object;
        ++m_at;
        SkipSpace();
        if (Take('}')) {
            return true;
        }
        for (;;) {
            std::pair<std::u16string, SJsonValue> member;
            SkipSpace();
            if (Peek() != '"' || !ReadString(member.first)) {
                return false;
            }
            SkipSpace();
            if (!Take(':')) {
                return false;
            }
            SkipSpace();
            if (!ReadValue(member.second, depth + 1)) {
                return false;
            }
            value.members.push_back(std::move(member));
            SkipSpace();
            if (Take('}')) {
                return true;
            }
            if (!Take(',')) {
                return false;
            }
        }
    }

    bool ReadArray(SJsonValue& value, int depth)
    {
        value.kind = SJsonValue::EKind::Array;
        ++m_at;
        SkipSpace();
        if (Take(']')) {
            return true;
        }
        for (;;) {
            SJsonValue element;
            SkipSpace();
            if (!ReadValue(element, depth + 1)) {
                return false;
            }
            value.elements.push_back(std::move(element));
            SkipSpace();
            if (Take(']')) {
                return true;
            }
            if (!Take(',')) {
                return false;
            }
        }
    }

    static int HexValue(int c)
    {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    bool ReadEscape(std::u16string& units)
    {
        const int c = Peek();
        ++m_at;
        switch (c) {
        case '"': units += u'"'; return true;
        case '\\': units += u'\\'; return true;
        case '/': units += u'/'; return true;
        case 'b': units += u'\b'; return true;
        case 'f': units += u'\f'; return true;
        case 'n': units += u'\n'; return true;
        case 'r': units += u'\r'; return true;
        case 't': units += u'\t'; return true;
        case 'u': break;
        default: return false;
        }
        unsigned unit = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = HexValue(Peek());
            if (digit < 0) {
                return false;
            }
            unit = unit << 4 | static_cast<unsigned>(digit);
            ++m_at;
        }
        units += static_cast<char16_t>(unit);
        return true;
    }

    bool ReadString(std::u16string& units)
    {
        ++m_at; // the opening quote
        std::string raw; // a run of raw bytes, decoded when the run ends
        for (;;) {
            const int c = Peek();
            if (c < 0x20 || c == '"' || c == '\\') {
                if (!unicode_reference::IsWellFormedUtf8(raw)) {
                    return false;
                }
                units += unicode_reference::DecodeUtf8(raw);
                raw.clear();
            }
            if (c < 0x20) {
                return false; // the end of the text or a raw control character
            }
            ++m_at;
            if (c == '"') {
                return true;
            }
            if (c == '\\') {
                if (!ReadEscape(units)) {
                    return false;
                }
                continue;
            }
            raw += static_cast<char>(c);
        }
    }

    static bool IsDigit(int c) { return c >= '0' && c <= '9'; }

    bool ReadDigits(std::string& number)
    {
        if (!IsDigit(Peek())) {
            return false;
        }
        while (IsDigit(Peek())) {
            number += static_cast<char>(m_text[m_at++]);
        }
        return true;
    }

    bool ReadNumber(std::string& number)
    {
        if (Take('-')) {
            number += '-';
        }
        if (Take('0')) {
            number += '0';
        } else if (!ReadDigits(number)) {
            return false;
        }
        if (Take('.')) {
            number += '.';
            if (!ReadDigits(number)) {
                return false;
            }
        }
        if (Peek() == 'e' || Peek() == 'E') {
            number += m_text[m_at++];
            if (Peek() == '+' || Peek() == '-') {
                number += m_text[m_at++];
            }
            if (!ReadDigits(number)) {
                return false;
            }
        }
        return true;
    }

    const std::string& m_text;
    std::size_t m_at = 0;
};

/// text without the commas that stand (after optional whitespace) before a "}" or
/// "]"; string literals are copied untouched.
inline std::string RemoveTrailingCommas(const std::string& text)
{
    std::string result;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            result += c;
            if (c == '\\' && i + 1 < text.size()) {
                result += text[++i];
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        if (c == ',') {
            std::size_t next = i + 1;
            while (next < text.size() && (text[next] == ' ' || text[next] == '\t' || text[next] == '\n' || text[next] == '\r')) {
                ++next;
            }
            if (next < text.size() && (text[next] == '}' || text[next] == ']')) {
                continue;
            }
        }
        if (c == '"') {
            inString = true;
        }
        result += c;
    }
    return result;
}
