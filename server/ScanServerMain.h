#pragma once
/// The whole life of the server process.

/// Prepares crash handling, reads the command line, starts GDI+, shows the
/// splash window, serves requests until the host closes the input (or, without
/// an input handle, runs the message loop), then releases the cached library and
/// the window. Returns the exit code, 0.
int ScanServerMain(void* instance);
