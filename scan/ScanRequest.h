#pragma once
/// One request from text to record, and the library cache between requests.

#include "foundation/String.h"

/// Scans the library the request names; always writes one record.
void ScanRequest(const CString& text);

/// Answers a request too long to serve with an error line and a record.
void RejectOversizedRequest();

/// Frees the library kept loaded between requests, if any (at shutdown).
void ReleaseLibraryCache();
