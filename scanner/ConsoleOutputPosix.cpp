#include "scanner/ConsoleOutput.h"

#include <cerrno>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr std::size_t kDefaultColumns = 80;
/// A narrower terminal is taken for a wrong answer.
constexpr std::size_t kFewestColumns = 10;

} // namespace

CConsoleOutput::CConsoleOutput(bool toError)
{
    m_stream = toError ? STDERR_FILENO : STDOUT_FILENO;
    m_terminal = isatty(static_cast<int>(m_stream)) != 0;
}

std::size_t CConsoleOutput::Columns() const
{
    winsize size = {};
    if (!m_terminal || ioctl(static_cast<int>(m_stream), TIOCGWINSZ, &size) != 0 || size.ws_col <= kFewestColumns)
        return kDefaultColumns;
    return size.ws_col;
}

void CConsoleOutput::Write(const std::string& text) const
{
    // Text is UTF-8 as the terminal takes it; a closed stream loses it silently.
    for (std::size_t written = 0; written < text.size();) {
        const ssize_t count = write(static_cast<int>(m_stream), text.data() + written, text.size() - written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return;
        written += static_cast<std::size_t>(count);
    }
}
