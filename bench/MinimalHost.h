#pragma once
/// The least a host can do to drive a scan server: two pipes, one thread, and
/// a read loop that only looks for the "ready:" line. Used to tell the cost of
/// the host-side client (its reader thread and line hand-over) from the
/// server's own. Paths and requests are UTF-8. The loop is MinimalHost.cpp; the
/// process and its pipes are the system's (MinimalHostWin.cpp, MinimalHostPosix.cpp).

#include <memory>
#include <string>

class CMinimalHost {
public:
    CMinimalHost();
    ~CMinimalHost(); ///< ends a server that still runs
    CMinimalHost(const CMinimalHost&) = delete;
    CMinimalHost& operator=(const CMinimalHost&) = delete;

    /// Starts the server and reads up to its first "ready:"; false when either fails.
    bool Start(const std::string& server);
    /// Writes the request and its "\n", then reads up to the next "ready:".
    bool Request(const std::string& request);
    /// Closes the server's input: it begins to shut down.
    void CloseInput();
    /// Closes the input, reads what the server still writes and waits for its
    /// end; true on exit code 0.
    bool Stop();

private:
    bool ReadUntilReady();
    /// Starts the server with its input and output pipes.
    bool Launch(const std::string& server);
    /// One write of the bytes to the server's input.
    bool WriteInput(const std::string& bytes);
    /// Appends what the server writes next to m_pending; false at the output's end.
    bool ReadMore();
    /// Waits for the server's end; true on exit code 0.
    bool EndedWithZero();

    struct SProcess;
    std::unique_ptr<SProcess> m_process;
    std::string m_pending; ///< bytes after the last complete line
};
