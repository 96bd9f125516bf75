// ReadyLimit: the least a scan server can do before its first "ready:" on
// Linux. Writes "ready:\n" to the output descriptor it is given, then answers
// every line of its input with another "ready:\n" (a request's round trip with
// no work) until the host closes it, and exits with 0. It takes the server's first
// two arguments (input and output descriptor, hexadecimal) and ignores the rest.
// It calls the C library only, and links nothing else (see CMakeLists.txt), so
// that its start is the system's least.

#include "wire/Protocol.h"

#include <cstdlib>
#include <cstring>

#include <unistd.h>

int main(int argc, char** argv)
{
    constexpr int kHexadecimal = 16;
    const int input = argc > 1 ? static_cast<int>(std::strtol(argv[1], nullptr, kHexadecimal)) : STDIN_FILENO;
    const int output = argc > 2 ? static_cast<int>(std::strtol(argv[2], nullptr, kHexadecimal)) : STDOUT_FILENO;
    // The marker without its terminating zero, and the line end in its place.
    char line[sizeof kReadyLine];
    std::memcpy(line, kReadyLine, sizeof kReadyLine - 1);
    line[sizeof kReadyLine - 1] = kLineEnd;
    if (write(output, line, sizeof line) < 0)
        return 1;
    char buffer[256];
    for (;;) {
        const ssize_t count = read(input, buffer, sizeof buffer);
        if (count <= 0)
            return 0;
        for (ssize_t at = 0; at < count; ++at) {
            if (buffer[at] == kLineEnd && write(output, line, sizeof line) < 0)
                return 1;
        }
    }
}
