#pragma once
/// \file
/// The host side of one scan server process: starts it with two pipes, writes
/// requests, reads its tagged output lines, and watches it die or hang.
///
/// Paths and request texts are UTF-8. One connection drives one process at a
/// time; it is not shared between threads.
///
/// Windows: every server runs in a job object of the host's that ends it when
/// the host ends, so a killed host leaves no server behind.
/// Linux: the server is started with posix_spawn and leads a process group of
/// its own; a time-out, Kill and the connection's end kill that whole group (the
/// programs a plug-in started too). Its standard error is the host's; its
/// standard input and output are the pipes unless the command line names them
/// (then /dev/null and the host's standard error). The host ignores SIGPIPE from
/// its first Start on (unless it handles it itself), so that writing to a server
/// that died fails instead of ending the host. A server ends when the thread that
/// started it ends (the parent-death signal), so a killed host leaves none
/// behind: start and keep a server on a thread that lives as long as it should.

#include "client/LineSplitter.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CServerOutput;

/// How a server is started.
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

/// How waiting for "ready:" ended.
enum class EWaitResult {
    Ready,    ///< the server wrote "ready:"
    Closed,   ///< the output pipe closed: the server ended
    TimedOut, ///< the server was silent for longer than the timeout
};

/// How waiting for one line ended.
enum class ELineWait {
    Line,    ///< a line arrived
    Closed,  ///< the output pipe closed and every line has been taken
    Nothing, ///< no line within the wait
};

/// What the scan client needs of one server process; CServerConnection is the
/// real one, tests script one.
class IServerProcess {
public:
    virtual ~IServerProcess() = default;
    /// Starts the server. False (with GetError) when it cannot be started.
    virtual bool Start(const SServerOptions& options) = 0;
    /// Why the last operation failed, in words.
    virtual const std::string& GetError() const = 0;
    /// Reads lines up to the next "ready:" line; see CServerConnection::ReadUntilReady.
    virtual EWaitResult WaitUntilReady() = 0;
    /// Waits up to waitMs for the next output line (the "ready:" marker is a line
    /// like any other here). Does not apply the silence timeout.
    virtual ELineWait WaitForLine(std::string& line, uint32_t waitMs) = 0;
    /// Waits up to waitMs for the output line stopLine and appends the lines that
    /// have come by then to lines, up to and including the first stopLine; an
    /// empty stopLine stops at the first line. Line when a line was taken, Closed
    /// when the output has closed and every line has been taken, Nothing when no
    /// line came within the wait. Does not apply the silence timeout. This one
    /// takes a line at a time through WaitForLine; CServerConnection takes them
    /// together.
    virtual ELineWait WaitForLines(const std::string& stopLine, std::vector<std::string>& lines, uint32_t waitMs)
    {
        std::string line;
        const ELineWait waited = WaitForLine(line, waitMs);
        if (waited == ELineWait::Line)
            lines.push_back(std::move(line));
        return waited;
    }
    /// Writes one request followed by "\n". False when the pipe is closed.
    virtual bool SendRequest(const std::string& request) = 0;
    /// Closes the server's input: the server shuts down.
    virtual void CloseInput() = 0;
    /// Waits for the process to end; false on time-out. exitCode gets its code
    /// (Linux: a process ended by a signal gets 128 plus the signal's number).
    virtual bool WaitForExit(uint32_t timeoutMs, uint32_t& exitCode) = 0;
    /// Ends the process at once.
    virtual void Kill() = 0;
    /// The process has been started and has not ended.
    virtual bool IsRunning() const = 0;
    /// The process's id; 0 when none was started.
    virtual uint32_t GetProcessId() const = 0;
    /// Bytes of an unfinished last line (what a dying server wrote last).
    virtual std::string GetPendingOutput() const = 0;
};

/// The real server process: started with its pipes. On Windows a reader thread
/// takes its lines (an anonymous pipe's read cannot wait with a time-out); on
/// Linux the thread that waits for a line reads them itself.
class CServerConnection : public IServerProcess {
public:
    /// Called with each output line as it arrives (without its "\n").
    using LineCallback = std::function<void(const std::string& line)>;

    CServerConnection();
    ~CServerConnection() override; ///< kills a server that still runs
    CServerConnection(const CServerConnection&) = delete;
    CServerConnection& operator=(const CServerConnection&) = delete;

    bool Start(const SServerOptions& options) override;
    const std::string& GetError() const override { return m_error; }

    /// Reads lines up to and including the next "ready:" line, appending them to
    /// lines (which may be null). The "ready:" line itself is not appended.
    /// Without onLine the lines are taken together once "ready:" (or the end,
    /// or the silence time-out) has come, which spares the reader thread's
    /// hand-over per line on Windows.
    EWaitResult ReadUntilReady(std::vector<std::string>* lines, const LineCallback& onLine = nullptr);
    EWaitResult WaitUntilReady() override { return ReadUntilReady(nullptr); }
    ELineWait WaitForLines(const std::string& stopLine, std::vector<std::string>& lines, uint32_t waitMs) override;
    ELineWait WaitForLine(std::string& line, uint32_t waitMs) override;
    /// Writes raw bytes to the server's input. False when the pipe is closed.
    bool Write(const std::string& bytes);
    bool SendRequest(const std::string& request) override { return Write(request + "\n"); }
    void CloseInput() override;

    bool WaitForExit(uint32_t timeoutMs, uint32_t& exitCode) override;
    void Kill() override;
    bool IsRunning() const override;
    uint32_t GetProcessId() const override;
    /// The server process's handle (a Windows HANDLE), for the host's own
    /// queries such as its memory counters; null before Start and on Linux. The
    /// connection keeps owning it: do not close it.
    void* GetProcessHandle() const;
    std::string GetPendingOutput() const override;

private:
    /// See CServerOutput::WaitForStopLine.
    ELineWait WaitForStopLine(const std::string& stopLine, uint32_t silenceMs, std::vector<std::string>& lines);
    /// The running server's output; null before Start.
    CServerOutput* Output() const;

    struct SState;
    std::unique_ptr<SState> m_state;
    std::string m_error;
    uint32_t m_silenceTimeoutMs = 0;
};
