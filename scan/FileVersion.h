#pragma once
/// A library's version from its version resource, the fallback for plug-ins
/// that report none.

#include "foundation/String.h"
#include "scan/ScanPlatform.h"

/// "a.b.c.d" of the product version, or of the file version when the product's
/// is all zero; empty when both are.
CString FormatFileVersion(const SFileVersion& version);

/// The library's version from its version resource ("a.b.c.d"), empty when it
/// has none.
CString GetFileVersionText(const CString& path);
