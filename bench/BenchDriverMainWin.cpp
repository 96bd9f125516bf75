// BenchDriver.exe: the benchmark driver (bench/BenchDriver.cpp) under Windows.

#include "bench/BenchDriver.h"
#include "client/WideTextWin.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>

int wmain(int argc, wchar_t** argv)
{
    // The table keeps its plain line feeds, without CR LF translation.
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::string> arguments;
    for (int index = 1; index < argc; ++index)
        arguments.push_back(Utf8FromWide(argv[index]));
    return RunBenchDriver(ProgramFolder(), arguments);
}
