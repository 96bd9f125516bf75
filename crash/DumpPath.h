#pragma once
/// The name of a crash dump: "<folder>\<base>-YYYY-MM-DD-HH-MM-SS.mdmp".
///
/// Built without allocating: it runs inside the crash filter, where the heap may
/// be damaged.

#include <cstddef>

struct SDumpTime {
    unsigned year, month, day, hour, minute, second;
};

/// Writes the dump path into buffer (capacity units, terminator included).
/// Returns false, with buffer holding an empty text, when the path does not fit.
bool FormatDumpPath(char16_t* buffer, std::size_t capacity, const char16_t* folder, const char16_t* baseName,
                    const SDumpTime& time);
