#pragma once
/// One request from text to record, and the library cache between requests.
///
/// A request names a library, optionally followed by ">" and the hexadecimal id
/// of one of its sub-plug-ins. A shell library stays loaded after a request whose
/// record lists sub-plug-ins, so that the requests for those sub-plug-ins reuse
/// it; it is freed when another library is requested and at shutdown.

#include "foundation/String.h"
#include "scan/PluginInfo.h"
#include "scan/ScanPlatform.h"

/// Scans the library the request names; always writes one record.
void ScanRequest(const CString& text);

/// Answers a request too long to serve with an error line and a record.
void RejectOversizedRequest();

/// Frees the library kept loaded between requests, if any (at shutdown).
void ReleaseLibraryCache();

/// Loads (or reuses) the library, probes it, keeps or frees it. True when the
/// probe succeeded; otherwise record.error says why.
bool ScanPlugin(const CString& text, CPluginInfo& record);

/// The library's version from its version resource ("a.b.c.d"), empty when it
/// has none.
CString GetFileVersionText(const CString& path);

struct SScanTarget {
    CString path;       ///< never null, possibly empty
    int32_t shellId = 0; ///< the sub-plug-in asked for, 0 for none
};

/// Splits a request at its first ">": the path before it, and the hexadecimal id
/// after it read like a command-line number (last eight digits count; none: 0).
SScanTarget SplitRequest(const CString& text);

/// "a.b.c.d" of the product version, or of the file version when the product's
/// is all zero; empty when both are.
CString FormatFileVersion(const SFileVersion& version);
