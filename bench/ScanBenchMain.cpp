// ScanBench: starts a scan server, sends it requests and prints the exchange.
//
//   ScanBench.exe [--dump FOLDER] [--timeout MS] SERVER.exe [REQUEST...]
//
// Every line the server writes is printed as it arrives; the exit code of the
// server is printed at the end. ScanBench's own exit code is 0 when the server
// ended with 0 after the host closed its input, else 1.

#include "client/ServerConnection.h"
#include "client/WideTextWin.h"
#include "wire/Protocol.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>

namespace {

void PrintLine(const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int Usage()
{
    std::fputs("usage: ScanBench.exe [--dump FOLDER] [--timeout MS] SERVER.exe [REQUEST...]\n", stderr);
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    // The exchange is printed byte for byte, without CR LF translation.
    _setmode(_fileno(stdout), _O_BINARY);
    SServerOptions options;
    std::vector<std::string> requests;
    int index = 1;
    for (; index < argc; ++index) {
        const std::wstring argument = argv[index];
        if (argument == L"--dump" && index + 1 < argc)
            options.dumpFolder = Utf8FromWide(argv[++index]);
        else if (argument == L"--timeout" && index + 1 < argc)
            options.silenceTimeoutMs = static_cast<uint32_t>(std::wcstoul(argv[++index], nullptr, 10));
        else
            break;
    }
    if (index >= argc)
        return Usage();
    options.serverPath = Utf8FromWide(argv[index++]);
    for (; index < argc; ++index)
        requests.push_back(Utf8FromWide(argv[index]));

    CServerConnection server;
    if (!server.Start(options)) {
        std::fprintf(stderr, "ScanBench: %s\n", server.GetError().c_str());
        return 1;
    }
    EWaitResult result = server.ReadUntilReady(nullptr, PrintLine);
    for (const std::string& request : requests) {
        if (result != EWaitResult::Ready)
            break;
        PrintLine(kReadyLine);
        PrintLine("<< " + request);
        server.SendRequest(request);
        result = server.ReadUntilReady(nullptr, PrintLine);
    }
    if (result == EWaitResult::Ready)
        PrintLine(kReadyLine);
    else if (result == EWaitResult::TimedOut)
        PrintLine("-- the server was silent too long and was stopped");
    server.CloseInput();
    uint32_t exitCode = 0;
    if (!server.WaitForExit(30000, exitCode)) {
        server.Kill();
        PrintLine("-- the server did not exit after its input closed");
        return 1;
    }
    PrintLine("-- server exit code " + std::to_string(exitCode));
    return result == EWaitResult::Ready && exitCode == 0 ? 0 : 1;
}
