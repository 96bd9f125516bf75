// The conversions between the two string types on arbitrary input, against the C
// library's iconv (common/UnicodeReference.h): FromUtf8 of the input bytes in a block
// of capacity n + 1, and well-formed UTF-8 back through ToUtf8 unchanged; ToUtf8 of
// the input read as UTF-16 units in a block of 3n + 3, the shared source untouched;
// Widen of the bytes, unit i byte i, capacity 2n + 1.

#include "common/FormatReference.h"
#include "common/FuzzCheck.h"
#include "common/StringChecks.h"
#include "common/UnicodeReference.h"

#include "foundation/String.h"

#include <cstdint>
#include <string>

namespace ref = unicode_reference;

namespace {

/// A fresh conversion result: private block of the given capacity, length still uncounted.
template <class TString>
void CheckFreshBlock(const TString& result, int capacity)
{
    FUZZ_CHECK(result.GetText() != nullptr);
    FUZZ_CHECK(result.GetReferenceCount() == 1);
    FUZZ_CHECK_MSG(result.GetCapacity() == capacity,
                   "capacity " + std::to_string(result.GetCapacity()) + ", expected " + std::to_string(capacity));
    FUZZ_CHECK(result.GetCachedLength() == -1);
}

void CheckFromUtf8(const std::string& bytes)
{
    const CString decoded = CString::FromUtf8(bytes.c_str());
    CheckFreshBlock(decoded, static_cast<int>(bytes.size()) + 1);
    const std::u16string units = CheckedText(decoded);
    const std::u16string expected = ref::DecodeUtf8(bytes);
    FUZZ_CHECK_MSG(units == expected, "FromUtf8 of '" + Printable(bytes) + "' gave '" + Printable(units) +
                                          "', expected '" + Printable(expected) + "'");
    if (ref::IsWellFormedUtf8(bytes)) {
        FUZZ_CHECK(CheckedText(CAnsiString::ToUtf8(decoded)) == bytes);
    }
}

void CheckToUtf8(const std::u16string& units)
{
    CString text;
    FUZZ_CHECK(text.Assign(units.c_str()));
    const CString shared = text;
    const CAnsiString encoded = CAnsiString::ToUtf8(text);
    CheckFreshBlock(encoded, 3 * (static_cast<int>(units.size()) + 1));
    const std::string bytes = CheckedText(encoded);
    FUZZ_CHECK_MSG(bytes == ref::EncodeUtf8(units), "ToUtf8 of '" + Printable(units) + "' gave '" + Printable(bytes) + "'");
    FUZZ_CHECK(text.GetText() == shared.GetText() && text.GetReferenceCount() == 2 && CheckedText(text) == units);
}

void CheckWiden(const std::string& bytes)
{
    const CString wide = CString::Widen(bytes.c_str());
    CheckFreshBlock(wide, 2 * static_cast<int>(bytes.size()) + 1);
    FUZZ_CHECK(CheckedText(wide) == format_reference::WidenBytes(bytes));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Texts end at their first zero, as they do for the string types.
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string bytes = input.substr(0, input.find('\0'));

    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const char16_t unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
        if (unit == 0) {
            break;
        }
        units += unit;
    }

    CheckFromUtf8(bytes);
    CheckToUtf8(units);
    CheckWiden(bytes);

    FUZZ_CHECK(CString::FromUtf8(nullptr).GetText() == nullptr);
    FUZZ_CHECK(CString::Widen(nullptr).GetText() == nullptr);
    FUZZ_CHECK(CAnsiString::ToUtf8(CString()).GetText() == nullptr);
    return 0;
}
