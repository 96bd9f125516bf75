#pragma once
/// Crash handling: an unhandled exception anywhere in the process (usually in a
/// plug-in) leaves a minidump in the dump folder and ends the process with
/// exit code 9.

/// Prepares the lock that serialises dump writing. Call first thing at start-up.
void InitializeCrashHandling();

/// Makes the server's filter the process's unhandled-exception filter again,
/// replacing whatever a plug-in may have installed meanwhile.
void InstallCrashFilter();
