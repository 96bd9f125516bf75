// The database file's places that are the same on every system.
#include "client/DatabaseFile.h"

std::string LinuxDatabasePath(const char* xdgDataHome, const char* home)
{
    const std::string data = xdgDataHome != nullptr && xdgDataHome[0] == '/'
                                 ? std::string(xdgDataHome)
                                 : std::string(home != nullptr ? home : "") + "/.local/share";
    return data + "/tessivane/plugins.json";
}
