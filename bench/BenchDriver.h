#pragma once
/// The benchmark driver's run, shared by both systems' main functions.

#include <string>
#include <vector>

/// Measures every figure the arguments (UTF-8, the program's name left out)
/// ask for with the programs and plug-ins in bin (with its trailing separator),
/// and prints the table on standard output; progress and failures go to
/// standard error. Exit code 0, or 1 when a measurement failed or a file is
/// missing, 2 after a usage error.
int RunBenchDriver(const std::string& bin, const std::vector<std::string>& arguments);
