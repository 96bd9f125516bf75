#pragma once
/// One request from text to record.

#include "foundation/String.h"
#include "scan/PluginInfo.h"

/// Scans the library the request names; always writes one record.
void ScanRequest(const CString& text);

/// Answers a request too long to serve with an error line and a record.
void RejectOversizedRequest();

/// Loads (or reuses) the library, probes it, keeps or frees it. True when the
/// probe succeeded; otherwise record.error says why.
bool ScanPlugin(const CString& text, CPluginInfo& record);
