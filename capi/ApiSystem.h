#pragma once
/// What the C library asks of the system: where its own file lies (the servers
/// installed with it lie beside it), a library file's stamp and the time, as the
/// scanner's database keeps them.

#include "client/DatabaseEntry.h"

#include <string>

/// The scan server of the platform ("x64", "x86") installed with the library:
/// Windows: ScanServer-x64.exe / ScanServer-x86.exe in the DLL's own folder;
/// Linux: <folder of the .so>/tessivane-scan/scan-server, else (a build tree)
/// <folder of the .so>/scan-server. A path that may not exist (the request then
/// ends "no server", naming it); empty where the platform has no server.
std::string InstalledServer(const std::string& platform);

/// The file's size and last write time as the database keeps them; zero when
/// the file cannot be looked at (a missing file).
SFileStamp FileStampOf(const std::string& path);

/// The current time as the database keeps it: "2024-03-07T09:05:01Z".
std::string UtcNow();
