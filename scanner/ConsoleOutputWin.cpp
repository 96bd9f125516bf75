#include "scanner/ConsoleOutput.h"

#include "client/WideTextWin.h"
#include "foundation/Win32.h"

CConsoleOutput::CConsoleOutput(bool toError)
{
    HANDLE handle = GetStdHandle(toError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    m_stream = reinterpret_cast<std::intptr_t>(handle);
    DWORD mode = 0;
    m_terminal = handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

std::size_t CConsoleOutput::Columns() const
{
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (!m_terminal || !GetConsoleScreenBufferInfo(reinterpret_cast<HANDLE>(m_stream), &info))
        return 80;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 10 ? static_cast<std::size_t>(columns) : 80;
}

void CConsoleOutput::Write(const std::string& text) const
{
    const HANDLE handle = reinterpret_cast<HANDLE>(m_stream);
    if (text.empty() || handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    if (m_terminal) {
        const std::wstring wide = WideFromUtf8(text);
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}
