// JsonEscape on arbitrary UTF-16 units (lone surrogates, controls, quotes,
// slashes, units above 0x7E): the result is never null, is plain printable ASCII,
// matches the escape table unit for unit, and read back as a JSON string literal
// by a strict reader gives exactly the original units. The source string, shared
// with a copy, is left as it was.

#include "common/FuzzCheck.h"
#include "common/RecordReference.h"
#include "common/StrictJson.h"
#include "common/StringChecks.h"

#include "foundation/String.h"
#include "scan/RecordJson.h"

#include <cstdint>
#include <string>

namespace {

void CheckEscape(const CString& text)
{
    const std::u16string units = record_reference::Units(text);
    const CString copy = text;
    const int references = text.GetReferenceCount();

    const CString escaped = JsonEscape(text);
    FUZZ_CHECK(escaped.GetText() != nullptr);
    const std::u16string escapedUnits = CheckedText(escaped);
    std::string ascii;
    for (const char16_t unit : escapedUnits) {
        FUZZ_CHECK_MSG(unit >= 0x20 && unit <= 0x7E, "not printable ASCII: " + Printable(escapedUnits));
        ascii += static_cast<char>(unit);
    }
    const std::string expected = record_reference::Escape(units);
    FUZZ_CHECK_MSG(ascii == expected, "escaped '" + Printable(units) + "' as '" + ascii + "', expected '" + expected + "'");

    SJsonValue value;
    FUZZ_CHECK_MSG(CStrictJsonReader::Parse("\"" + ascii + "\"", value), "not a JSON string: " + ascii);
    FUZZ_CHECK(value.kind == SJsonValue::EKind::String);
    FUZZ_CHECK_MSG(value.text == units, "read back as '" + Printable(value.text) + "'");

    FUZZ_CHECK(text.GetText() == copy.GetText() && text.GetReferenceCount() == references);
    FUZZ_CHECK(CheckedText(text) == units);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const char16_t unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
        if (unit == 0) {
            break;
        }
        units += unit;
    }
    CString text;
    CheckEscape(text);
    FUZZ_CHECK(text.Assign(units.c_str()));
    CheckEscape(text);
    return 0;
}
