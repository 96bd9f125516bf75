#pragma once
/// \file
/// The library files on disk: finding them under the paths a user gives, their
/// stamps, whether one is gone, and the look at a file's header (PE on Windows,
/// ELF on Linux).

#include "client/PeCheck.h"
#include "client/ScanPlan.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

/// How a system spells paths and names its plug-in libraries.
struct SPathStyle {
    char separator;               ///< between folder and name
    const char* libraryExtension; ///< lower case; a name matches it in any case
    std::size_t rootLength;       ///< the shortest full path that keeps its trailing separator ("C:\\", "/")
};
/// Windows paths: "C:\\VST\\Gain.dll".
constexpr SPathStyle kWindowsPaths = {'\\', ".dll", 3};
/// Linux paths: "/usr/lib/vst/Gain.so".
constexpr SPathStyle kPosixPaths = {'/', ".so", 1};

/// A path given to the scan that does not lead to a library file.
struct SPathProblem {
    std::string path;  ///< as it was given
    std::string error; ///< why, in words ("not found", ...)
};

/// What the walk found under the paths given.
struct SFoundLibraries {
    std::vector<SLibraryFile> files;       ///< each real file once, in walk order
    std::vector<SPathProblem> problems;    ///< paths that do not exist or cannot be read
};

/// A file or folder as the walk sees it.
struct SPathInfo {
    bool isFolder = false; ///< a folder (walked), else a file
    SFileStamp stamp;      ///< a file's size and modification time
    /// The same for every name that leads to it (volume and file index).
    std::pair<uint64_t, uint64_t> identity;
};

/// The file system as the walk sees it; the system's one is real, tests fake one.
class IFileTree {
public:
    virtual ~IFileTree() = default;
    /// The path made full (absolute, "." and ".." resolved).
    virtual std::string FullPath(const std::string& path) = 0;
    /// Looks at a file or folder without reading it. False, with error set
    /// ("not found" or the system's words), when it cannot.
    virtual bool Inspect(const std::string& path, SPathInfo& info, std::string& error) = 0;
    /// The names in the folder, without "." and ".."; empty when it cannot be read.
    virtual std::vector<std::string> ListFolder(const std::string& folder) = 0;
    /// The file system's order of two names without regard to case: <0, 0 or >0.
    virtual int CompareWithoutCase(const std::string& a, const std::string& b) = 0;
};

/// Walks the paths: a file is taken as it is (whatever its name), a folder tree
/// for its library files (*.dll or *.so, any case): in each folder its files,
/// then its subfolders, each sorted by name without regard to case. A file
/// reached twice (named twice, or through links) is taken once, a folder
/// reached twice is walked once. Paths come back full.
SFoundLibraries FindLibraryFiles(IFileTree& tree, const SPathStyle& style, const std::vector<std::string>& paths);
/// The same on the real file system, in its own path style.
SFoundLibraries FindLibraryFiles(const std::vector<std::string>& paths);

/// The path made full (absolute, "." and ".." resolved).
std::string FullPath(const std::string& path);

/// True only when the file is certainly gone (no such file or folder); a file
/// that cannot be checked (a drive that is offline) is not gone.
bool IsFileGone(const std::string& path);

/// Reads the file's header (PE on Windows, ELF on Linux). False, with error set,
/// when the file cannot be read.
bool CheckLibraryFile(const std::string& path, SPeCheck& check, std::string& error);
