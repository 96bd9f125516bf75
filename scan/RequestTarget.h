#pragma once
/// What a request names: a library path, optionally followed by ">" and the
/// hexadecimal id of one of its sub-plug-ins.

#include "foundation/String.h"

#include <cstdint>

struct SScanTarget {
    CString path;        ///< never null, possibly empty
    int32_t shellId = 0; ///< the sub-plug-in asked for, 0 for none
};

/// Splits a request at its first ">": the path before it, and the hexadecimal id
/// after it read like a command-line number (last eight digits count; none: 0).
SScanTarget SplitRequest(const CString& text);
