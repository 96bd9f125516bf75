// CString::Format against the C library's swprintf, on formats composed of literal
// units, %% and conversions (d i u x X o c C s S p with any of the flags - 0 + space #,
// a width and a precision as digits or '*', and the length modifiers) with matching
// arguments. swprintf follows the same C rules for the integers; the directives whose
// meaning is the platform's own are mapped for it: %s %S %c %C become %ls and %lc over
// wchar_t copies of the units ('h' makes a text narrow, 'l' wide, else the lower-case
// letter is wide; each byte of a narrow text is one unit; a null text is "(null)"),
// and %p becomes %.16llX. Each result must also reach the log as "info:" and its UTF-8
// on one line.

#include "common/FormatReference.h"
#include "common/FuzzCheck.h"
#include "common/UnicodeReference.h"
#include "support/RecordingSink.h"

#include "foundation/String.h"
#include "process/OutputChannel.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr std::size_t kMaxArguments = 3;
constexpr int kMaxPieces = 12;
constexpr std::size_t kRoom = 4096;

enum class EKind { Int, Long, LongLong, Pointer, Wide, Narrow };

struct SArgument {
    EKind kind = EKind::Int;
    long long value = 0;     ///< integers and pointers
    int referenceInt = 0;    ///< Int: what swprintf gets (for %c and %C the unit written)
    bool null = false;       ///< a null text
    std::u16string wide;
    std::string narrow;
    std::wstring reference; ///< texts: the units swprintf writes
};

struct SCall {
    std::u16string format;
    std::wstring reference;
    std::vector<SArgument> arguments;
};

std::u16string ConsumeUnits(FuzzedDataProvider& data, std::size_t maxBytes)
{
    const std::string bytes = data.ConsumeRandomLengthString(maxBytes);
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size() && (bytes[i] | bytes[i + 1]) != 0; i += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    return units;
}

void Append(SCall& call, const std::u16string& units)
{
    call.format += units;
    call.reference.append(units.begin(), units.end());
}

void AddInt(SCall& call, int value, int referenceValue)
{
    SArgument argument;
    argument.value = value;
    argument.referenceInt = referenceValue;
    call.arguments.push_back(argument);
}

/// A width or precision: none, digits, or '*' with an int argument while one is left for the value.
std::string ConsumeNumber(FuzzedDataProvider& data, SCall& call, int low)
{
    switch (data.ConsumeIntegralInRange<int>(0, call.arguments.size() + 2 <= kMaxArguments ? 2 : 1)) {
    case 0: return "";
    case 1: return std::to_string(data.ConsumeIntegralInRange<int>(1, 30));
    default: {
        const int value = data.ConsumeIntegralInRange<int>(low, 30);
        AddInt(call, value, value);
        return "*";
    }
    }
}

void AddConversion(FuzzedDataProvider& data, SCall& call)
{
    const char letter = "diuxXocCsSp"[data.ConsumeIntegralInRange<int>(0, 10)];
    const bool integer = std::string("diuxXo").find(letter) != std::string::npos;
    const bool text = letter == 's' || letter == 'S';
    const bool unit = letter == 'c' || letter == 'C';
    std::string flags;
    const unsigned flagBits = data.ConsumeIntegral<std::uint8_t>();
    for (int bit = 0; bit < 5; ++bit) {
        if (flagBits & 1u << bit) {
            flags += "-0+ #"[bit];
        }
    }
    const std::string width = ConsumeNumber(data, call, -30);
    std::string precision = letter == 'p' || unit ? "" : ConsumeNumber(data, call, -5);
    precision = precision.empty() ? (data.ConsumeIntegralInRange<int>(0, 5) == 0 && !unit && letter != 'p' ? "." : "")
                                  : "." + precision;
    static const char* const kIntegerSizes[] = {"", "hh", "h", "l", "ll", "z", "j"};
    static const char* const kTextSizes[] = {"", "h", "l"};
    const std::string size = integer ? kIntegerSizes[data.ConsumeIntegralInRange<int>(0, 6)]
                                     : letter == 'p' ? "" : kTextSizes[data.ConsumeIntegralInRange<int>(0, 2)];
    const bool wide = size == "h" ? false : size == "l" || letter == 's' || letter == 'c';

    SArgument argument;
    argument.value = data.ConsumeIntegral<long long>();
    if (integer && size.size() == 1 && std::string("lzj").find(size) != std::string::npos) {
        argument.kind = EKind::Long;
    } else if (integer && size == "ll") {
        argument.kind = EKind::LongLong;
    }
    argument.referenceInt = static_cast<int>(argument.value);
    if (unit) {
        argument.referenceInt = wide ? static_cast<char16_t>(argument.value) : static_cast<unsigned char>(argument.value);
    } else if (letter == 'p') {
        argument.kind = EKind::Pointer;
    } else if (text) {
        argument.kind = wide ? EKind::Wide : EKind::Narrow;
        argument.null = data.ConsumeIntegralInRange<int>(0, 7) == 0;
        argument.wide = ConsumeUnits(data, 64);
        argument.narrow = data.ConsumeRandomLengthString(32).c_str();
        const std::u16string units = argument.null ? u"(null)" : wide ? argument.wide : format_reference::WidenBytes(argument.narrow);
        argument.reference.assign(units.begin(), units.end());
    }
    call.arguments.push_back(argument);

    const std::string directive = "%" + flags + width + precision;
    call.format += format_reference::FromAscii(directive + size + letter);
    const std::string mapped = integer ? directive + size + letter
                               : text ? directive + "ls"
                               : unit ? directive + "lc"
                                      : "%" + std::string(flags.find('-') != std::string::npos ? "-" : "") + width + ".16llX";
    call.reference.append(mapped.begin(), mapped.end());
}

