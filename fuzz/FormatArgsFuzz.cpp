// CString::Format with the server's own format strings and arbitrary arguments:
// wide texts of any units, narrow texts of any bytes, any int, any pointer value,
// any 32-bit value for %.8X and %.4x. Each result must equal the expected text,
// and LogInfo with the same format and arguments must write "info:" and that text
// in UTF-8 as one line (a line feed or carriage return inside the text written as '?').

#include "common/FormatReference.h"
#include "common/FuzzCheck.h"
#include "common/StringChecks.h"
#include "common/UnicodeReference.h"
#include "support/RecordingSink.h"

#include "foundation/String.h"
#include "process/OutputChannel.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

using format_reference::EKind;
using format_reference::SArgument;

namespace {

/// Every format the server writes that takes arguments, and the kinds it takes.
struct SFormat {
    const char16_t* format;
    std::vector<EKind> kinds;
};

const std::vector<SFormat>& Formats()
{
    static const std::vector<SFormat> kFormats = {
        {u"Scanning plugin: '%s'\n", {EKind::Wide}},
        {u"Looking for entry point in module %p\n", {EKind::Pointer}},
        {u"Audio master callback: %i - %s\n", {EKind::Int, EKind::Wide}},
        {u"Query host can do: '%S'\n", {EKind::Narrow}},
        {u"Unhandled audioMaster opCode - %i\n", {EKind::Int}},
        {u"Found shell: %.8X - %S\n", {EKind::Unsigned, EKind::Narrow}},
        {u"%s\n", {EKind::Wide}},
        {u"Failed to load library, err=%i", {EKind::Int}},
        {u"%i.%i.%i.%i", {EKind::Int, EKind::Int, EKind::Int, EKind::Int}},
        {u"  \"id\":        \"%.8X\",\n", {EKind::Unsigned}},
        {u"  \"numOutputs\":%i,\n", {EKind::Int}},
        {u"        \"%.8X\": \"%s\",\n", {EKind::Unsigned, EKind::Wide}},
        {u"\\u%.4x", {EKind::Unsigned}},
        {u"%%%s%%%S%%", {EKind::Wide, EKind::Narrow}},
    };
    return kFormats;
}

SArgument ConsumeArgument(FuzzedDataProvider& data, EKind kind)
{
    SArgument argument;
    argument.kind = kind;
    switch (kind) {
    case EKind::Wide: {
        const std::string bytes = data.ConsumeRandomLengthString(64);
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                        static_cast<unsigned char>(bytes[i + 1]) << 8);
            if (unit == 0) {
                break;
            }
            argument.wide += unit;
        }
        break;
    }
    case EKind::Narrow: {
        const std::string bytes = data.ConsumeRandomLengthString(64);
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

template <class... TValues>
void Check(const char16_t* format, const std::u16string& expected, TValues... values)
{
    const std::u16string formatted = CheckedText(CString::Format(format, values...));
    FUZZ_CHECK_MSG(formatted == expected, "format '" + Printable(std::u16string(format)) + "' gave '" +
                                              Printable(formatted) + "', expected '" + Printable(expected) + "'");
    CRecordingSink sink;
    LogInfo(format, values...);
    FUZZ_CHECK(sink.writes.size() == 1);
    const std::string line = "info:" + unicode_reference::EncodeUtf8(format_reference::OnOneLine(expected));
    FUZZ_CHECK_MSG(sink.writes[0] == line, Printable(sink.writes[0]));
}

/// Calls the formatter with the arguments typed as the format's kinds say.
void Run(const SFormat& format, const std::vector<SArgument>& a, const std::u16string& expected)
{
    using K = EKind;
    const char16_t* f = format.format;
    const std::vector<EKind>& kinds = format.kinds;
    if (kinds.size() == 1) {
        switch (kinds[0]) {
        case K::Wide: return Check(f, expected, a[0].wide.c_str());
        case K::Narrow: return Check(f, expected, a[0].narrow.c_str());
        case K::Int: return Check(f, expected, a[0].integer);
        case K::Unsigned: return Check(f, expected, a[0].hex);
        case K::Pointer: return Check(f, expected, a[0].pointer);
        }
    }
    if (kinds == std::vector<EKind>{K::Int, K::Int, K::Int, K::Int}) {
        return Check(f, expected, a[0].integer, a[1].integer, a[2].integer, a[3].integer);
    }
    if (kinds == std::vector<EKind>{K::Int, K::Wide}) {
        return Check(f, expected, a[0].integer, a[1].wide.c_str());
    }
    if (kinds == std::vector<EKind>{K::Unsigned, K::Narrow}) {
        return Check(f, expected, a[0].hex, a[1].narrow.c_str());
    }
    if (kinds == std::vector<EKind>{K::Unsigned, K::Wide}) {
        return Check(f, expected, a[0].hex, a[1].wide.c_str());
    }
    FUZZ_CHECK(kinds == (std::vector<EKind>{K::Wide, K::Narrow}));
    return Check(f, expected, a[0].wide.c_str(), a[1].narrow.c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    while (provider.remaining_bytes() > 0) {
        const std::vector<SFormat>& formats = Formats();
        const SFormat& format = formats[provider.ConsumeIntegralInRange<std::size_t>(0, formats.size() - 1)];
        std::vector<SArgument> arguments;
        for (const EKind kind : format.kinds) {
            arguments.push_back(ConsumeArgument(provider, kind));
        }
        Run(format, arguments, format_reference::RenderFormat(format.format, arguments));
    }
    return 0;
}
