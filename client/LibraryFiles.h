#pragma once
/// The library files on disk: finding them under the paths a user gives, their
/// stamps, whether one is gone, and the look at a file's PE header.

#include "client/PeCheck.h"
#include "client/ScanPlan.h"

#include <string>
#include <vector>

/// A path given to the scan that does not lead to a library file.
struct SPathProblem {
    std::string path;
    std::string error;
};

struct SFoundLibraries {
    std::vector<SLibraryFile> files;       ///< each real file once, in walk order
    std::vector<SPathProblem> problems;    ///< paths that do not exist or cannot be read
};

/// Walks the paths: a file is taken as it is (whatever its name), a folder tree
/// for its *.dll files (any case): in each folder its files, then its
/// subfolders, each sorted by name without regard to case. A file reached twice (named twice, or through links) is taken once, a
/// folder reached twice is walked once. Paths come back full.
SFoundLibraries FindLibraryFiles(const std::vector<std::string>& paths);

/// The path made full (absolute, "." and ".." resolved).
std::string FullPath(const std::string& path);

/// True only when the file is certainly gone (no such file or folder); a file
/// that cannot be checked (a drive that is offline) is not gone.
bool IsFileGone(const std::string& path);

/// Reads the file's PE header. False, with error set, when the file cannot be read.
bool CheckLibraryFile(const std::string& path, SPeCheck& check, std::string& error);
