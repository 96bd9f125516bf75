#pragma once
/// Follows the server's output lines for one request and tells how it ended.
///
/// An answer is the server's lines from the request up to the next "ready:":
/// log lines ("info:", "warn:", "error:") and the record (">:" lines). The
/// reader keeps the last few lines so that a crash or a hang can show what the
/// server did last.

#include "client/RecordReader.h"
#include "client/ScanOutcome.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class CAnswerReader {
public:
    /// keptLines: how many of the last lines to keep for a crash or hang report.
    explicit CAnswerReader(std::size_t keptLines);

    /// Adds one output line (without its "\n"). Returns true when it was
    /// "ready:", which ends the answer.
    bool AddLine(const std::string& line);

    /// The outcome of a complete answer: Scanned when a well-formed record names
    /// no error, else Failed with the record's error or what was wrong with it.
    SScanOutcome Answered() const;
    /// The outcome when the server ended before "ready:". exitCode 9 is the crash
    /// filter's; dumpFile may be empty.
    SScanOutcome Crashed(uint32_t exitCode, const std::string& dumpFile) const;
    /// The outcome when the server stayed silent for silenceMs and was stopped;
    /// dialogs are the titles of the windows it showed.
    SScanOutcome TimedOut(uint32_t silenceMs, const std::vector<std::string>& dialogs) const;

    /// The last lines kept, oldest first.
    std::vector<std::string> LastLines() const;

private:
    std::size_t m_keptLines;
    std::deque<std::string> m_lastLines;
    CRecordReader m_record;
};

/// Titles joined for a message: 'A', 'B'.
std::string QuotedList(const std::vector<std::string>& titles);
