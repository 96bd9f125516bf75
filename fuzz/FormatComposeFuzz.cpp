// CString::Format with format strings composed from literal text (any units but
// '%' and 0) and the conversions the server uses, %s %S %i %p %.8X %.4x %%, each
// optionally decorated with the documented flags '-' and '0', a width and a
// precision, and with up to kMaxArguments matching arguments. The result must be
// the concatenation of the expected pieces.

#include "common/FormatReference.h"
#include "common/FuzzCheck.h"
#include "common/StringChecks.h"

#include "foundation/String.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using format_reference::EKind;
using format_reference::SArgument;
using format_reference::SConversion;

namespace {

constexpr std::size_t kMaxArguments = 4;
constexpr int kMaxPieces = 24;

/// Format with the arguments from next on appended to values, each typed by its kind.
template <class... TValues>
CString FormatWith(const std::u16string& format, const std::vector<SArgument>& arguments, std::size_t next,
                   TValues... values)
{
    if constexpr (sizeof...(TValues) < kMaxArguments) {
        if (next < arguments.size()) {
            const SArgument& argument = arguments[next];
            switch (argument.kind) {
            case EKind::Wide: return FormatWith(format, arguments, next + 1, values..., argument.wide.c_str());
            case EKind::Narrow: return FormatWith(format, arguments, next + 1, values..., argument.narrow.c_str());
            case EKind::Int: return FormatWith(format, arguments, next + 1, values..., argument.integer);
            case EKind::Unsigned: return FormatWith(format, arguments, next + 1, values..., argument.hex);
            case EKind::Pointer: return FormatWith(format, arguments, next + 1, values..., argument.pointer);
            }
        }
    }
    return CString::Format(format.c_str(), values...);
}

std::u16string ConsumeUnits(FuzzedDataProvider& data, std::size_t maxBytes)
{
    const std::string bytes = data.ConsumeRandomLengthString(maxBytes);
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t unit =
            static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (unit == 0) {
            break;
        }
        units += unit;
    }
    return units;
}

SConversion ConsumeConversion(FuzzedDataProvider& data)
{
    static const char kLetters[] = {'s', 'S', 'i', 'p', 'X', 'x'};
    SConversion conversion;
    conversion.letter = kLetters[data.ConsumeIntegralInRange<int>(0, 5)];
    const bool integer = conversion.letter == 'i' || conversion.letter == 'X' || conversion.letter == 'x';
    conversion.precision = conversion.letter == 'X' ? 8 : conversion.letter == 'x' ? 4 : -1;
    if (data.ConsumeBool()) {
        conversion.leftAlign = data.ConsumeBool();
        conversion.zeroPad = integer && data.ConsumeBool();
        conversion.width = data.ConsumeIntegralInRange<int>(0, 24);
        if (conversion.letter != 'p') {
            conversion.precision = data.ConsumeIntegralInRange<int>(-1, 24);
        }
    }
    return conversion;
}

SArgument ConsumeArgument(FuzzedDataProvider& data, EKind kind)
{
    SArgument argument;
    argument.kind = kind;
    switch (kind) {
    case EKind::Wide: argument.wide = ConsumeUnits(data, 32); break;
    case EKind::Narrow: {
        const std::string bytes = data.ConsumeRandomLengthString(32);
        argument.narrow = bytes.substr(0, bytes.find('\0'));
        break;
    }
    case EKind::Int: argument.integer = data.ConsumeIntegral<int>(); break;
    case EKind::Unsigned: argument.hex = data.ConsumeIntegral<unsigned>(); break;
    case EKind::Pointer:
        argument.pointer = reinterpret_cast<const void*>(data.ConsumeIntegral<std::uintptr_t>());
        break;
    }
    return argument;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    std::u16string format;
    std::u16string expected;
    std::vector<SArgument> arguments;
    for (int piece = 0; piece < kMaxPieces && provider.remaining_bytes() > 0; ++piece) {
        const int kind = provider.ConsumeIntegralInRange<int>(0, 2);
        if (kind == 0) {
            std::u16string literal = ConsumeUnits(provider, 16);
            literal.erase(std::remove(literal.begin(), literal.end(), u'%'), literal.end());
            format += literal;
            expected += literal;
        } else if (kind == 1 || arguments.size() == kMaxArguments) {
            format += u"%%";
            expected += u'%';
        } else {
            const SConversion conversion = ConsumeConversion(provider);
            arguments.push_back(ConsumeArgument(provider, format_reference::KindOf(conversion.letter)));
            format += format_reference::FromAscii(conversion.Directive());
            expected += format_reference::Render(conversion, arguments.back());
        }
    }

    const CString formatted = FormatWith(format, arguments, 0);
    FUZZ_CHECK(formatted.GetText() != nullptr);
    FUZZ_CHECK(formatted.GetCachedLength() == -1);
    FUZZ_CHECK(formatted.GetCapacity() == static_cast<int>(expected.size()) + 1);
    const std::u16string text = CheckedText(formatted);
    FUZZ_CHECK_MSG(text == expected, "format '" + Printable(format) + "' gave '" + Printable(text) + "', expected '" +
                                         Printable(expected) + "'");
    return 0;
}
