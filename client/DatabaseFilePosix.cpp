// The database file on a POSIX file system: read, written through a temporary
// file and a rename, its folders made, and its lock.
#include "client/DatabaseFile.h"

#include "client/SystemTextPosix.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/// Writes all of the text; false with errno set when it cannot.
bool WriteAll(int file, const std::string& text)
{
    for (std::size_t written = 0; written < text.size();) {
        const ssize_t count = write(file, text.data() + written, text.size() - written);
        if (count < 0 && errno != EINTR)
            return false;
        written += count > 0 ? static_cast<std::size_t>(count) : 0;
    }
    return true;
}

} // namespace

std::string DefaultDatabasePath() { return LinuxDatabasePath(std::getenv("XDG_DATA_HOME"), HomeFolder()); }

std::string UtcNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts = {};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

bool ReadDatabaseFile(const std::string& path, CScanDatabase& database, std::string& error,
                      std::vector<std::string>& rejected)
{
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        if (errno == ENOENT)
            return true;
        error = "cannot open the database " + path + ": " + SystemErrorText(errno);
        return false;
    }
    int code = 0; // the error that stopped the reading, if one did
    const auto readPiece = [file, &code](std::string& piece) {
        piece.resize(kDatabaseReadPieceBytes);
        ssize_t count = -1;
        while (code == 0 && (count = read(file, &piece[0], piece.size())) < 0)
            code = errno == EINTR ? 0 : errno;
        piece.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
        return !piece.empty();
    };
    std::string problem;
    const bool parsed = database.ReadJson(readPiece, problem, rejected);
    close(file);
    if (code != 0) {
        error = "cannot read the database " + path + ": " + SystemErrorText(code);
        return false;
    }
    if (!parsed) {
        error = "the database " + path + " cannot be used (" + problem + "); move it away or name another with --db";
        return false;
    }
    return true;
}

bool WriteFileAtomically(const std::string& path, const CTextPieces& text, std::string& error)
{
    const std::string temporary = path + ".tmp";
    const int file = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0) {
        error = "cannot write " + temporary + ": " + SystemErrorText(errno);
        return false;
    }
    const bool ok = text([file](const std::string& piece) { return WriteAll(file, piece); }) && fsync(file) == 0;
    const int code = errno;
    close(file);
    if (!ok) {
        unlink(temporary.c_str());
        error = "cannot write " + temporary + ": " + SystemErrorText(code);
        return false;
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot replace " + path + ": " + SystemErrorText(errno);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool CreateFolders(const std::string& folder, std::string& error)
{
    // Each prefix in turn; one that exists already is fine as long as the
    // whole path ends up a folder.
    int lastError = 0;
    for (std::size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string part = folder.substr(0, end);
        if (mkdir(part.c_str(), 0755) != 0)
            lastError = errno;
        if (end == std::string::npos)
            break;
    }
    struct stat details = {};
    if (stat(folder.c_str(), &details) != 0 || !S_ISDIR(details.st_mode)) {
        error = "cannot create the folder " + folder + ": " + SystemErrorText(lastError);
        return false;
    }
    return true;
}

CDatabaseLock::~CDatabaseLock()
{
    if (m_file == kNoFile)
        return;
    // Removed while still locked, so no one locks the name of a file on its way out.
    unlink(m_path.c_str());
    close(static_cast<int>(m_file));
}

bool CDatabaseLock::Acquire(const std::string& databasePath, std::string& error)
{
    const std::string path = databasePath + ".lock";
    for (;;) {
        const int file = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (file < 0) {
            error = "cannot lock the database " + databasePath + ": " + SystemErrorText(errno);
            return false;
        }
        if (flock(file, LOCK_EX | LOCK_NB) != 0) {
            const int code = errno;
            close(file);
            error = code == EWOULDBLOCK ? "the database " + databasePath + " is in use by another scan"
                                        : "cannot lock the database " + databasePath + ": " + SystemErrorText(code);
            return false;
        }
        // The scan that held it may have removed the file between the open and
        // the lock: then the lock is on a file no longer named, and the name is tried again.
        struct stat locked = {};
        struct stat named = {};
        if (fstat(file, &locked) == 0 && stat(path.c_str(), &named) == 0 && locked.st_dev == named.st_dev &&
            locked.st_ino == named.st_ino) {
            m_file = file;
            m_path = path;
            return true;
        }
        close(file);
    }
}
