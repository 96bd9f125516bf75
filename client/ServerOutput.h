#pragma once
/// The server's output as lines, filled by a reader thread of the connection.
/// Shared by the connection and its reader (std::shared_ptr), so that a reader
/// blocked on a pipe that another process keeps open can be left behind safely.

#include "client/LineSplitter.h"
#include "client/ServerConnection.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

/// A wait without end, in milliseconds.
constexpr uint32_t kWaitForever = 0xFFFFFFFF;

class CServerOutput {
public:
    /// Takes what read returns (bytes read into buffer; 0 or less: the output
    /// ended), line by line, until it ends; then the output counts as closed.
    /// Runs on the reader thread.
    void ReadAll(const std::function<int(char* buffer, int capacity)>& read);
    /// Waits up to waitMs for the next line.
    ELineWait WaitForLine(std::string& line, uint32_t waitMs);
    /// Takes the lines up to the line stopLine into lines, and stopLine itself
    /// (Line); or all of them once the output has closed (Closed), or once no
    /// line has arrived for silenceMs (Nothing; 0 waits forever). The reader
    /// wakes this wait only for stopLine or the end, not for every line: a
    /// thread hand-over per line is what a host pays most for (under Wine each
    /// is a round trip through the wineserver).
    ELineWait WaitForStopLine(const std::string& stopLine, uint32_t silenceMs, std::vector<std::string>& lines);
    /// Waits up to waitMs for the output to close; true when it has.
    bool WaitUntilClosed(uint32_t waitMs);
    /// Bytes of an unfinished last line.
    std::string GetPending();

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::string> m_lines;
    CLineSplitter m_splitter;
    bool m_closed = false;
    /// The line WaitForStopLine waits for; empty: every line wakes the waiter.
    std::string m_stopLine;
    /// When the last whole line arrived.
    std::chrono::steady_clock::time_point m_lastLine;
};
