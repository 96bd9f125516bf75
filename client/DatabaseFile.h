#pragma once
/// The database on disk: read at the start of a run, written whole after
/// changes through a temporary file and a rename, so that a run killed at any
/// moment leaves either the old or the new file, never a torn one. A lock file
/// beside it keeps two scanners from writing the same database.

#include "client/ScanDatabase.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

/// The Linux database: $XDG_DATA_HOME/tessivane/plugins.json, with
/// ~/.local/share for XDG_DATA_HOME when it is unset or not an absolute path.
std::string LinuxDatabasePath(const char* xdgDataHome, const char* home);

/// The user's own database, as PluginScanner and whole runs of the C library
/// use it when given none: on Windows
/// %LOCALAPPDATA%\Tessivane\PluginScanner\plugins.json (below the program's
/// folder when LOCALAPPDATA is not set), on Linux LinuxDatabasePath of
/// $XDG_DATA_HOME and the home folder.
std::string DefaultDatabasePath();

/// The current time as the database keeps it: "2024-03-07T09:05:01Z" (UTC).
std::string UtcNow();

/// The database file is read in pieces of this many bytes.
constexpr std::size_t kDatabaseReadPieceBytes = 64 * 1024;

/// Reads the database file into database. A missing file is an empty
/// database. False, with error set, when the file cannot be read or is not a
/// database (it is then left alone). Entries that do not read are left out,
/// each with a line in rejected (see CScanDatabase::FromJson).
bool ReadDatabaseFile(const std::string& path, CScanDatabase& database, std::string& error,
                      std::vector<std::string>& rejected);

/// Gives a text to write in pieces; false when write returned false.
using CTextPieces = std::function<bool(const CScanDatabase::CTextWriter& write)>;

/// Writes the text's pieces to path + ".tmp" as they come, flushes it, and
/// renames it over path. False, with error set, when a piece or the flush
/// could not be written (the temporary file is then removed and path left
/// alone) or the rename failed.
bool WriteFileAtomically(const std::string& path, const CTextPieces& text, std::string& error);

/// Creates the folder and its parents as needed.
bool CreateFolders(const std::string& folder, std::string& error);

/// Holds "<database>.lock" open and unshared (locked on Linux) while it lives.
class CDatabaseLock {
public:
    CDatabaseLock() = default;
    ~CDatabaseLock();
    CDatabaseLock(const CDatabaseLock&) = delete;
    CDatabaseLock& operator=(const CDatabaseLock&) = delete;

    /// False, with error set, when another scanner holds the lock.
    bool Acquire(const std::string& databasePath, std::string& error);

private:
    static constexpr std::intptr_t kNoFile = -1;
    std::intptr_t m_file = kNoFile; ///< the open lock file: a HANDLE on Windows, a descriptor on Linux
    std::string m_path;             ///< the lock file, removed on release on Linux (Windows removes it itself)
};
