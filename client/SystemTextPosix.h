#pragma once
/// What the host side's POSIX adapters share: the system's words for an error
/// number, the running program's folder and the user's home folder.

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <pwd.h>
#include <unistd.h>

/// The system's message for an error number, followed by the number:
/// "No such file or directory (errno 2)".
inline std::string SystemErrorText(int code)
{
    return std::string(std::strerror(code)) + " (errno " + std::to_string(code) + ")";
}

/// The folder of the running program, with its trailing separator; empty when
/// it cannot be told.
inline std::string ProgramFolder()
{
    std::vector<char> path(4096);
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size())
        return std::string();
    const std::string full(path.data(), static_cast<std::size_t>(length));
    return full.substr(0, full.find_last_of('/') + 1);
}

/// $HOME, else the user's home from the password database; null when neither is known.
inline const char* HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0')
        return home;
    const passwd* user = getpwuid(getuid());
    return user != nullptr ? user->pw_dir : nullptr;
}
