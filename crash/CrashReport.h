#pragma once
/// The Linux server's crash report: a text that names what a developer needs to
/// attribute a crash (the signal, the faulting address, the module and offset
/// of the faulting instruction, the request, the crashing thread's frames).
///
/// Formatted into a fixed buffer without allocating: the signal handler fills
/// the facts and writes the text with async-signal-safe calls only.

#include "foundation/String.h"

#include <cstddef>
#include <cstdint>

/// An instruction address and where it lies.
struct SCodePlace {
    uintptr_t address = 0;
    const char* module = nullptr; ///< the file of the module that holds it; null: none known
    uintptr_t moduleOffset = 0;   ///< address minus the module's load address
    const char* symbol = nullptr; ///< the nearest exported symbol at or below it; null: none
    uintptr_t symbolOffset = 0;
};

constexpr int kMaxCrashFrames = 64;

struct SCrashFacts {
    const char* server = "";     ///< the server's banner text
    int signal = 0;
    const char* signalName = ""; ///< "SIGSEGV"
    int code = 0;                ///< the signal's si_code
    const char* codeName = "";   ///< "SEGV_MAPERR"; empty when the code has no name
    uintptr_t faultAddress = 0;  ///< si_addr
    long threadId = 0;           ///< the crashing thread; the main thread's id is the process id
    long processId = 0;
    SCodePlace instruction;      ///< the faulting instruction
    const char* request = "";    ///< the request being served (or the last one)
    SCodePlace frames[kMaxCrashFrames]; ///< the crashing thread's stack, innermost first
    int frameCount = 0;
};

/// Writes the report into buffer, cut at capacity bytes (no terminator); returns
/// the bytes written. Lines:
///
///     Tessivane Plugin Scan Server (Linux x64) crashed
///     signal: 11 SIGSEGV, code 2 SEGV_ACCERR
///     address: 0x00007F0A12340000
///     thread: 4242 of process 4240
///     instruction: 0x00007F0A1200123F /vst/Crash.so+0x123F (FixtureMain+0x1F)
///     request: /vst/Crash.so
///     backtrace:
///     #0 0x00007F0A1200123F /vst/Crash.so+0x123F (FixtureMain+0x1F)
///     #1 0x000055D0C0DE1234 /usr/lib/scan-server+0x1234
///
/// A place without a known module reads "?"; a frame's address after the first
/// is its return address.
std::size_t FormatCrashReport(char* buffer, std::size_t capacity, const SCrashFacts& facts);

/// Keeps the request's UTF-8 text (cut at kCrashRequestBytes) for a later report.
void NoteRequestForCrashReport(const CString& request);
/// The text NoteRequestForCrashReport kept; empty before the first request.
const char* RequestForCrashReport();

/// Longer requests are cut in the report; a Linux path fits whole.
constexpr int kCrashRequestBytes = 4096;
