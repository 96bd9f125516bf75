#pragma once
/// Cuts the server's output byte stream into lines.

#include <string>
#include <vector>

/// Accumulates bytes as they arrive and hands out complete lines (without their
/// "\n"). A line cut across two reads is joined; bytes after the last "\n" wait
/// for the next Feed.
class CLineSplitter {
public:
    /// Adds bytes and appends every line they complete to lines.
    void Feed(const char* bytes, std::size_t count, std::vector<std::string>& lines);
    /// The bytes of an unfinished line (what a server wrote before it died).
    const std::string& GetPending() const { return m_pending; }

private:
    std::string m_pending;
};

/// The tag of an output line: the text before its first colon ("" without one).
std::string LineTag(const std::string& line);
/// The text of an output line: what follows its first colon.
std::string LineText(const std::string& line);
