#pragma once
/// The expected text of the conversions the server formats with, built without the
/// server's formatter: integers through the C library's narrow snprintf (whose
/// integer conversions follow the same C rules), texts and pointers by hand.
///
/// The conversions: %s (wide text), %S (narrow text, each byte one unit), %i,
/// %p (sixteen upper-case hexadecimal digits), %.8X, %.4x, %%; optionally with
/// the flags '-' and '0', a width and a precision.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace format_reference {

enum class EKind { Wide, Narrow, Int, Unsigned, Pointer };

/// One argument of a format call.
struct SArgument {
    EKind kind = EKind::Int;
    std::u16string wide;
    std::string narrow;
    int integer = 0;
    unsigned hex = 0;
    const void* pointer = nullptr;
};

/// One conversion: its letter and the optional decorations.
struct SConversion {
    char letter = 'i'; ///< s S i p X x
    bool leftAlign = false;
    bool zeroPad = false;
    int width = 0;      ///< 0: none
    int precision = -1; ///< below 0: none

    /// The conversion as format text, for example "%-08.4x".
    std::string Directive() const
    {
        std::string directive = "%";
        directive += leftAlign ? "-" : "";
        directive += zeroPad ? "0" : "";
        directive += width > 0 ? std::to_string(width) : "";
        directive += precision >= 0 ? "." + std::to_string(precision) : "";
        return directive + letter;
    }
};

inline std::u16string FromAscii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

/// Each byte becomes the unit of the same value.
inline std::u16string WidenBytes(const std::string& bytes)
{
    std::u16string units;
    for (const char byte : bytes) {
        units += static_cast<char16_t>(static_cast<unsigned char>(byte));
    }
    return units;
}

inline std::u16string Pad(const SConversion& conversion, const std::u16string& field)
{
    if (static_cast<int>(field.size()) >= conversion.width) {
        return field;
    }
    const std::u16string spaces(static_cast<std::size_t>(conversion.width) - field.size(), u' ');
    return conversion.leftAlign ? field + spaces : spaces + field;
}

inline std::u16string Text(const SConversion& conversion, std::u16string text)
{
    if (conversion.precision >= 0 && text.size() > static_cast<std::size_t>(conversion.precision)) {
        text.resize(static_cast<std::size_t>(conversion.precision));
    }
    return Pad(conversion, text);
}

/// The expected output of one conversion (not %%) with its argument.
inline std::u16string Render(const SConversion& conversion, const SArgument& argument)
{
    char buffer[128];
    switch (conversion.letter) {
    case 's': return Text(conversion, argument.wide);
    case 'S': return Text(conversion, WidenBytes(argument.narrow));
    case 'p':
        std::snprintf(buffer, sizeof buffer, "%016llX",
                      static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(argument.pointer)));
        return Pad(conversion, FromAscii(buffer));
    case 'i':
        std::snprintf(buffer, sizeof buffer, conversion.Directive().c_str(), argument.integer);
        return FromAscii(buffer);
    default:
        std::snprintf(buffer, sizeof buffer, conversion.Directive().c_str(), argument.hex);
        return FromAscii(buffer);
    }
}

/// The argument kind a conversion letter takes.
inline EKind KindOf(char letter)
{
    switch (letter) {
    case 's': return EKind::Wide;
    case 'S': return EKind::Narrow;
    case 'i': return EKind::Int;
    case 'p': return EKind::Pointer;
    default: return EKind::Unsigned;
    }
}

/// message as an output line carries it: every carriage return, and every line feed
/// but a final one, becomes '?', so that no text inside a message can start a line of
/// its own.
inline std::u16string OnOneLine(std::u16string message)
{
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (message[i] == u'\r' || (message[i] == u'\n' && i + 1 < message.size())) {
            message[i] = u'?';
        }
    }
    return message;
}

/// The expected text of a format made of literal units and the plain conversions
/// %s %S %i %p %.8X %.4x %%, each taking the next argument.
inline std::u16string RenderFormat(const std::u16string& format, const std::vector<SArgument>& arguments)
{
    std::u16string text;
    std::size_t next = 0;
    for (std::size_t at = 0; at < format.size(); ++at) {
        if (format[at] != u'%') {
            text += format[at];
            continue;
        }
        SConversion conversion;
        if (format.compare(at, 4, u"%.8X") == 0 || format.compare(at, 4, u"%.4x") == 0) {
            conversion.precision = format[at + 2] - u'0';
            conversion.letter = static_cast<char>(format[at + 3]);
            at += 3;
        } else if (format[at + 1] == u'%') {
            text += u'%';
            ++at;
            continue;
        } else {
            conversion.letter = static_cast<char>(format[++at]);
        }
        text += Render(conversion, arguments.at(next++));
    }
    return text;
}

} // namespace format_reference
