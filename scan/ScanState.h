#pragma once
/// The scan state that the request handling, the probe and the host callback
/// share while one plug-in is examined. One thread uses it.

#include <cstdint>

/// Sub-plug-in id of the request being probed; 0 outside a probe and for
/// requests without an id. Answered to audioMasterCurrentId.
extern int32_t g_currentShellId;

/// The plug-in called audioMasterWantMidi; cleared before each entry point call.
extern bool g_wantMidiCalled;
