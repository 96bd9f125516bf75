#pragma once
/// Width arithmetic for terminal text in UTF-8: one column per code point
/// (wide East Asian characters are not told apart).

#include <cstddef>
#include <string>

/// The number of code points in text.
std::size_t DisplayWidth(const std::string& text);
/// The text cut to at most width columns, ending in "..." when it was cut; never
/// splits a UTF-8 sequence.
std::string FitWidth(const std::string& text, std::size_t width);
/// The text padded with spaces to width columns (longer text is left as is).
std::string PadRight(const std::string& text, std::size_t width);
/// The last component of a path ("C:\VST\Gain.dll" -> "Gain.dll").
std::string FileNameOf(const std::string& path);
