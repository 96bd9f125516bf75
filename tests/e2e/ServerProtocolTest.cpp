// The line protocol of the real server under Wine: banner, "ready:", how a
// request is cut out of the host's writes, and how the server ends.

#include "e2e/ServerHarness.h"

namespace {

std::string ScanningLine(const std::string& request) { return "info:Scanning plugin: '" + request + "'"; }

/// The server reads a request in pieces of this many bytes.
constexpr std::size_t kServerReadSize = 1024;

/// A path of exactly length bytes.
std::string PathOfLength(std::size_t length) { return "C:\\" + std::string(length - 7, 'p') + ".dll"; }

/// The first line of the answer to one raw write, which must end with a record.
std::string FirstLineAfterWrite(CServerConnection& server, const std::string& bytes)
{
    std::vector<std::string> lines;
    EXPECT_TRUE(server.Write(bytes));
    EXPECT_EQ(EWaitResult::Ready, server.ReadUntilReady(&lines));
    EXPECT_TRUE(!lines.empty() && lines.back() == ">:}");
    return lines.empty() ? std::string("<no line>") : lines.front();
}

TEST(ServerProtocol, CutsEachWriteIntoOneRequest)
{
    struct SCase {
        const char* name;
        std::string written;
        std::string served;
    };
    const SCase cases[] = {
        {"newline ends the request", "C:\\VST\\Gain.dll\n", "C:\\VST\\Gain.dll"},
        {"a bare request is taken whole", "C:\\VST\\Bare.dll", "C:\\VST\\Bare.dll"},
        {"a bare request filling the read buffer", PathOfLength(kServerReadSize), PathOfLength(kServerReadSize)},
        {"a bare request of two read buffers", PathOfLength(2 * kServerReadSize), PathOfLength(2 * kServerReadSize)},
        {"CRLF: the carriage return is echoed as '?'", "C:\\VST\\Crlf.dll\r\n", "C:\\VST\\Crlf.dll?"},
        {"an empty request", "\n", ""},
        {"a zero byte ends the text", std::string("C:\\A.dll\0junk\n", 14), "C:\\A.dll"},
        {"UTF-8 arrives back as UTF-8", "C:\\Plug-ins\\Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB9.dll\n",
         "C:\\Plug-ins\\Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB9.dll"},
        {"ill-formed UTF-8 becomes U+FFFD", "C:\\\xC3(.dll\n", "C:\\\xEF\xBF\xBD(.dll"},
    };
    CServerConnection server;
    StartServer(server);
    for (const SCase& c : cases)
        EXPECT_EQ(ScanningLine(c.served), FirstLineAfterWrite(server, c.written)) << c.name;
    EXPECT_EQ(0u, CloseAndWait(server));
}

TEST(ServerProtocol, SecondRequestInTheSameWriteIsDropped)
{
    CServerConnection server;
    StartServer(server);
    EXPECT_EQ(ScanningLine("first"), FirstLineAfterWrite(server, "first\nsecond\n"));
    EXPECT_EQ(ScanningLine("third"), FirstLineAfterWrite(server, "third\n"));
    EXPECT_EQ(0u, CloseAndWait(server));
}

TEST(ServerProtocol, LongRequestIsServedWhole)
{
    CServerConnection server;
    StartServer(server);
    // With its newline, 1023 bytes fill one read; 1024 leave only the newline waiting.
    for (std::size_t length : {1023, 1024, 1025, 5000, 40000}) {
        const std::string path = PathOfLength(length);
        EXPECT_EQ(ScanningLine(path), FirstLineAfterWrite(server, path + "\n")) << length;
    }
    EXPECT_EQ(0u, CloseAndWait(server));
}

TEST(ServerProtocol, OversizedRequestIsAnsweredAndTheServerStaysInStep)
{
    CServerConnection server;
    StartServer(server);
    std::vector<std::string> lines = Exchange(server, std::string(200 * 1024, 'x'));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("error:Request too long, ignoring", lines.front());
    EXPECT_EQ(ScanningLine("next"), FirstLineAfterWrite(server, "next\n"));
    EXPECT_EQ(0u, CloseAndWait(server));
}

TEST(ServerProtocol, ClosingTheInputEndsTheServerWithZero)
{
    CServerConnection server;
    StartServer(server);
    EXPECT_EQ(0u, CloseAndWait(server));
    std::vector<std::string> lines;
    EXPECT_EQ(EWaitResult::Closed, server.ReadUntilReady(&lines));
    EXPECT_TRUE(lines.empty());
}

TEST(ServerProtocol, WithoutAnInputHandleTheServerOnlyWritesItsBanner)
{
    struct SCase {
        const char* name;
        bool passOutputHandle;
    };
    // "0 <output>" writes to the given handle; no arguments at all writes to
    // standard output. Either way no request is ever served.
    for (const SCase& c : {SCase{"output handle argument", true}, SCase{"standard output", false}}) {
        SServerOptions options;
        options.serverPath = ServerPath();
        options.passInputHandle = false;
        options.passOutputHandle = c.passOutputHandle;
        options.silenceTimeoutMs = 1500;
        CServerConnection server;
        ASSERT_TRUE(server.Start(options)) << server.GetError();
        std::vector<std::string> lines;
        EXPECT_EQ(EWaitResult::TimedOut, server.ReadUntilReady(&lines)) << c.name;
        EXPECT_EQ(std::vector<std::string>{"info:Tessivane Plugin Scan Server (x64)"}, lines) << c.name;
    }
}

} // namespace
