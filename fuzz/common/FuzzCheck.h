#pragma once
/// Checks for the fuzz targets. A failed check prints where and what failed and
/// aborts; libFuzzer reports the abort as a crash and keeps the input that caused it.

#include <cstdio>
#include <cstdlib>
#include <string>

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

/// Units as printable text for failure messages: ASCII as is, the rest as \uXXXX.
inline std::string Printable(const std::u16string& units)
{
    std::string text;
    for (const char16_t unit : units) {
        if (unit >= 0x20 && unit < 0x7F) {
            text += static_cast<char>(unit);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(unit));
            text += escape;
        }
    }
    return text;
}

/// Bytes as printable text for failure messages: ASCII as is, the rest as \xXX.
inline std::string Printable(const std::string& bytes)
{
    std::string text;
    for (const char byte : bytes) {
        const unsigned char value = static_cast<unsigned char>(byte);
        if (value >= 0x20 && value < 0x7F) {
            text += byte;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", value);
            text += escape;
        }
    }
    return text;
}
