#pragma once
/// Window messages are dispatched only at fixed points between plug-in calls.

/// Dispatches every pending window message of the thread, without translating
/// them, and returns when none is left.
void PumpPendingMessages();
