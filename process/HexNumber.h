#pragma once
/// Hexadecimal numbers as the host writes them: handles and windows on the
/// command line, sub-plug-in ids in requests.

#include <cstdint>

/// Reads hexadecimal digits (0-9, a-f, A-F) until the first other character;
/// each digit shifts the value left by four bits, so only the last sixteen
/// count. Null, empty or a leading non-digit gives 0.
uint64_t ParseHexArgument(const char16_t* text);