template <class... TValues>
void Check(const SCall& call, const std::u16string& expected, TValues... values)
{
    const CString formatted = CString::Format(call.format.c_str(), values...);
    FUZZ_CHECK(formatted.GetText() != nullptr && formatted.GetCachedLength() == -1);
    FUZZ_CHECK(formatted.GetCapacity() == static_cast<int>(expected.size()) + 1);
    const std::u16string text(formatted.GetText(), expected.size());
    FUZZ_CHECK_MSG(text == expected, "format '" + Printable(call.format) + "' gave '" + Printable(text) +
                                         "', expected '" + Printable(expected) + "'");
    if (expected.find(u'\0') == std::u16string::npos) {
        CRecordingSink sink;
        LogInfo(call.format.c_str(), values...);
        const std::string line = "info:" + unicode_reference::EncodeUtf8(format_reference::OnOneLine(expected));
        FUZZ_CHECK_MSG(sink.writes.size() == 1 && sink.writes[0] == line, Printable(sink.Text()));
    }
}

/// Formats with the arguments from next on appended to ours and theirs, each typed by its kind.
template <class TOurs, class TTheirs>
void Run(const SCall& call, std::size_t next, TOurs ours, TTheirs theirs)
{
    if constexpr (std::tuple_size<TOurs>::value < kMaxArguments) {
        if (next < call.arguments.size()) {
            const SArgument& a = call.arguments[next];
            const auto add = [&](auto our, auto their) {
                Run(call, next + 1, std::tuple_cat(ours, std::make_tuple(our)), std::tuple_cat(theirs, std::make_tuple(their)));
            };
            switch (a.kind) {
            case EKind::Int: return add(static_cast<int>(a.value), a.referenceInt);
            case EKind::Long: return add(static_cast<long>(a.value), static_cast<long>(a.value));
            case EKind::LongLong: return add(a.value, a.value);
            case EKind::Pointer:
                return add(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(a.value)), static_cast<unsigned long long>(a.value));
            case EKind::Wide: return add(a.null ? nullptr : a.wide.c_str(), a.reference.c_str());
            case EKind::Narrow: return add(a.null ? nullptr : a.narrow.c_str(), a.reference.c_str());
            }
        }
    }
    static wchar_t buffer[kRoom];
    const int count = std::apply([&](auto... values) { return std::swprintf(buffer, kRoom, call.reference.c_str(), values...); }, theirs);
    FUZZ_CHECK(count >= 0);
    const std::u16string expected(buffer, buffer + count);
    std::apply([&](auto... values) { Check(call, expected, values...); }, ours);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    while (provider.remaining_bytes() > 0) {
        SCall call;
        for (int piece = 0; piece < kMaxPieces && provider.remaining_bytes() > 0; ++piece) {
            const int kind = provider.ConsumeIntegralInRange<int>(0, 2);
            if (kind == 0) {
                std::u16string literal = ConsumeUnits(provider, 16);
                literal.erase(std::remove(literal.begin(), literal.end(), u'%'), literal.end());
                Append(call, literal);
            } else if (kind == 1 || call.arguments.size() >= kMaxArguments) {
                Append(call, u"%%");
            } else {
                AddConversion(provider, call);
            }
        }
        Run(call, 0, std::tuple<>(), std::tuple<>());
    }
    return 0;
}
