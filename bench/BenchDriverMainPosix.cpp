// BenchDriver: the benchmark driver (bench/BenchDriver.cpp) on Linux.

#include "bench/BenchDriver.h"
#include "client/SystemTextPosix.h"

int main(int argc, char** argv)
{
    return RunBenchDriver(ProgramFolder(), std::vector<std::string>(argv + 1, argv + argc));
}
