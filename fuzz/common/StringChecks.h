#pragma once
/// The block invariants of CString and CAnsiString, checked from outside through
/// the header accessors: a null string has no block; otherwise the count is at
/// least 1, the text is terminated at or before index capacity, and the cached
/// length is -1 or the exact number of units before the terminator.

#include "FuzzCheck.h"

#include "foundation/String.h"

#include <string>

/// The text up to its terminator, checking the block on the way; empty for null.
template <class TString, class TUnit>
std::basic_string<TUnit> CheckedText(const TString& string)
{
    const TUnit* text = string.GetText();
    if (text == nullptr) {
        FUZZ_CHECK(string.GetReferenceCount() == 0 && string.GetCapacity() == 0);
        FUZZ_CHECK(string.GetLength() == 0);
        return std::basic_string<TUnit>();
    }
    FUZZ_CHECK(string.GetReferenceCount() >= 1);
    const int capacity = string.GetCapacity();
    FUZZ_CHECK(capacity >= 0);
    int length = 0;
    while (length <= capacity && text[length] != 0) {
        ++length;
    }
    FUZZ_CHECK_MSG(length <= capacity, "the text is not terminated inside its block");
    const int cached = string.GetCachedLength();
    FUZZ_CHECK_MSG(cached == -1 || cached == length,
                   "cached length " + std::to_string(cached) + ", text length " + std::to_string(length));
    FUZZ_CHECK(string.GetLength() == length);
    return std::basic_string<TUnit>(text, static_cast<std::size_t>(length));
}

inline std::u16string CheckedText(const CString& string) { return CheckedText<CString, char16_t>(string); }
inline std::string CheckedText(const CAnsiString& string) { return CheckedText<CAnsiString, char>(string); }
