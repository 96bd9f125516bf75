#include "client/LibraryFiles.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace {

/// Shortest full path that keeps its separator: a drive's root ("C:\").
constexpr std::size_t kRootLength = 3;
constexpr char kLibraryExtension[] = ".dll";
constexpr std::size_t kExtensionLength = sizeof kLibraryExtension - 1;

bool HasLibraryExtension(const std::string& name)
{
    if (name.size() <= kExtensionLength)
        return false;
    const std::string tail = name.substr(name.size() - kExtensionLength);
    return std::equal(tail.begin(), tail.end(), kLibraryExtension, [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

std::string WithoutTrailingSeparators(std::string path)
{
    while (path.size() > kRootLength && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    return path;
}

class CWalk {
public:
    explicit CWalk(IFileTree& tree) : m_tree(tree) {}

    void AddPath(const std::string& given)
    {
        const std::string path = WithoutTrailingSeparators(m_tree.FullPath(given));
        SPathInfo info;
        std::string error;
        if (!m_tree.Inspect(path, info, error)) {
            found.problems.push_back(SPathProblem{path, error});
            return;
        }
        if (info.isFolder)
            WalkFolder(path, info);
        else
            AddFile(path, info);
    }

    SFoundLibraries found;

private:
    void AddFile(const std::string& path, const SPathInfo& info)
    {
        if (m_seenFiles.insert(info.identity).second)
            found.files.push_back(SLibraryFile{path, info.stamp});
    }

    void WalkFolder(const std::string& folder, const SPathInfo& folderInfo)
    {
        if (!m_seenFolders.insert(folderInfo.identity).second)
            return;
        std::vector<std::string> names = m_tree.ListFolder(folder);
        std::sort(names.begin(), names.end(), [this](const std::string& a, const std::string& b) {
            const int order = m_tree.CompareWithoutCase(a, b);
            return order != 0 ? order < 0 : a < b;
        });
        const std::string prefix = folder.back() == '\\' ? folder : folder + "\\";
        // The folder's own libraries first, then its subfolders: a library is
        // listed under its nearest name when a link elsewhere leads to it too.
        std::vector<std::pair<std::string, SPathInfo>> folders;
        for (const std::string& name : names) {
            const std::string path = prefix + name;
            SPathInfo info;
            std::string error;
            if (!m_tree.Inspect(path, info, error)) {
                if (HasLibraryExtension(name))
                    found.problems.push_back(SPathProblem{path, error});
            } else if (info.isFolder) {
                folders.emplace_back(path, info);
            } else if (HasLibraryExtension(name)) {
                AddFile(path, info);
            }
        }
        for (const auto& subfolder : folders)
            WalkFolder(subfolder.first, subfolder.second);
    }

    IFileTree& m_tree;
    std::set<std::pair<uint64_t, uint64_t>> m_seenFiles;
    std::set<std::pair<uint64_t, uint64_t>> m_seenFolders;
};

} // namespace

SFoundLibraries FindLibraryFiles(IFileTree& tree, const std::vector<std::string>& paths)
{
    CWalk walk(tree);
    for (const std::string& path : paths)
        walk.AddPath(path);
    return walk.found;
}
