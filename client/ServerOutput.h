#pragma once
/// The server's output as lines. Either a reader thread of the connection fills
/// it (ReadAll), or the thread that waits for a line reads the pipe itself (a
/// pull function): the second spares the hand-over from one thread to another
/// that a reader thread costs each request. Shared by the connection and its
/// reader (std::shared_ptr), so that a reader blocked on a pipe that another
/// process keeps open can be left behind safely.

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
    /// What a pull function returns when nothing came within its wait.
    static constexpr int kNothingYet = -1;
    /// Reads at most capacity bytes of the output into buffer, waiting up to
    /// waitMs (kWaitForever: without end) for the first: the count read; 0 when
    /// the output has ended; kNothingYet when nothing came within the wait.
    using PullFunction = std::function<int(char* buffer, int capacity, uint32_t waitMs)>;

    /// Output that a reader thread feeds through ReadAll.
    CServerOutput() = default;
    /// Output that every wait reads itself through pull, on the waiting thread;
    /// ReadAll is not used then.
    explicit CServerOutput(PullFunction pull) : m_pull(std::move(pull)) {}

    /// Takes what read returns (bytes read into buffer; 0 or less: the output
    /// ended), line by line, until it ends; then the output counts as closed.
    /// Runs on the reader thread.
    void ReadAll(const std::function<int(char* buffer, int capacity)>& read);
    /// Waits up to waitMs for the next line.
    ELineWait WaitForLine(std::string& line, uint32_t waitMs);
    /// Waits up to waitMs for the line stopLine, then appends the lines that have
    /// come to lines, up to and including the first stopLine (an empty stopLine:
    /// the first line). Line when one was taken; Closed when the output has
    /// closed and none is left; Nothing when none came. A reader thread wakes
    /// this wait only for stopLine or the end.
    ELineWait TakeLines(const std::string& stopLine, uint32_t waitMs, std::vector<std::string>& lines);
    /// Takes the lines up to the line stopLine into lines, and stopLine itself
    /// (Line); or all of them once the output has closed (Closed), or once no
    /// line has arrived for silenceMs (Nothing; 0 waits forever). A reader
    /// thread wakes this wait only for stopLine or the end, not for every line:
    /// a thread hand-over per line is what a host pays most for (under Wine each
    /// is a round trip through the wineserver).
    ELineWait WaitForStopLine(const std::string& stopLine, uint32_t silenceMs, std::vector<std::string>& lines);
    /// Waits up to waitMs for the output to close; true when it has.
    bool WaitUntilClosed(uint32_t waitMs);
    /// Bytes of an unfinished last line.
    std::string GetPending();

private:
    using CClock = std::chrono::steady_clock;

    /// Takes count bytes of output (0 or less: the end); true when they
    /// finished stopLine or a line a waiter wants. Called with m_mutex held.
    bool Accept(const char* bytes, int count);
    /// Waits until the output may have changed, at most until deadline: false
    /// when the deadline passed first. Called with lock held.
    bool AwaitChange(std::unique_lock<std::mutex>& lock, CClock::time_point deadline);

    PullFunction m_pull;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::string> m_lines;
    std::vector<std::string> m_arrived; ///< lines just split, before they are queued
    CLineSplitter m_splitter;
    bool m_closed = false;
    /// The line WaitForStopLine waits for; empty: every line wakes the waiter.
    std::string m_stopLine;
    /// When the last whole line arrived.
    CClock::time_point m_lastLine;
};
