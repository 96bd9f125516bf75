#pragma once
/// One of the scanner's output streams (standard output or standard error),
/// written as UTF-8 whether it is a terminal, a file or a pipe.

#include <cstddef>
#include <cstdint>
#include <string>

class CConsoleOutput {
public:
    /// toError: standard error, else standard output.
    explicit CConsoleOutput(bool toError);

    /// A terminal (a console window, a tty) rather than a file or a pipe.
    bool IsTerminal() const { return m_terminal; }
    /// The terminal's width in columns (80 when it cannot be told).
    std::size_t Columns() const;
    /// Writes the text as it is.
    void Write(const std::string& text) const;

private:
    std::intptr_t m_stream = 0; ///< a HANDLE on Windows, a descriptor on Linux
    bool m_terminal = false;
};
