#pragma once
/// Which crash signals' handlers (and whether the blocked mask) anything in the
/// process may have changed since the server last looked: the server defines
/// the C library's calls that change them (SignalWatchPosix.cpp) and exports
/// them, so that a plug-in's calls are seen without a system call.

#include <csignal>

/// The signals whose handler writes a crash report.
constexpr int kWatchedSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int kWatchedSignalCount = static_cast<int>(sizeof kWatchedSignals / sizeof kWatchedSignals[0]);

/// Looks up the C library's calls that the watch forwards to. Call at start-up,
/// before anything can crash.
void ResolveSignalCalls();

/// The watched signals changed since the last call, bit i for kWatchedSignals[i]
/// (all of them the first time), and in maskChanged whether a call may have
/// blocked one of them; clears both notes.
unsigned TakeSignalChanges(unsigned& maskChanged);

/// Sets a signal's handler through the C library's own call, unnoted.
int SetHandlerDirectly(int number, const struct sigaction* action);

/// Changes the calling thread's mask through the C library's own call, unnoted.
int SetMaskDirectly(int how, const sigset_t* set);
