#include "client/LibraryFiles.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <utility>

namespace {

bool HasLibraryExtension(const std::string& name, const char* extension)
{
    const std::size_t length = std::strlen(extension);
    if (name.size() <= length)
        return false;
    const std::string tail = name.substr(name.size() - length);
    return std::equal(tail.begin(), tail.end(), extension, [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

class CWalk {
public:
    CWalk(IFileTree& tree, const SPathStyle& style) : m_tree(tree), m_style(style) {}

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
    std::string WithoutTrailingSeparators(std::string path) const
    {
        while (path.size() > m_style.rootLength && (path.back() == m_style.separator || path.back() == '/'))
            path.pop_back();
        return path;
    }

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
        const std::string prefix = folder.back() == m_style.separator ? folder : folder + m_style.separator;
        // The folder's own libraries first, then its subfolders: a library is
        // listed under its nearest name when a link elsewhere leads to it too.
        std::vector<std::pair<std::string, SPathInfo>> folders;
        for (const std::string& name : names) {
            const std::string path = prefix + name;
            SPathInfo info;
            std::string error;
            if (!m_tree.Inspect(path, info, error)) {
                if (HasLibraryExtension(name, m_style.libraryExtension))
                    found.problems.push_back(SPathProblem{path, error});
            } else if (info.isFolder) {
                folders.emplace_back(path, info);
            } else if (HasLibraryExtension(name, m_style.libraryExtension)) {
                AddFile(path, info);
            }
        }
        for (const auto& subfolder : folders)
            WalkFolder(subfolder.first, subfolder.second);
    }

    IFileTree& m_tree;
    const SPathStyle& m_style;
    std::set<std::pair<uint64_t, uint64_t>> m_seenFiles;
    std::set<std::pair<uint64_t, uint64_t>> m_seenFolders;
};

} // namespace

SFoundLibraries FindLibraryFiles(IFileTree& tree, const SPathStyle& style, const std::vector<std::string>& paths)
{
    CWalk walk(tree, style);
    for (const std::string& path : paths)
        walk.AddPath(path);
    // Moved, not copied: a large collection's list would stand twice while the walk ends.
    return std::move(walk.found);
}
