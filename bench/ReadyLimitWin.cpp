// ReadyLimit.exe: the least a scan server can do before its first "ready:".
// A GUI program that writes "ready:\n" to the output handle it is given, then
// waits until its input closes and exits with 0. It takes the server's first two
// arguments (input and output handle, hexadecimal) and ignores the rest; the
// command line is read by hand so that no library beyond the kernel is loaded.

#include "foundation/Win32.h"

#include <cstdint>

namespace {

const wchar_t* SkipSpaces(const wchar_t* text)
{
    while (*text == L' ' || *text == L'\t')
        ++text;
    return text;
}

const wchar_t* SkipProgramName(const wchar_t* text)
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
HANDLE ReadHandle(const wchar_t*& text)
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

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const wchar_t* arguments = SkipSpaces(SkipProgramName(GetCommandLineW()));
    const HANDLE input = ReadHandle(arguments);
    const HANDLE output = ReadHandle(arguments);
    static const char kReady[] = "ready:\n";
    DWORD count = 0;
    WriteFile(output, kReady, sizeof kReady - 1, &count, nullptr);
    FlushFileBuffers(output);
    char buffer[256];
    while (input != nullptr && ReadFile(input, buffer, sizeof buffer, &count, nullptr) && count > 0) {
    }
    return 0;
}
