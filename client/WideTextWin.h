#pragma once
/// UTF-8 <-> UTF-16 at the platform boundary of the host side: the client keeps
/// its text in UTF-8 and hands wide text to the system.

#include "foundation/Win32.h"

#include <string>

inline std::wstring WideFromUtf8(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int count = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], count);
    return wide;
}

inline std::string Utf8FromWide(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int count =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(count), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], count, nullptr, nullptr);
    return utf8;
}

/// The system's message for an error code, without its trailing line break,
/// followed by the code: "The system cannot find the file specified. (error 2)".
inline std::string SystemErrorText(DWORD code)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring message = length > 0 && buffer != nullptr ? std::wstring(buffer, length) : std::wstring();
    if (buffer != nullptr)
        LocalFree(buffer);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    std::string text = Utf8FromWide(message);
    return (text.empty() ? std::string() : text + " ") + "(error " + std::to_string(code) + ")";
}

/// The folder of the running program, with its trailing separator.
inline std::string ProgramFolder()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring full(path, length);
    return Utf8FromWide(full.substr(0, full.find_last_of(L"\\/") + 1));
}
