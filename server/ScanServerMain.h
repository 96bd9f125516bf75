#pragma once
/// The whole life of the server process.

/// Windows: prepares crash handling, reads the command line, keeps its input and
/// output handles from the programs a plug-in starts, starts GDI+, shows
/// the splash window, serves requests until the host closes the input (or,
/// without an input handle, runs the message loop), then releases the cached
/// library and the window. Returns the exit code, 0.
int ScanServerMain(void* instance);

/// Linux: "scan-server <input fd> <output fd> <owner> <dump folder>" (descriptors
/// in hexadecimal, the owner ignored; without an input descriptor, or 0, standard
/// input; without an output descriptor, or 0, standard output). Prepares the
/// crash handlers, moves the output channel where no plug-in writes, keeps both
/// descriptors from the programs a plug-in starts, serves
/// requests until the input ends, then frees the cached library. Returns 0.
int ScanServerMain(int count, char** arguments);
