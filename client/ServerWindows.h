#pragma once
/// The windows a server process shows besides its splash: a plug-in's licence
/// or error dialog that keeps a scan from going on.

#include <cstdint>
#include <string>
#include <vector>

/// The titles (UTF-8) of the visible top-level windows of the process, its
/// splash window excluded, in the system's window order. An untitled window
/// counts as "(untitled window)".
std::vector<std::string> VisibleWindowTitles(uint32_t processId);
