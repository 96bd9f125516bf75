#pragma once
/// Checks for the fuzz targets. A failed check prints where and what failed and
/// aborts; libFuzzer reports the abort as a crash and keeps the input that caused it.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>

[[noreturn]] inline void FuzzFail(const char* file, int line, const char* what, const std::string& detail)
{
    std::fprintf(stderr, "\n%s:%d: check failed: %s\n", file, line, what);
    if (!detail.empty()) {
        std::fprintf(stderr, "%s\n", detail.c_str());
    }
    std::fflush(stderr);
    std::abort();
}

/// Aborts with the condition's text when it does not hold.
#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? static_cast<void>(0) : FuzzFail(__FILE__, __LINE__, #condition, std::string()))

/// As FUZZ_CHECK, and prints detail (a std::string expression, built only on failure).
#define FUZZ_CHECK_MSG(condition, detail)                                                          \
    ((condition) ? static_cast<void>(0) : FuzzFail(__FILE__, __LINE__, #condition, (detail)))

/// Text as printable ASCII for failure messages: ASCII as is, other units as \xXX or \uXXXX.
template <class TUnit>
std::string Printable(const std::basic_string<TUnit>& units)
{
    std::string text;
    for (const TUnit unit : units) {
        const unsigned value = static_cast<unsigned>(static_cast<std::make_unsigned_t<TUnit>>(unit));
        char escape[8];
        std::snprintf(escape, sizeof escape, sizeof(TUnit) == 1 ? "\\x%02X" : "\\u%04X", value);
        text += value >= 0x20 && value < 0x7F ? std::string(1, static_cast<char>(value)) : std::string(escape);
    }
    return text;
}
