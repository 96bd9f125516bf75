// The conversions between the two string types, on arbitrary input:
//   FromUtf8 of the input bytes against the reference decoder (each maximal
//     ill-formed subpart one U+FFFD), in a block of capacity n + 1;
//   ToUtf8 of the input read as UTF-16 units against the reference encoder
//     (unpaired surrogates become U+FFFD), in a block of capacity 3n + 3;
//   Widen of the bytes: unit i is byte i, capacity 2n + 1;
//   round trips: well-formed UTF-8 survives FromUtf8 then ToUtf8 byte for byte,
//     and ToUtf8 then FromUtf8 gives the units back with lone surrogates replaced;
//   a shared source string is left as it was.

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
    FUZZ_CHECK(units.size() <= bytes.size());
    FUZZ_CHECK(ref::IsWellFormedUtf16(units));

    const std::string encoded = CheckedText(CAnsiString::ToUtf8(decoded));
    FUZZ_CHECK(ref::IsWellFormedUtf8(encoded));
    if (ref::IsWellFormedUtf8(bytes)) {
        FUZZ_CHECK_MSG(encoded == bytes, "well-formed '" + Printable(bytes) + "' came back as '" + Printable(encoded) + "'");
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
    const std::string expected = ref::EncodeUtf8(units);
    FUZZ_CHECK_MSG(bytes == expected, "ToUtf8 of '" + Printable(units) + "' gave '" + Printable(bytes) +
                                          "', expected '" + Printable(expected) + "'");
    FUZZ_CHECK(ref::IsWellFormedUtf8(bytes));

    FUZZ_CHECK(text.GetText() == shared.GetText() && text.GetReferenceCount() == 2);
    FUZZ_CHECK(CheckedText(text) == units);

    const std::u16string back = CheckedText(CString::FromUtf8(bytes.c_str()));
    FUZZ_CHECK_MSG(back == ref::ReplaceUnpairedSurrogates(units),
                   "'" + Printable(units) + "' came back as '" + Printable(back) + "'");
}

void CheckWiden(const std::string& bytes)
{
    const CString wide = CString::Widen(bytes.c_str());
    CheckFreshBlock(wide, 2 * static_cast<int>(bytes.size()) + 1);
    const std::u16string units = CheckedText(wide);
    FUZZ_CHECK(units.size() == bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        FUZZ_CHECK(units[i] == static_cast<unsigned char>(bytes[i]));
    }
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
