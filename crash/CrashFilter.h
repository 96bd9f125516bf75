#pragma once
/// Crash handling: a crash anywhere in the process (usually in a plug-in) leaves a
/// crash file in the dump folder and ends the process with exit code 9. On
/// Windows an unhandled exception writes a minidump; on Linux a crash signal
/// (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT) writes a crash report.

/// Prepares what the handler needs before anything can crash (the lock that
/// serialises dump writing; on Linux the alternate signal stack). Call first
/// thing at start-up.
void InitializeCrashHandling();

/// Makes the server's filter (or signal handlers) the process's again,
/// replacing whatever a plug-in may have installed meanwhile. Call after every
/// call into a plug-in: on Linux it puts back only the handlers that a call in
/// the process changed since, and costs no system call when none did.
void InstallCrashFilter();
