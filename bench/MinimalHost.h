#pragma once
/// The least a host can do to drive a scan server: two pipes, one thread, and
/// a read loop that only looks for the "ready:" line. Used to tell the cost of
/// the host-side client (its reader thread and line hand-over) from the
/// server's own. Paths and requests are UTF-8.

#include <string>

class CMinimalHost {
public:
    CMinimalHost() = default;
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

    void* m_process = nullptr;
    void* m_input = nullptr;  ///< the host's end of the server's input
    void* m_output = nullptr; ///< the host's end of the server's output
    std::string m_pending;    ///< bytes after the last complete line
};
