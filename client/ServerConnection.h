#pragma once
/// The host side of one scan server process: starts it with two pipes, writes
/// requests, reads its tagged output lines, and watches it die or hang.
///
/// Paths and request texts are UTF-8. One connection drives one process at a
/// time; it is not shared between threads. Every server runs in a job object
/// of the host's that ends it when the host ends, so a killed host leaves no
/// server behind.

#include "client/LineSplitter.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct SServerOptions {
    std::string serverPath;     ///< the server executable
    std::string dumpFolder;     ///< argument 4; empty: no dumps
    uint64_t ownerWindow = 0;   ///< argument 3
    /// How long the server may stay silent while a request runs; every line it
    /// writes starts the wait again. 0 waits forever.
    uint32_t silenceTimeoutMs = 30000;
    /// Give the server its input pipe (argument 1). Without it the server only
    /// writes its banner and idles.
    bool passInputHandle = true;
    /// Give the server its output pipe as argument 2; otherwise it is handed to
    /// the server as its standard output and argument 2 is left out.
    bool passOutputHandle = true;
};

enum class EWaitResult {
    Ready,    ///< the server wrote "ready:"
    Closed,   ///< the output pipe closed: the server ended
    TimedOut, ///< the server was silent for longer than the timeout
};

enum class ELineWait {
    Line,    ///< a line arrived
    Closed,  ///< the output pipe closed and every line has been taken
    Nothing, ///< no line within the wait
};

class CServerConnection {
public:
    /// Called with each output line as it arrives (without its "\n").
    using LineCallback = std::function<void(const std::string& line)>;

    CServerConnection();
    ~CServerConnection(); ///< kills a server that still runs
    CServerConnection(const CServerConnection&) = delete;
    CServerConnection& operator=(const CServerConnection&) = delete;

    /// Starts the server. False (with GetError) when it cannot be started.
    bool Start(const SServerOptions& options);
    const std::string& GetError() const { return m_error; }

    /// Reads lines up to and including the next "ready:" line, appending them to
    /// lines (which may be null). The "ready:" line itself is not appended.
    EWaitResult ReadUntilReady(std::vector<std::string>* lines, const LineCallback& onLine = nullptr);
    /// Waits up to waitMs for the next output line (the "ready:" marker is a line
    /// like any other here). Does not apply the silence timeout.
    ELineWait WaitForLine(std::string& line, uint32_t waitMs);
    /// Writes raw bytes to the server's input. False when the pipe is closed.
    bool Write(const std::string& bytes);
    /// Writes one request followed by "\n".
    bool SendRequest(const std::string& request) { return Write(request + "\n"); }
    /// Closes the server's input: the server shuts down.
    void CloseInput();

    /// Waits for the process to end; false on time-out. exitCode gets its code.
    bool WaitForExit(uint32_t timeoutMs, uint32_t& exitCode);
    /// Ends the process at once.
    void Kill();
    bool IsRunning() const;
    uint32_t GetProcessId() const;
    /// The server process's handle (a Windows HANDLE), for the host's own
    /// queries such as its memory counters; null before Start. The connection
    /// keeps owning it: do not close it.
    void* GetProcessHandle() const;
    /// Bytes of an unfinished last line (what a dying server wrote last).
    std::string GetPendingOutput() const;

private:
    struct SState;
    std::unique_ptr<SState> m_state;
    std::string m_error;
};
