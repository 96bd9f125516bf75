#pragma once
/// The limit programs' reading of the server's first two arguments (input and
/// output handle, hexadecimal), by hand, so that no library beyond the kernel
/// is loaded for it.

#include "foundation/Win32.h"
#include "wire/Protocol.h"

#include <cstdint>
#include <string>

struct SLimitHandles {
    HANDLE input = nullptr;
    HANDLE output = nullptr;
};

namespace limit_command_line {

inline const wchar_t* SkipSpaces(const wchar_t* text)
{
    while (*text == L' ' || *text == L'\t')
        ++text;
    return text;
}

inline const wchar_t* SkipProgramName(const wchar_t* text)
{
    text = SkipSpaces(text);
    if (*text == L'"') {
        ++text;
        while (*text != 0 && *text != L'"')
            ++text;
        return *text == L'"' ? text + 1 : text;
    }
    while (*text != 0 && *text != L' ' && *text != L'\t')
        ++text;
    return text;
}

/// Reads one hexadecimal argument and moves past it and the spaces after it.
inline HANDLE ReadHandle(const wchar_t*& text)
{
    uint64_t value = 0;
    for (;; ++text) {
        const wchar_t digit = *text;
        if (digit >= L'0' && digit <= L'9')
            value = value << 4 | static_cast<uint64_t>(digit - L'0');
        else if (digit >= L'a' && digit <= L'f')
            value = value << 4 | static_cast<uint64_t>(digit - L'a' + 10);
        else if (digit >= L'A' && digit <= L'F')
            value = value << 4 | static_cast<uint64_t>(digit - L'A' + 10);
        else
            break;
    }
    text = SkipSpaces(text);
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
}

} // namespace limit_command_line

/// The input and output handle of this process's command line; null where
/// an argument is missing.
inline SLimitHandles ReadLimitHandles()
{
    const wchar_t* arguments =
        limit_command_line::SkipSpaces(limit_command_line::SkipProgramName(GetCommandLineW()));
    SLimitHandles handles;
    handles.input = limit_command_line::ReadHandle(arguments);
    handles.output = limit_command_line::ReadHandle(arguments);
    return handles;
}

/// Writes the bytes to the handle and flushes them, as the server writes a line.
inline void WriteLimitLine(HANDLE output, const char* line, DWORD count)
{
    DWORD written = 0;
    WriteFile(output, line, count, &written, nullptr);
    FlushFileBuffers(output);
}

/// Writes the ready marker and its line end, flushed, as the server does.
inline void WriteReadyLine(HANDLE output)
{
    const std::string line = std::string(kReadyLine) + kLineEnd;
    WriteLimitLine(output, line.data(), static_cast<DWORD>(line.size()));
}

/// Reads the input until the host closes it.
inline void WaitForInputEnd(HANDLE input)
{
    char buffer[256];
    DWORD count = 0;
    while (input != nullptr && ReadFile(input, buffer, sizeof buffer, &count, nullptr) && count > 0) {
    }
}

/// Answers every line of the input with the ready marker until the host closes it.
inline void AnswerEveryLine(const SLimitHandles& handles)
{
    char buffer[256];
    DWORD count = 0;
    while (handles.input != nullptr && ReadFile(handles.input, buffer, sizeof buffer, &count, nullptr) && count > 0) {
        for (DWORD at = 0; at < count; ++at) {
            if (buffer[at] == kLineEnd)
                WriteReadyLine(handles.output);
        }
    }
}
