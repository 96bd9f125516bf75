#pragma once
/// The name of a crash file: "<folder>\<base>-YYYY-MM-DD-HH-MM-SS.mdmp" for the
/// Windows server's minidump, "<folder>/<base>-YYYY-MM-DD-HH-MM-SS.txt" for the
/// Linux server's crash report.
///
/// Built without allocating: it runs inside the crash filter (or signal handler),
/// where the heap may be damaged.

#include <cstddef>
#include <cstdint>

struct SDumpTime {
    unsigned year, month, day, hour, minute, second;
};

/// Writes the dump path into buffer (capacity units, terminator included).
/// Returns false, with buffer holding an empty text, when the path does not fit.
bool FormatDumpPath(char16_t* buffer, std::size_t capacity, const char16_t* folder, const char16_t* baseName,
                    const SDumpTime& time);

/// The crash report's path, as FormatDumpPath does it for a minidump; the folder
/// and base name are bytes as the system names files.
bool FormatReportPath(char* buffer, std::size_t capacity, const char* folder, const char* baseName,
                      const SDumpTime& time);

/// The calendar time of localSeconds, seconds since 1970-01-01 00:00:00 local
/// time (the Unix time plus the zone's offset); only arithmetic, so a signal
/// handler may call it.
SDumpTime DumpTimeFromSeconds(int64_t localSeconds);
