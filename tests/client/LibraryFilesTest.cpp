// Finding the library files: the walk over a fake tree (order, filter, links)
// and the PE header check that answers non-libraries without a server.

#include "client/LibraryFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using CBytes = std::vector<uint8_t>;

void Put16(CBytes& bytes, std::size_t at, uint16_t value)
{
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(CBytes& bytes, std::size_t at, uint32_t value)
{
    Put16(bytes, at, static_cast<uint16_t>(value));
    Put16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

/// A DOS header pointing at a PE header at offset, with machine and characteristics.
CBytes Image(uint32_t offset, uint16_t machine, uint16_t characteristics)
{
    CBytes bytes(offset + 24, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    Put32(bytes, 0x3C, offset);
    bytes[offset] = 'P';
    bytes[offset + 1] = 'E';
    Put16(bytes, offset + 4, machine);
    Put16(bytes, offset + 22, characteristics);
    return bytes;
}

constexpr uint16_t kDll = 0x2000 | 0x0002;
constexpr uint16_t kExe = 0x0002;

TEST(PeCheck, VerdictsAndBytesNeeded)
{
    struct SCase {
        CBytes bytes;
        EPeVerdict verdict;
        const char* reasonPart; ///< for a library: its server platform
        std::size_t needed;     ///< what PeBytesNeeded asks for after the DOS header
    };
    const std::string text = "This is not a library, just text named .dll\n";
    CBytes badSignature = Image(0x80, 0x8664, kDll);
    badSignature[0x82] = 1;
    CBytes pointsPastTheEnd = Image(0x80, 0x8664, kDll);
    pointsPastTheEnd.resize(0x90);
    CBytes pointsIntoDosHeader = Image(0x80, 0x8664, kDll);
    Put32(pointsIntoDosHeader, 0x3C, 0x10);
    CBytes hugeOffset = Image(0x80, 0x8664, kDll);
    Put32(hugeOffset, 0x3C, 0xFFFFFFF0u);
    CBytes pastLargest = Image(0x80, 0x8664, kDll);
    Put32(pastLargest, 0x3C, 0x00FFFFF0u);
    CBytes dosHeaderOnly = Image(0x40, 0x8664, kDll);
    dosHeaderOnly.resize(0x40);
    const SCase cases[] = {
        {Image(0x80, 0x8664, kDll), EPeVerdict::Library, "x64", 0x80 + 24},
        {Image(0x1F00, 0x8664, kDll), EPeVerdict::Library, "x64", 0x1F00 + 24},
        {Image(0x80, 0x014C, kDll), EPeVerdict::Library, "x86", 0x80 + 24},
        {Image(0x80, 0x014C, kExe), EPeVerdict::NotLibrary, "a program (x86), not a DLL", 0x80 + 24},
        {Image(0x80, 0xAA64, kDll), EPeVerdict::OtherMachine, "built for ARM64", 0x80 + 24},
        {Image(0x80, 0x1234, kDll), EPeVerdict::OtherMachine, "machine 0x1234", 0x80 + 24},
        {Image(0x80, 0x8664, kExe), EPeVerdict::NotLibrary, "a program (x64), not a DLL", 0x80 + 24},
        {CBytes(text.begin(), text.end()), EPeVerdict::NotPeImage, "too short", kDosHeaderSize},
        {CBytes(63, 'M'), EPeVerdict::NotPeImage, "too short", kDosHeaderSize}, // a DOS header is 64 bytes
        {dosHeaderOnly, EPeVerdict::NotPeImage, "no PE header", 0x40 + 24},
        {CBytes(kDosHeaderSize, 'a'), EPeVerdict::NotPeImage, "no MZ header", kDosHeaderSize},
        {badSignature, EPeVerdict::NotPeImage, "no PE signature", 0x80 + 24},
        {pointsPastTheEnd, EPeVerdict::NotPeImage, "no PE header", 0x80 + 24},
        {pointsIntoDosHeader, EPeVerdict::NotPeImage, "no PE header", 0x10 + 24},
        {hugeOffset, EPeVerdict::NotPeImage, "no PE header", kDosHeaderSize},
        {pastLargest, EPeVerdict::NotPeImage, "no PE header", kDosHeaderSize},
    };
    for (const SCase& c : cases) {
        const SPeCheck check = CheckPeHeader(c.bytes.data(), c.bytes.size());
        const std::string label = std::to_string(c.bytes.size()) + " " + c.reasonPart;
        EXPECT_EQ(c.verdict, check.verdict) << label;
        const bool library = c.verdict == EPeVerdict::Library;
        EXPECT_EQ(library ? c.reasonPart : "", check.platform ? std::string(check.platform) : std::string()) << label;
        EXPECT_EQ(library, check.reason.empty()) << label;
        EXPECT_NE(std::string::npos, check.reason.find(library ? "" : c.reasonPart)) << label << ": " << check.reason;
        EXPECT_EQ(c.needed, PeBytesNeeded(c.bytes.data(), std::min(c.bytes.size(), kDosHeaderSize))) << label;
    }
    // The ELF header as the Linux server sees it: class, byte order, type and machine.
    const auto elf = [](uint8_t elfClass, uint16_t type, uint16_t machine, bool bigEndian) {
        CBytes bytes = {0x7F, 'E', 'L', 'F', elfClass, static_cast<uint8_t>(bigEndian ? 2 : 1)};
        bytes.resize(kElfBytesNeeded);
        Put16(bytes, 16, bigEndian ? static_cast<uint16_t>(type << 8) : type);
        Put16(bytes, 18, bigEndian ? static_cast<uint16_t>((machine << 8) | (machine >> 8)) : machine);
        return bytes;
    };
    // The native end-to-end runs show a library, an x86 one, a program, a short file and one without a header.
    const SCase elfCases[] = {
        {elf(2, 3, 183, false), EPeVerdict::OtherMachine, "a 64-bit ELF (ARM64)", 0},
        {elf(2, 3, 21, true), EPeVerdict::OtherMachine, "a 64-bit ELF (machine 21)", 0},
    };
    for (const SCase& c : elfCases) {
        const SPeCheck check = CheckElfHeader(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(c.verdict, check.verdict) << c.reasonPart;
        EXPECT_NE(std::string::npos, check.reason.find(c.reasonPart)) << check.reason;
    }
}

/// A path written the Windows way ("C:\\V\\A.dll") spelt in the style ("/V/A.so").
std::string Spelt(std::string text, const SPathStyle& style)
{
    if (style.separator == '\\')
        return text;
    for (const auto& swap : {std::make_pair("C:\\", "/"), std::make_pair(".dll", ".so"), std::make_pair(".DLL", ".SO")})
        for (std::size_t at = text.find(swap.first); at != std::string::npos; at = text.find(swap.first, at))
            text.replace(at, std::strlen(swap.first), swap.second);
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

/// A tree below C:\V (or /V): path -> identity (0: cannot be opened); folders end in a separator.
class CFakeTree : public IFileTree {
public:
    explicit CFakeTree(const SPathStyle& style) : m_style(style)
    {
        for (const auto& entry : std::map<std::string, uint64_t>{
                 {"C:\\V\\", 100},       {"C:\\V\\b.DLL", 1},   {"C:\\V\\A.dll", 2},      {"C:\\V\\Again.dll", 2},
                 {"C:\\V\\a.txt", 3},    {"C:\\V\\.dll", 5},    {"C:\\V\\Bad.dll", 0},    {"C:\\V\\Bad.txt", 0},
                 {"C:\\V\\Sub\\", 101},  {"C:\\V\\Link\\", 101}, {"C:\\V\\Sub\\c.dll", 4}, {"C:\\V\\Sub\\C.DLL", 6}})
            m_entries[Spelt(entry.first, style)] = entry.second;
    }
    std::string FullPath(const std::string& path) override { return path; }
    bool Inspect(const std::string& linked, SPathInfo& info, std::string& error) override
    {
        const std::string path = linked.compare(0, m_link.size(), m_link) == 0 ? m_sub + linked.substr(m_link.size()) : linked;
        const bool isFolder = m_entries.count(path + m_style.separator) != 0;
        const auto found = m_entries.find(isFolder ? path + m_style.separator : path);
        error = found == m_entries.end() ? "not found" : "denied";
        if (found == m_entries.end() || found->second == 0)
            return false;
        info.isFolder = isFolder;
        info.identity = {1, found->second};
        info.stamp.size = found->second;
        return true;
    }
    std::vector<std::string> ListFolder(const std::string& folder) override
    {
        const std::string target = folder + m_style.separator == m_link ? m_sub : folder + m_style.separator;
        std::vector<std::string> names;
        for (const auto& entry : m_entries) {
            const std::string rest = entry.first.substr(std::min(target.size(), entry.first.size()));
            if (entry.first.compare(0, target.size(), target) == 0 && !rest.empty() &&
                rest.find(m_style.separator) >= rest.size() - 1)
                names.push_back(rest.back() == m_style.separator ? rest.substr(0, rest.size() - 1) : rest);
        }
        std::reverse(names.begin(), names.end());
        return names;
    }
    int CompareWithoutCase(const std::string& a, const std::string& b) override
    {
        std::string lowerA = a;
        std::string lowerB = b;
        for (std::string* text : {&lowerA, &lowerB})
            std::transform(text->begin(), text->end(), text->begin(), [](unsigned char c) { return std::tolower(c); });
        return lowerA.compare(lowerB);
    }

private:
    const SPathStyle& m_style;
    std::map<std::string, uint64_t> m_entries;
    const std::string m_link = Spelt("C:\\V\\Link\\", m_style); ///< a link to Sub
    const std::string m_sub = Spelt("C:\\V\\Sub\\", m_style);
};

TEST(LibraryFiles, WalkTakesLibrariesInOrderEachOnce)
{
    struct SCase {
        std::vector<std::string> paths;
        const char* found; ///< files below C:\V, then "!" and the problems
    };
    const SCase cases[] = {
        // Files before subfolders, sorted without case; a file or folder reached twice is taken once.
        {{"C:\\V"}, "A.dll b.DLL Link\\C.DLL Link\\c.dll ! Bad.dll:denied"},
        {{"C:\\V\\Sub", "C:\\V\\"}, "Sub\\C.DLL Sub\\c.dll A.dll b.DLL ! Bad.dll:denied"},
        // A file named is taken whatever its name.
        {{"C:\\V\\a.txt", "C:\\V\\Sub\\\\", "C:\\V\\Gone.dll", "C:\\V\\Sub\\c.dll"},
         "a.txt Sub\\C.DLL Sub\\c.dll ! Gone.dll:not found"},
    };
    for (const SPathStyle& style : {kWindowsPaths, kPosixPaths}) {
        const std::size_t top = Spelt("C:\\V\\", style).size();
        for (const SCase& c : cases) {
            CFakeTree tree(style);
            std::vector<std::string> paths;
            for (const std::string& path : c.paths)
                paths.push_back(Spelt(path, style));
            const SFoundLibraries found = FindLibraryFiles(tree, style, paths);
            std::string text;
            for (const SLibraryFile& file : found.files)
                text += file.path.substr(top) + " ";
            text += "!";
            for (const SPathProblem& problem : found.problems)
                text += " " + problem.path.substr(top) + ":" + problem.error;
            EXPECT_EQ(Spelt(c.found, style), text) << paths[0];
        }
    }
}

} // namespace
