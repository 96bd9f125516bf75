// The library files on a POSIX file system: the walk's tree, full paths, gone
// files and the ELF header check.
#include "client/LibraryFiles.h"

#include "client/SystemTextPosix.h"

#include <cerrno>
#include <filesystem>
#include <strings.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsMissing(int code) { return code == ENOENT || code == ENOTDIR; }

class CPosixFileTree : public IFileTree {
public:
    std::string FullPath(const std::string& path) override { return ::FullPath(path); }

    bool Inspect(const std::string& path, SPathInfo& info, std::string& error) override
    {
        // Links are followed: a file reached through a linked folder is the file itself.
        struct stat details = {};
        if (stat(path.c_str(), &details) != 0) {
            error = IsMissing(errno) ? "not found" : SystemErrorText(errno);
            return false;
        }
        info.identity = {static_cast<uint64_t>(details.st_dev), static_cast<uint64_t>(details.st_ino)};
        info.stamp.size = static_cast<uint64_t>(details.st_size);
        info.stamp.modified = static_cast<uint64_t>(details.st_mtim.tv_sec) * 1000000000u +
                              static_cast<uint64_t>(details.st_mtim.tv_nsec);
        info.isFolder = S_ISDIR(details.st_mode);
        return true;
    }

    std::vector<std::string> ListFolder(const std::string& folder) override
    {
        std::vector<std::string> names;
        DIR* listing = opendir(folder.c_str());
        if (listing == nullptr)
            return names;
        while (const dirent* entry = readdir(listing)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(listing);
        return names;
    }

    int CompareWithoutCase(const std::string& a, const std::string& b) override
    {
        return strcasecmp(a.c_str(), b.c_str());
    }
};

} // namespace

SFoundLibraries FindLibraryFiles(const std::vector<std::string>& paths)
{
    CPosixFileTree tree;
    return FindLibraryFiles(tree, kPosixPaths, paths);
}

std::string FullPath(const std::string& path)
{
    // Made absolute and "." and ".." resolved by the text alone: links stay
    // as the user named them.
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(path, error);
    return error ? path : full.lexically_normal().string();
}

bool IsFileGone(const std::string& path)
{
    struct stat details = {};
    if (stat(path.c_str(), &details) == 0)
        return S_ISDIR(details.st_mode);
    return IsMissing(errno);
}

bool CheckLibraryFile(const std::string& path, SPeCheck& check, std::string& error)
{
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        error = "cannot open the file: " + SystemErrorText(errno);
        return false;
    }
    uint8_t bytes[kElfBytesNeeded];
    std::size_t filled = 0;
    while (filled < sizeof bytes) {
        const ssize_t count = read(file, bytes + filled, sizeof bytes - filled);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            error = "cannot read the file: " + SystemErrorText(errno);
            close(file);
            return false;
        }
        if (count == 0)
            break;
        filled += static_cast<std::size_t>(count);
    }
    close(file);
    check = CheckElfHeader(bytes, filled);
    return true;
}
