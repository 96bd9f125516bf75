#pragma once
/// One of the scanner's output streams (standard output or standard error),
/// written as UTF-8 whether it is a terminal, a file or a pipe.

#include <cstddef>
#include <string>

class CConsoleOutput {
public:
    /// toError: standard error, else standard output.
    explicit CConsoleOutput(bool toError);

    /// A terminal (console window) rather than a file or a pipe.
    bool IsTerminal() const { return m_terminal; }
    /// The terminal's width in columns (80 when it cannot be told).
    std::size_t Columns() const;
    /// Writes the text as it is.
    void Write(const std::string& text) const;

private:
    void* m_handle = nullptr;
    bool m_terminal = false;
};
