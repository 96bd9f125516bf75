#pragma once
/// The server's command line: input handle, output handle and owner window in
/// hexadecimal (no prefix), then the dump folder.

#include "foundation/String.h"

#include <cstdint>

struct SServerArguments {
    uint64_t inputHandle = 0;
    uint64_t outputHandle = 0;
    uint64_t ownerWindow = 0;
    CString dumpFolder; ///< empty when absent or given as an empty string
};

/// Interprets the split command line; arguments[0] is the program path. A
/// missing argument counts as 0 (or no dump folder).
SServerArguments ParseServerArguments(int count, const char16_t* const* arguments);
