// SplitRequest on arbitrary request texts (any UTF-16 units, any number of ">",
// hexadecimal digits of both cases, more than sixteen of them, other characters
// after them): the path is everything before the first ">" and never null; the
// id is read from what follows like a command-line number (each hexadecimal
// digit shifts a 64-bit value left by four, reading stops at the first other
// character) and keeps its low 32 bits; without ">" it is 0. The request text
// is left as it was.

#include "common/FuzzCheck.h"
#include "common/StringChecks.h"

#include "foundation/String.h"
#include "scan/RequestTarget.h"

#include <cctype>
#include <cstdint>
#include <string>

namespace {

/// The C library's reading of the hexadecimal digits that start suffix, low 32 bits kept.
std::int32_t ExpectedId(const std::u16string& suffix)
{
    std::string digits;
    for (std::size_t i = 0; i < suffix.size() && std::isxdigit(suffix[i] < 0x80 ? suffix[i] : 'x') != 0; ++i)
        digits += static_cast<char>(suffix[i]);
    if (digits.size() > 16)
        digits.erase(0, digits.size() - 16);  // the shifts push the earlier digits out
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(digits.empty() ? 0 : std::stoull(digits, nullptr, 16)));
}

void CheckSplit(const CString& text)
{
    const std::u16string units = CheckedText(text);
    const CString copy = text;
    const SScanTarget target = SplitRequest(text);

    const std::size_t marker = units.find(u'>');
    FUZZ_CHECK(target.path.GetText() != nullptr);
    const std::u16string path = CheckedText(target.path);
    FUZZ_CHECK_MSG(path == units.substr(0, marker), "path '" + Printable(path) + "' of '" + Printable(units) + "'");
    const std::int32_t expected = marker == std::u16string::npos ? 0 : ExpectedId(units.substr(marker + 1));
    FUZZ_CHECK_MSG(target.shellId == expected, "id " + std::to_string(target.shellId) + " of '" + Printable(units) +
                                                   "', expected " + std::to_string(expected));
    FUZZ_CHECK(text.GetText() == copy.GetText() && CheckedText(text) == units);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Mostly ASCII requests (the byte is the unit), with a 0xFF byte introducing a
    // unit given by the next two bytes.
    std::u16string units;
    for (std::size_t i = 0; i < size; ++i) {
        char16_t unit = data[i];
        if (data[i] == 0xFF && i + 2 < size) {
            unit = static_cast<char16_t>(data[i + 1] | data[i + 2] << 8);
            i += 2;
        }
        if (unit == 0) {
            break;
        }
        units += unit;
    }
    CheckSplit(CString());
    CString text;
    FUZZ_CHECK(text.Assign(units.c_str()));
    CheckSplit(text);
    return 0;
}
